// Sweeps of short points on two threads against one, in one run: running whole points at once
// must keep both cores busy. The ceiling is what two one-thread sweeps side by side reach on
// this machine, so a shared or throttled machine is not mistaken for a slow program.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "simulator/sweep.h"
#include "engine/engine_plan.h"

namespace rs {
namespace {

class NullStream final : public OutputStream {
  public:
    void Write(std::string_view /*text*/) override {}
    bool Flush() override { return true; }
};

// Seconds of the whole sweep with the engines the program plans for threads.
double SweepSeconds(const SimulationParameters& p, int threads) {
    const SweepPlan sweep = PlanSweep(p.Pmax, p.Pmin, p.Pstep);
    const EnginePlan plan = PlanEngine({.m = p.M,
                                        .t = p.T,
                                        .largestP0 = p.Pmax,
                                        .threads = threads,
                                        .points = sweep.points.size(),
                                        .pointBlocks = p.maxBlocks});
    std::vector<std::unique_ptr<Engine>> engines;
    for (int i = 0; i < plan.pointsAtOnce; ++i) {
        engines.push_back(plan.Make().engine);
    }
    NullStream console;
    NullStream results;
    SteadyPerformanceCounter counter;
    const auto n = static_cast<std::int32_t>((std::int64_t{1} << p.M) - 1);
    Simulation simulation(p, n, n - 2 * p.T, std::move(engines), console, results, counter);
    const auto start = std::chrono::steady_clock::now();
    simulation.RunSweep(sweep.points);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds until two one-thread sweeps, side by side, have both ended.
double PairSeconds(const SimulationParameters& p) {
    const auto start = std::chrono::steady_clock::now();
    std::thread other([&] { SweepSeconds(p, 1); });
    SweepSeconds(p, 1);
    other.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const SimulationParameters kSweeps[] = {
    // 40 points of RS(255,223) from P0 0.06 down: the high ones end at 100 error blocks, the
    // low ones at 100 000 blocks.
    {0.06F, 0.0014F, 0.0015F, 100000, 100, 8, 16},
    // The bundled example.
    {0.07F, 0.02F, 0.005F, 100000, 100, 8, 16},
};

// Argument: the sweep's index in kSweeps.
void BM_Sweep(benchmark::State& state) {
    const SimulationParameters& p = kSweeps[state.range(0)];
    double one = 0.0;
    double two = 0.0;
    double pair = 0.0;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const double o = SweepSeconds(p, 1);
            const double t = SweepSeconds(p, 2);
            const double b = PairSeconds(p);
            one = round == 0 ? o : std::min(one, o);
            two = round == 0 ? t : std::min(two, t);
            pair = round == 0 ? b : std::min(pair, b);
        }
    }
    const double ceiling = 2.0 * one / pair;
    state.counters["points"] =
        static_cast<double>(PlanSweep(p.Pmax, p.Pmin, p.Pstep).points.size());
    state.counters["j1_ms"] = one * 1e3;
    state.counters["j2_ms"] = two * 1e3;
    state.counters["speedup"] = one / two;
    state.counters["ceiling"] = ceiling;
    state.counters["of_ceiling"] = one / two / ceiling;
}
BENCHMARK(BM_Sweep)
    ->ArgName("sweep")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace rs
