// The fast frames against the literal frames of the channels that send frames, on RS(255,223):
// both timed in one run, in five alternating rounds whose fastest time per engine counts, so
// that a burst of load on a shared machine does not decide the ratio. Reports microseconds per
// codeword and their ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "bench/ratio_report.h"
#include "engine/channel/frame_engine.h"
#include "engine/engine_plan.h"

namespace rs {
namespace {

double SecondsPerBlock(const rs_sim::Channel& channel, bool reference, float P0,
                       std::int32_t interleave, std::int32_t blocks) {
    const EnginePlan plan = PlanEngine({.m = 8,
                                        .t = 16,
                                        .channel = channel,
                                        .interleave = interleave,
                                        .largestP0 = P0,
                                        .reference = reference});
    MadeEngine made = plan.Make();
    PointStatistics statistics;
    const auto start = std::chrono::steady_clock::now();
    made.engine->StartPointAt(P0, FramePointKey(1234, 0));
    while (statistics.blocks < blocks) {
        made.engine->RunBlocks(statistics, blocks);
    }
    benchmark::DoNotOptimize(statistics);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / blocks;
}

void Compare(benchmark::State& state, const rs_sim::Channel& channel) {
    const float P0 = static_cast<float>(state.range(0)) / 1e6F;
    const auto interleave = static_cast<std::int32_t>(state.range(1));
    ReportRatio(
        state, [&] { return SecondsPerBlock(channel, true, P0, interleave, 400); },
        [&] { return SecondsPerBlock(channel, false, P0, interleave, 400000); });
}

// Arguments: P0 (the bit error probability) in millionths, interleaving depth.
void BM_BinaryChannel(benchmark::State& state) {
    Compare(state, rs_sim::BinarySymmetricChannel{});
}
BENCHMARK(BM_BinaryChannel)
    ->ArgNames({"P0e6", "I"})
    ->Args({100, 1})
    ->Args({2000, 4})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Arguments: the long-run bit error probability in millionths, interleaving depth; bursts of
// 100 bits on average, half their bits wrong.
void BM_GilbertElliottChannel(benchmark::State& state) {
    Compare(state, rs_sim::GilbertElliottChannel{rs_sim::GilbertElliottChannel::Level::kBit, 0.0,
                                                 0.5, 100.0});
}
BENCHMARK(BM_GilbertElliottChannel)
    ->ArgNames({"P0e6", "I"})
    ->Args({100, 1})
    ->Args({100, 8})
    ->Args({2000, 4})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace rs
