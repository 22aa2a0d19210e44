// The thread paths on a busy machine: the default thread count against one thread, with
// busy loops running beside them, as on a shared node. Threads that spin or yield while they
// wait lose their core to the loops and the walk with it; "ratio" is the default's wall time
// over one thread's, the fastest of five alternating rounds each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "system/cpu_count.h"
#include "engine/engine_plan.h"

namespace rs {
namespace {

// Threads that do nothing but keep a core busy until the object ends.
class BusyLoops {
  public:
    explicit BusyLoops(int count) {
        for (int i = 0; i < count; ++i) {
            loops.emplace_back([this] {
                std::uint64_t spins = 0;
                while (!stop.load(std::memory_order_relaxed)) {
                    benchmark::DoNotOptimize(++spins);
                }
            });
        }
    }
    ~BusyLoops() {
        stop.store(true);
        for (std::thread& loop : loops) {
            loop.join();
        }
    }
    BusyLoops(const BusyLoops&) = delete;
    BusyLoops& operator=(const BusyLoops&) = delete;

  private:
    std::atomic<bool> stop{false};
    std::vector<std::thread> loops;
};

// The engine the program runs for this code on threads.
std::unique_ptr<Engine> ProgramEngine(std::int32_t m, std::int32_t t, int threads) {
    return PlanEngine({.m = m, .t = t, .threads = threads}).Make().engine;
}

double SecondsFor(Engine& engine, float p0, std::int32_t blocks) {
    PointStatistics statistics;
    const auto start = std::chrono::steady_clock::now();
    engine.BoundBlocks(blocks);
    engine.StartPoint(p0, 1234);
    while (statistics.blocks < blocks) {
        engine.RunBlocks(statistics, blocks);
    }
    benchmark::DoNotOptimize(statistics);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Arguments: M, T, P0 in millionths, blocks, busy loops.
void BM_Contended(benchmark::State& state) {
    const auto m = static_cast<std::int32_t>(state.range(0));
    const auto t = static_cast<std::int32_t>(state.range(1));
    const float p0 = static_cast<float>(state.range(2)) / 1e6F;
    const auto blocks = static_cast<std::int32_t>(state.range(3));
    const int threads = UsableCpuCount();
    const std::unique_ptr<Engine> one = ProgramEngine(m, t, 1);
    const std::unique_ptr<Engine> many = ProgramEngine(m, t, threads);
    const BusyLoops loops(static_cast<int>(state.range(4)));
    double oneSeconds = 0.0;
    double manySeconds = 0.0;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const double a = SecondsFor(*one, p0, blocks);
            const double b = SecondsFor(*many, p0, blocks);
            oneSeconds = round == 0 ? a : std::min(oneSeconds, a);
            manySeconds = round == 0 ? b : std::min(manySeconds, b);
        }
    }
    state.counters["threads"] = threads;
    state.SetLabel(PlanEngine({.m = m, .t = t, .threads = threads}).why);
    state.counters["one_ms"] = oneSeconds * 1e3;
    state.counters["default_ms"] = manySeconds * 1e3;
    state.counters["ratio"] = manySeconds / oneSeconds;
}
// M = 20 runs on the chunk-making threads, RS(255,223) on the segment workers; each with two
// busy loops and with none.
BENCHMARK(BM_Contended)
    ->ArgNames({"M", "T", "P0e6", "blocks", "busy"})
    ->Args({20, 4, 1000, 100, 2})
    ->Args({8, 16, 30000, 300000, 2})
    ->Args({20, 4, 1000, 100, 0})
    ->Args({8, 16, 30000, 300000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace rs
