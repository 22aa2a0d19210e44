// The fast engine against the reference engine on fixed-work points, and the draw kernels at
// each instruction-set level. Each engine benchmark times both engines in one run, in five
// alternating rounds whose fastest time per engine counts, so that a burst of load on a shared
// machine does not decide the ratio; it reports microseconds per block and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "engine/engine_plan.h"
#include "engine/fast_engine.h"
#include "engine/hit_search/candidate_stream.h"
#include "engine/hit_search/hit_threshold.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel_engine.h"
#include "engine/reference_engine.h"
#include "random/random_generator.h"

namespace rs {
namespace {

// Seconds per block of `blocks` blocks of one point.
double SecondsPerBlock(Engine& engine, float p0, std::int32_t blocks) {
    PointStatistics statistics;
    const auto start = std::chrono::steady_clock::now();
    engine.StartPoint(p0, 1234);
    while (statistics.blocks < blocks) {
        engine.RunBlocks(statistics, blocks);
    }
    benchmark::DoNotOptimize(statistics);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / blocks;
}

// Arguments: M, T, P0 in millionths, reference blocks, fast blocks.
void BM_Engines(benchmark::State& state) {
    const auto m = static_cast<std::int32_t>(state.range(0));
    const auto t = static_cast<std::int32_t>(state.range(1));
    const float p0 = static_cast<float>(state.range(2)) / 1e6F;
    ReedSolomonCodec codec;
    codec.Configure(m, t);
    RandomGenerator generator;
    const std::int32_t q = std::int32_t{1} << m;
    ReferenceEngine reference(codec, generator, BlockArrays(codec.GetN(), codec.GetK()), q);
    // The fast engine as the program builds it: table-free above the tabled fields.
    std::unique_ptr<FastEngine> fast = m > kLargestTabledField
                                           ? std::make_unique<FastEngine>(m, t, BestKernel())
                                           : std::make_unique<FastEngine>(codec, m, BestKernel());
    double referenceSeconds = 0.0;
    double fastSeconds = 0.0;
    double floorSeconds = 0.0;
    const auto fastBlocks = static_cast<std::int32_t>(state.range(4));
    CandidateStream floor(BestKernel());
    const std::uint32_t threshold = HitThreshold(static_cast<double>(p0));
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const double r =
                SecondsPerBlock(reference, p0, static_cast<std::int32_t>(state.range(3)));
            const double f = SecondsPerBlock(*fast, p0, fastBlocks);
            // The floor: only finding the candidates among the same draws.
            const std::uint64_t draws = fast->DrawsUsed();
            const auto start = std::chrono::steady_clock::now();
            floor.Start(SeededState(1234), threshold);
            benchmark::DoNotOptimize(floor.Next(draws - 1, draws));
            const double d =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                fastBlocks;
            referenceSeconds = round == 0 ? r : std::min(referenceSeconds, r);
            fastSeconds = round == 0 ? f : std::min(fastSeconds, f);
            floorSeconds = round == 0 ? d : std::min(floorSeconds, d);
        }
    }
    state.counters["reference_us"] = referenceSeconds * 1e6;
    state.counters["fast_us"] = fastSeconds * 1e6;
    state.counters["floor_us"] = floorSeconds * 1e6;
    state.counters["ratio"] = referenceSeconds / fastSeconds;
}
BENCHMARK(BM_Engines)
    ->ArgNames({"M", "T", "P0e6", "refBlocks", "fastBlocks"})
    ->Args({8, 16, 50000, 200, 50000})
    ->Args({8, 16, 30000, 200, 200000})
    ->Args({8, 16, 10000, 200, 200000})
    ->Args({8, 16, 1000, 200, 200000})
    ->Args({4, 2, 50000, 20000, 1000000})
    ->Args({10, 30, 10000, 20, 20000})
    ->Args({16, 8, 100, 3, 300})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One-thread fast engines for RS(255,223), each with its own codec.
class OneThreadEngines {
  public:
    explicit OneThreadEngines(int count) : codecs(static_cast<std::size_t>(count)) {
        for (ReedSolomonCodec& codec : codecs) {
            codec.Configure(8, 16);
            engines.push_back(std::make_unique<FastEngine>(codec, 8, BestKernel(), 1));
        }
    }
    FastEngine& operator[](std::size_t i) { return *engines[i]; }

