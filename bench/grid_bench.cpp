// The fast engine against the reference engine on a grid of codes and channels, one thread
// each, in one run: fast must never be slower, wherever a user may point it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>

#include "engine/engine_plan.h"

namespace rs {
namespace {

// Seconds a block over at least `atLeast` seconds of whole points (of at most 1000 blocks, so
// that a point's start counts as it does in a sweep).
double SecondsPerBlock(Engine& engine, float p0, double atLeast) {
    const auto start = std::chrono::steady_clock::now();
    std::int64_t blocks = 0;
    double seconds = 0.0;
    std::int32_t pointBlocks = 1;
    while (seconds < atLeast) {
        PointStatistics statistics;
        engine.BoundBlocks(pointBlocks);
        engine.StartPoint(p0, 1234);
        while (statistics.blocks < pointBlocks) {
            engine.RunBlocks(statistics, pointBlocks);
        }
        benchmark::DoNotOptimize(statistics);
        blocks += pointBlocks;
        pointBlocks = std::min(2 * pointBlocks, 1000);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return seconds / static_cast<double>(blocks);
}

// Arguments: M, T, P0 in millionths.
void BM_Grid(benchmark::State& state) {
    const auto m = static_cast<std::int32_t>(state.range(0));
    const auto t = static_cast<std::int32_t>(state.range(1));
    const float p0 = static_cast<float>(state.range(2)) / 1e6F;
    if (2 * std::int64_t{t} >= (std::int64_t{1} << m) - 1) {
        state.SkipWithError("no such code");
        return;
    }
    const EnginePlan fastPlan = PlanEngine({.m = m, .t = t, .largestP0 = p0, .threads = 1});
    MadeEngine fast = fastPlan.Make();
    MadeEngine reference = PlanEngine({.m = m, .t = t, .reference = true}).Make();
    double fastSeconds = 0.0;
    double referenceSeconds = 0.0;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            const double f = SecondsPerBlock(*fast.engine, p0, 0.1);
            const double r = SecondsPerBlock(*reference.engine, p0, 0.1);
            fastSeconds = round == 0 ? f : std::min(fastSeconds, f);
            referenceSeconds = round == 0 ? r : std::min(referenceSeconds, r);
        }
    }
    state.counters["fast_us"] = fastSeconds * 1e6;
    state.counters["reference_us"] = referenceSeconds * 1e6;
    state.counters["ratio"] = referenceSeconds / fastSeconds;
    state.SetLabel(fastPlan.why);
}
BENCHMARK(BM_Grid)
    ->ArgNames({"M", "T", "P0e6"})
    ->ArgsProduct({{4, 8, 10, 13, 16, 20}, {1, 4, 16}, {1000, 30000, 300000, 2000000}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace rs
