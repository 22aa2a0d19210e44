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

#include "rs_sim/simulator.h"
#include "simulator/sweep.h"

namespace rs {
namespace {

struct SweepLines {
    float Pmax;
    float Pmin;
    float Pstep;
    std::int32_t maxBlocks;
    std::int32_t maxErrorBlocks;
    std::int32_t M;
    std::int32_t T;
};

// Seconds of the whole sweep through the library, with the engines it plans for threads.
double SweepSeconds(const SweepLines& p, int threads) {
    rs_sim::Experiment experiment;
    experiment.code = {p.M, p.T, std::nullopt};
    experiment.points = *rs_sim::Points::Sweep(p.Pmax, p.Pmin, p.Pstep).value;
    experiment.stop = {p.maxBlocks, p.maxErrorBlocks};
    experiment.threads = threads;
    rs_sim::Expected<rs_sim::Simulator> simulator = rs_sim::Simulator::Make(experiment);
    const auto start = std::chrono::steady_clock::now();
    simulator.value->Run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds until two one-thread sweeps, side by side, have both ended.
double PairSeconds(const SweepLines& p) {
    const auto start = std::chrono::steady_clock::now();
    std::thread other([&] { SweepSeconds(p, 1); });
    SweepSeconds(p, 1);
    other.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const SweepLines kSweeps[] = {
    // 40 points of RS(255,223) from P0 0.06 down: the high ones end at 100 error blocks, the
    // low ones at 100 000 blocks.
    {0.06F, 0.0014F, 0.0015F, 100000, 100, 8, 16},
    // The bundled example.
    {0.07F, 0.02F, 0.005F, 100000, 100, 8, 16},
};

// Argument: the sweep's index in kSweeps.
void BM_Sweep(benchmark::State& state) {
    const SweepLines& p = kSweeps[state.range(0)];
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