    // Seconds for every engine to run blocks / count blocks of its own point at once, side by
    // side on their own threads: the same work as one engine's blocks, shared out with
    // nothing to stitch, which is what the machine gives this workload at best.
    double SecondsSideBySide(float p0, std::int32_t blocks) {
        const auto share = static_cast<std::int32_t>(blocks / std::ssize(engines));
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> others;
        for (std::size_t e = 1; e < engines.size(); ++e) {
            others.emplace_back([&, e] { SecondsPerBlock(*engines[e], p0, share); });
        }
        SecondsPerBlock(*engines[0], p0, share);
        for (std::thread& other : others) {
            other.join();
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

  private:
    std::vector<ReedSolomonCodec> codecs;
    std::vector<std::unique_ptr<FastEngine>> engines;
};

// CPU seconds of the calling thread so far.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The fast engine on one thread and the parallel engine on `threads`, the same fixed-work
// point, fastest of seven alternating rounds each; "speedup" is the time on one thread over
// the time on threads. "ceiling" is the same ratio for `threads` one-thread engines running a
// share of the blocks each, side by side, in the same rounds: what the machine gives this
// work at that moment, so "efficiency", speedup over ceiling, is the engine's own part.
// "sequential" is the stitching thread's CPU time over the one-thread time: the part no
// number of threads shortens.
void BM_Threads(benchmark::State& state) {
    const auto threads = static_cast<int>(state.range(0));
    const float p0 = static_cast<float>(state.range(1)) / 1e6F;
    const auto blocks = static_cast<std::int32_t>(state.range(2));
    ReedSolomonCodec codec;
    codec.Configure(8, 16);
    OneThreadEngines ones(threads);
    ParallelEngine many(codec, 8, BestKernel(), threads);
    // As the program does: workers go no further than the point's blocks can take.
    many.BoundBlocks(blocks);
    double oneSeconds = 0.0;
    double manySeconds = 0.0;
    double busySeconds = 0.0;
    double sideSeconds = 0.0;
    for (auto _ : state) {
        for (int round = 0; round < 7; ++round) {
            const double a = SecondsPerBlock(ones[0], p0, blocks);
            const double stitchStart = ThreadSeconds();
            const double b = SecondsPerBlock(many, p0, blocks);
            if (round == 0 || b < manySeconds) {
                busySeconds = (ThreadSeconds() - stitchStart) / blocks;
            }
            const double c = ones.SecondsSideBySide(p0, blocks) / blocks;
            oneSeconds = round == 0 ? a : std::min(oneSeconds, a);
            manySeconds = round == 0 ? b : std::min(manySeconds, b);
            sideSeconds = round == 0 ? c : std::min(sideSeconds, c);
        }
    }
    const ParallelEngine::Stitching stitched = many.Stitched();
    state.counters["one_us"] = oneSeconds * 1e6;
    state.counters["threads_us"] = manySeconds * 1e6;
    state.counters["speedup"] = oneSeconds / manySeconds;
    state.counters["ceiling"] = oneSeconds / sideSeconds;
    state.counters["efficiency"] = sideSeconds / manySeconds;
    state.counters["sequential"] = busySeconds / oneSeconds;
    state.counters["walked"] =
        static_cast<double>(stitched.walked) /
        static_cast<double>(stitched.walked + stitched.taken + stitched.skipped);
}
BENCHMARK(BM_Threads)
    ->ArgNames({"threads", "P0e6", "blocks"})
    ->Args({2, 30000, 1000000})
    ->Args({2, 1000, 1000000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);


// The kernel alone: nanoseconds per draw to find the candidates of a stream, by kernel (0 the
// plain twin, then the machine's targets, best first), the fastest of five rounds.
void BM_DrawKernel(benchmark::State& state) {
    const auto index = static_cast<std::size_t>(state.range(0));
    const std::span<const DrawKernel> targets = RunnableKernels();
    if (index > targets.size()) {
        state.SkipWithError("no such target here");
        return;
    }
    const DrawKernel& kernel = index == 0 ? PlainKernel() : targets[index - 1];
    CandidateStream stream(kernel);
    const std::uint32_t threshold = HitThreshold(static_cast<double>(state.range(1)) / 1e6);
    const std::uint64_t draws = 64 * CandidateStream::kDefaultChunkDraws;
    double fastest = 0.0;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const auto start = std::chrono::steady_clock::now();
            stream.Start(SeededState(1234), threshold);
            // The last draw's query makes the stream generate every chunk before it.
            benchmark::DoNotOptimize(stream.Next(draws - 1, draws));
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            fastest = round == 0 ? seconds : std::min(fastest, seconds);
        }
    }
    state.counters["ns_per_draw"] = fastest / static_cast<double>(draws) * 1e9;
    state.SetLabel(kernel.name);
}
BENCHMARK(BM_DrawKernel)
    ->ArgNames({"kernel", "P0e6"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1000, 30000}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rs
