// The fast engine against the literal reference engine, and the fast engine's parts against
// their plain twins.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "codec/algebraic_decoder.h"
#include "codec/berlekamp_massey.h"
#include "engine/channel/frame_engine.h"
#include "engine/engine_plan.h"
#include "engine/fast_engine.h"
#include "engine/hit_search/candidate_stream.h"
#include "engine/hit_search/chunk_maker.h"
#include "engine/hit_search/hit_threshold.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel/segment_maker.h"
#include "engine/parallel_engine.h"
#include "engine/reference_engine.h"
#include "field/byte_field.h"
#include "field/galois_field.h"
#include "field/large_field.h"
#include "field/tabled_field.h"
#include "random/jump_ahead.h"
#include "random/random_generator.h"
#include "simulator/sweep.h"
#include "sweep_harness.h"
#include "test_support.h"

namespace rs {
namespace {

using testing::Simulation;

// The plain twin and every target's kernel the machine runs.
std::vector<DrawKernel> EveryKernel() {
    std::vector<DrawKernel> kernels = {PlainKernel()};
    for (const DrawKernel& kernel : RunnableKernels()) {
        kernels.push_back(kernel);
    }
    return kernels;
}

TEST(JumpAhead, MatchesPlainSteppingOfTheGenerator) {
    const JumpAhead& jump = JumpAhead::Instance();
    for (const std::int32_t seed : {1234, 0, -1, 0x7FFFFFFF, 2097151}) {
        RandomGenerator generator;
        generator.Seed(seed);
        const PackedState start = SeededState(seed);
        PackedState stepped = start;
        for (std::uint64_t count = 1; count <= 3000; ++count) {
            stepped = Draw(stepped);
            ASSERT_EQ(DrawnValue(stepped), static_cast<std::uint32_t>(generator.NextRaw()));
            if (count % 97 == 0 || count < 70) {
                ASSERT_EQ(jump.Advance(start, count), stepped) << seed << " " << count;
            }
        }
        // Far jumps compose: 2^40 + 12345 draws in two different splits.
        const std::uint64_t far = (std::uint64_t{1} << 40) + 12345;
        EXPECT_EQ(jump.Advance(jump.Advance(start, far - 777), 777), jump.Advance(start, far));
        EXPECT_EQ(jump.Power(far).Apply(start), jump.Advance(start, far));
    }
}

// The stated period is the draw map's exact order: it returns every state, and no proper
// divisor of it (the period over each of its primes) does.
TEST(JumpAhead, DrawsRepeatAfterExactlyTheStatedPeriod) {
    const JumpAhead& jump = JumpAhead::Instance();
    for (const std::int32_t seed : {1234, 1, 2097151}) {
        const PackedState start = SeededState(seed);
        EXPECT_EQ(jump.Advance(start, kDrawPeriod), start) << seed;
        for (const std::uint64_t prime : {5, 53, 157, 1613, 2731, 8191}) {
            ASSERT_EQ(kDrawPeriod % prime, 0U);
            EXPECT_NE(jump.Advance(start, kDrawPeriod / prime), start) << seed << " " << prime;
        }
    }
    std::uint64_t product = 1;
    for (const std::uint64_t prime : {5, 53, 157, 1613, 2731, 8191}) {
        product *= prime;
    }
    EXPECT_EQ(product, kDrawPeriod);
}

TEST(HitThreshold, SplitsTheDrawsExactlyWhereTheLiteralCompareDoes) {
    for (const float p0 : {0.0F, -0.25F, 1e-9F, 4.656e-10F, 0.001F, 0.03F, 0.025000006F, 0.5F,
                           0.99999994F, 1.0F, 1.5F}) {
        const double p = static_cast<double>(p0);
        const std::uint32_t threshold = HitThreshold(p);
        if (threshold > 0) {
            EXPECT_TRUE(HitsLiterally(threshold - 1, p)) << p0;
        }
        if (threshold <= 0x7FFFFFFFU) {
            EXPECT_FALSE(HitsLiterally(threshold, p)) << p0;
        }
    }
    EXPECT_EQ(HitThreshold(0.0), 0U);
    EXPECT_EQ(HitThreshold(1.0), 0x7FFFFFFFU);  // 1.0 itself is drawn only by 2^31 - 1
    EXPECT_EQ(HitThreshold(1.5), 0x80000000U);
}

// Every target's kernel and the plain twin, in turn, lists exactly the draws a scalar loop finds
// below the threshold, across several chunks.
TEST(CandidateStream, EveryLevelFindsTheDrawsBelowTheThreshold) {
    const std::uint64_t draws = 3 * CandidateStream::kDefaultChunkDraws + 1000;
    for (const std::uint32_t threshold : {1U, 2147484U, 64424509U, 1073741824U, 0x7FFFFFFFU}) {
        std::vector<std::uint64_t> expected;
        PackedState state = SeededState(4321);
        for (std::uint64_t i = 0; i < draws; ++i) {
            state = Draw(state);
            if (DrawnValue(state) < threshold) {
                expected.push_back(i);
            }
        }
        for (const DrawKernel& kernel : EveryKernel()) {
            // Several threads, small chunks: the same candidates.
            CandidateStream threaded(kernel, 3, 64);
            threaded.Start(SeededState(4321), threshold);
            std::vector<std::uint64_t> foundByThreads;
            for (std::uint64_t from = 0; (from = threaded.Next(from, draws)) < draws; ++from) {
                foundByThreads.push_back(from);
            }
            EXPECT_EQ(foundByThreads, expected) << kernel.name << ", 3 threads";

            CandidateStream stream(kernel);
            stream.Start(SeededState(4321), threshold);
            std::vector<std::uint64_t> found;
            for (std::uint64_t from = 0;;) {
                // Uneven windows, as the walk asks.
                const std::uint64_t limit = std::min(draws, from + 1 + (from * 7919) % 3000);
                const std::uint64_t next = stream.Next(from, limit);
                if (next < limit) {
                    found.push_back(next);
                    from = next + 1;
                } else if (limit == draws) {
                    break;
                } else {
                    from = limit;
                }
            }
            EXPECT_EQ(found, expected) << kernel.name << " below " << threshold;
        }
    }
}

// The table-free field against the table-built one: products, powers of alpha, logarithms.
TEST(LargeField, AgreesWithTheTableBuiltField) {
    std::mt19937 rng(5);
    for (std::int32_t m = 2; m <= 12; ++m) {
        GaloisField tables;
        ASSERT_TRUE(tables.Init(2, m));
        const LargeField field(m);
        const std::int32_t n = tables.GetOrder();
        std::uniform_int_distribution<Symbol> element(0, n);
        for (int i = 0; i < 2000; ++i) {
            const Symbol a = element(rng);
            const Symbol b = element(rng);
            ASSERT_EQ(field.Multiply(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)),
                      static_cast<std::uint32_t>(tables.Multiply(a, b)))
                << m;
            ASSERT_EQ(field.Divide(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)),
                      static_cast<std::uint32_t>(tables.Divide(a, b)));
        }
        for (std::int32_t e = 0; e < n; ++e) {
            ASSERT_EQ(field.AlphaPower(static_cast<std::uint64_t>(e)),
                      static_cast<std::uint32_t>(tables.Power(e)));
            ASSERT_EQ(field.Log(static_cast<std::uint32_t>(tables.Power(e))),
                      static_cast<std::uint64_t>(e))
                << m;
        }
    }
    // Fields of every size up to 2^30: alpha^e comes back to e.
    for (std::int32_t m = 13; m <= 30; ++m) {
        const LargeField field(m);
        for (const std::uint64_t e : {std::uint64_t{0}, std::uint64_t{1}, field.GetOrder() - 1,
                                      field.GetOrder() / 3 + 12345}) {
            EXPECT_EQ(field.Log(field.AlphaPower(e)), e % field.GetOrder()) << m;
        }
    }
}

// The algebraic root finding against the codec's Chien search, on error patterns of every
// weight, most of them beyond what the code corrects.
TEST(AlgebraicDecoder, FindsTheRootsAndValuesOfTheChienSearch) {
    // The incremental Chien search of the fast engine is checked here too.
    std::mt19937 rng(11);
    for (const auto& [m, t] : {std::pair{3, 1}, std::pair{4, 2}, std::pair{5, 3}, std::pair{6, 5},
                               std::pair{8, 16}, std::pair{10, 8}}) {
        ReedSolomonCodec codec;
        codec.Configure(m, t);
        ASSERT_TRUE(codec.IsReady());
        AlgebraicDecoder<LargeField> algebraic(LargeField(m), t);
        AlgebraicDecoder<TabledField> tabled(TabledField(codec.Field()), t);
        const std::int32_t n = codec.GetN();
        int detected = 0;
        for (int word = 0; word < 300; ++word) {
            std::vector<std::int32_t> positions(static_cast<std::size_t>(n));
            for (std::int32_t p = 0; p < n; ++p) {
                positions[static_cast<std::size_t>(p)] = p;
            }
            std::shuffle(positions.begin(), positions.end(), rng);
            const auto weight = static_cast<std::size_t>(1 + word % std::min(n, 3 * t + 2));
            positions.resize(weight);
            std::sort(positions.begin(), positions.end());
            std::vector<Symbol> values(weight);
            std::uniform_int_distribution<Symbol> nonzero(1, n);
            for (Symbol& v : values) {
                v = nonzero(rng);
            }
            const auto count = static_cast<std::int32_t>(weight);
            const bool zero = codec.SetSparseSyndromes(positions.data(), values.data(), count);
            ASSERT_EQ(algebraic.SetSparseSyndromes(positions.data(), values.data(), count), zero);
            ASSERT_EQ(tabled.SetSparseSyndromes(positions.data(), values.data(), count), zero);
            if (zero) {
                continue;
            }
            std::vector<std::pair<std::int32_t, Symbol>> chien;
            std::vector<std::pair<std::int32_t, Symbol>> incremental;
            std::vector<std::pair<std::int32_t, Symbol>> found;
            codec.FindErrors([&](std::int32_t p, Symbol v) { chien.emplace_back(p, v); });
            const bool flagged = codec.LastDecodeFailureDetected();
            codec.FindErrors<true>(
                [&](std::int32_t p, Symbol v) { incremental.emplace_back(p, v); });
            ASSERT_EQ(incremental, chien);
            ASSERT_EQ(codec.LastDecodeFailureDetected(), flagged);
            algebraic.FindErrors([&](std::int32_t p, Symbol v) { found.emplace_back(p, v); });
            std::vector<std::pair<std::int32_t, Symbol>> foundWithTables;
            tabled.FindErrors(
                [&](std::int32_t p, Symbol v) { foundWithTables.emplace_back(p, v); });
            std::sort(chien.begin(), chien.end());
            std::sort(found.begin(), found.end());
            std::sort(foundWithTables.begin(), foundWithTables.end());
            ASSERT_EQ(found, chien) << m << "," << t << " word " << word;
            ASSERT_EQ(foundWithTables, chien) << m << "," << t << " word " << word;
            ASSERT_EQ(algebraic.LastDecodeFailureDetected(), codec.LastDecodeFailureDetected());
            ASSERT_EQ(tabled.LastDecodeFailureDetected(), codec.LastDecodeFailureDetected());
            detected += codec.LastDecodeFailureDetected() ? 1 : 0;
        }
        if (t >= 2) {
            EXPECT_GT(detected, 0) << m << "," << t;
        }
    }
}

// Runs a sweep through the simulation with the given engine; the scripted clock makes the
// timing lines identical, so the whole console and report can be compared.
struct SweepText {
    std::string console;
    std::string results;
    std::vector<PointStatistics> statistics;
};

enum class Run { kReference, kFast, kFastAlgebraic, kParallel, kParallelAlgebraic };

// Segments of this shape cross many edges in every point: 64-row chunks, at most two a segment.
constexpr SegmentShape kSmallSegments{64, 2};

SweepText RunSweepWith(const SimulationParameters& parameters, std::int32_t seed, Run run,
                       const DrawKernel& kernel, int threads = 1, int rowsPerLane = 0,
                       ParallelEngine::Stitching* stitched = nullptr) {
    ReedSolomonCodec codec;
    codec.Configure(parameters.M, parameters.T);
    EXPECT_TRUE(codec.IsReady());
    RandomGenerator generator;
    testing::CapturingStream console;
    testing::CapturingStream results;
    testing::ScriptedCounter counter{{0, 1000}, 1000};
    const std::int32_t q = std::int32_t{1} << parameters.M;
    std::unique_ptr<Engine> engine;
    const ParallelEngine* observed = nullptr;
    if (run == Run::kFast) {
        engine = std::make_unique<FastEngine>(codec, parameters.M, kernel, threads, rowsPerLane);
    } else if (run == Run::kFastAlgebraic) {
        engine =
            std::make_unique<FastEngine>(parameters.M, parameters.T, kernel, threads, rowsPerLane);
    } else if (run == Run::kParallel || run == Run::kParallelAlgebraic) {
        auto parallel = run == Run::kParallel
                            ? std::make_unique<ParallelEngine>(codec, parameters.M, kernel, threads,
                                                               kSmallSegments)
                            : std::make_unique<ParallelEngine>(parameters.M, parameters.T, kernel,
                                                               threads, kSmallSegments);
        observed = parallel.get();
        engine = std::move(parallel);
    } else {
        engine = std::make_unique<ReferenceEngine>(codec, generator,
                                                   BlockArrays(codec.GetN(), codec.GetK()), q);
    }
    Simulation simulation(parameters, codec.GetN(), codec.GetK(), std::move(engine), console,
                          results, counter);
    simulation.SetSeed(seed);
    SweepText text;
    simulation.SetPointObserver([&](const PointRecord& record) {
        text.statistics.push_back(record.statistics);
        return std::string();
    });
    const SweepPlan plan = PlanSweep(parameters.Pmax, parameters.Pmin, parameters.Pstep);
    EXPECT_TRUE(plan.error.empty());
    EXPECT_TRUE(simulation.RunSweep(plan.points));
    if (stitched != nullptr && observed != nullptr) {
        *stitched = observed->Stitched();
    }
    text.console = console.text;
    text.results = results.text;
    return text;
}

struct Experiment {
    const char* name;
    SimulationParameters parameters;
    std::int32_t seed = 1234;
};

// Small codes at high P0 are where miscorrections and failures crowd; the others cover each
// kind of code, probability, limit and seed the program accepts.
const Experiment kExperiments[] = {
    {"GF(2) uncoded", {0.6F, 0.0F, 0.3F, 300, 1000, 1, 0}},
    {"n=3 k=1 every P0", {1.2F, -0.2F, 0.2F, 200, 50, 2, 1}},
    {"n=7 k=1", {0.9F, 0.2F, 0.35F, 300, 100, 3, 3}},
    {"n=15 t=2 miscorrections", {1.0F, 0.2F, 0.1F, 400, 150, 4, 2}},
    {"n=15 t=7", {0.7F, 0.3F, 0.2F, 400, 150, 4, 7}},
    {"n=31 t=3 error-limited", {0.3F, 0.05F, 0.05F, 5000, 17, 5, 3}},
    {"n=63 uncoded", {0.05F, 0.01F, 0.02F, 200, 30, 6, 0}},
    {"RS(255,223)", {0.06F, 0.04F, 0.01F, 300, 25, 8, 16}},
    {"RS(255,253) block-limited", {0.004F, 0.004F, 0.01F, 700, 1000, 8, 1}},
    {"RS(1023,963)", {0.03F, 0.03F, 0.01F, 60, 10, 10, 30}},
    {"P0 of 0 and negative", {0.0F, -0.3F, 0.15F, 50, 5, 4, 2}},
    {"limits of 0 or less", {0.2F, 0.1F, 0.1F, 0, -4, 4, 2}},
    {"negative block limit", {0.2F, 0.2F, 0.1F, -1, 10, 4, 2}},
    {"zero error limit", {0.2F, 0.2F, 0.1F, 10, 0, 4, 2}},
    {"seed 0", {0.4F, 0.2F, 0.2F, 300, 60, 4, 2}, 0},
    {"largest seed", {0.4F, 0.2F, 0.2F, 300, 60, 4, 2}, 2097151},
    {"negative seed", {0.4F, 0.2F, 0.2F, 300, 60, 4, 2}, -77},
};

TEST(Engines, FastEqualsReferenceOnEveryExperiment) {
    const DrawKernel& best = BestKernel();
    for (const Experiment& e : kExperiments) {
        const SweepText reference = RunSweepWith(e.parameters, e.seed, Run::kReference, best);
        const SweepText fast = RunSweepWith(e.parameters, e.seed, Run::kFast, best);
        EXPECT_EQ(fast.console, reference.console) << e.name;
        EXPECT_EQ(fast.results, reference.results) << e.name;
        EXPECT_EQ(fast.statistics, reference.statistics) << e.name;
        // The decoder for fields without tables, here on fields that have them.
        if (e.parameters.M >= 2) {
            EXPECT_EQ(RunSweepWith(e.parameters, e.seed, Run::kFastAlgebraic, best).statistics,
                      reference.statistics)
                << e.name << ", algebraic";
        }
    }
}

// For threads: walks that merge with the workers' (short blocks, high P0), walks that never do
// (low P0, so that the workers stop speculating), and stops by either limit among merged
// blocks.
const Experiment kThreadExperiments[] = {
    {"n=15 t=2 error-limited, many points", {0.5F, 0.02F, 0.02F, 3000, 37, 4, 2}},
    {"n=31 t=3 block-limited", {0.2F, 0.1F, 0.05F, 7777, 100000, 5, 3}},
    {"RS(255,253) low P0", {0.001F, 0.0005F, 0.0005F, 3000, 3, 8, 1}},
    {"n=63 t=1 blocks skipped", {0.005F, 0.001F, 0.002F, 30011, 40, 6, 1}},
};

// Any number of threads gives the same bytes. Small segments put many segment edges inside
// each point, and stops by either limit fall in the middle of segments.
TEST(Engines, EveryThreadCountGivesTheSameOutput) {
    const DrawKernel& best = BestKernel();
    ParallelEngine::Stitching total;
    const auto check = [&](const Experiment& e) {
        const SweepText reference = RunSweepWith(e.parameters, e.seed, Run::kReference, best);
        for (const int threads : {1, 2, 3, 7}) {
            ParallelEngine::Stitching stitched;
            const SweepText parallel =
                threads == 1 ? RunSweepWith(e.parameters, e.seed, Run::kFast, best, 1, 64)
                             : RunSweepWith(e.parameters, e.seed, Run::kParallel, best, threads, 0,
                                            &stitched);
            EXPECT_EQ(parallel.console, reference.console) << e.name << ", " << threads;
            EXPECT_EQ(parallel.results, reference.results) << e.name << ", " << threads;
            EXPECT_EQ(parallel.statistics, reference.statistics) << e.name << ", " << threads;
            total.walked += stitched.walked;
            total.taken += stitched.taken;
            total.skipped += stitched.skipped;
            total.prefetched += stitched.prefetched;
        }
        // Workers decoding without tables, and the chunk-parallel walk that serves codes whose
        // blocks no segment holds.
        if (e.parameters.M >= 2) {
            EXPECT_EQ(
                RunSweepWith(e.parameters, e.seed, Run::kParallelAlgebraic, best, 2).statistics,
                reference.statistics)
                << e.name << ", algebraic";
        }
        EXPECT_EQ(RunSweepWith(e.parameters, e.seed, Run::kFast, best, 3, 64).statistics,
                  reference.statistics)
            << e.name << ", chunk makers";
    };
    for (const Experiment& e : kExperiments) {
        check(e);
    }
    for (const Experiment& e : kThreadExperiments) {
        check(e);
    }
    EXPECT_GT(total.walked, 0);
    EXPECT_GT(total.taken, 0);
    EXPECT_GT(total.skipped, 0);
    EXPECT_GT(total.prefetched, 0);
}

// Every call stops at its block limit, wherever it falls among merged, skipped or walked
// blocks: without a bound on the point's blocks, with one that holds and with one far too
// small, which leaves the stitch to make the segments past it itself.
TEST(Engines, ParallelRunsStopAtEveryLimit) {
    // Long enough for segments in which the walks merge early.
    constexpr std::int32_t kBlocks = 200000;
    struct Case {
        std::int32_t m;
        std::int32_t t;
        float p0;
    };
    // Dense candidates with few wrong blocks, sparse ones, and a code whose failures mostly
    // leave its one information symbol right.
    const Case cases[] = {{6, 3, 0.02F}, {6, 3, 0.001F}, {4, 7, 0.45F}};
    std::mt19937 random(11);
    ParallelEngine::Stitching total;
    std::int64_t failuresOnly = 0;
    for (const Case& c : cases) {
        ReedSolomonCodec codec;
        codec.Configure(c.m, c.t);
        for (const std::int32_t bound : {-1, kBlocks, 10}) {
            FastEngine one(codec, c.m, BestKernel());
            ParallelEngine many(codec, c.m, BestKernel(), 3);
            if (bound >= 0) {
                many.BoundBlocks(bound);
            }
            one.StartPoint(c.p0, 77);
            many.StartPoint(c.p0, 77);
            PointStatistics alone;
            PointStatistics together;
            for (std::int32_t limit = 0; limit < kBlocks;) {
                limit = std::min(kBlocks, limit + static_cast<std::int32_t>(random() % 3000) + 1);
                while (alone.blocks < limit && together == alone) {
                    one.RunBlocks(alone, limit);
                    many.RunBlocks(together, limit);
                }
                ASSERT_EQ(together, alone) << c.m << ", " << c.p0 << ", bound " << bound;
            }
            total.walked += many.Stitched().walked;
            total.taken += many.Stitched().taken;
            total.skipped += many.Stitched().skipped;
            // More failures than wrong blocks: some failed blocks came out right.
            failuresOnly += alone.detectedFailures - alone.errorBlocks;
        }
    }
    EXPECT_GT(total.walked, 0);
    EXPECT_GT(total.taken, 0);
    EXPECT_GT(total.skipped, 0);
    EXPECT_GT(failuresOnly, 0);
}

// A next point's first segment, made ahead or not, cut short or not, and one expected for
// a point that does not come: each point still counts as on one thread.
TEST(Engines, ExpectedPointsGiveTheSameCounts) {
    ReedSolomonCodec codec;
    codec.Configure(6, 3);
    FastEngine one(codec, 6, BestKernel());
    ParallelEngine many(codec, 6, BestKernel(), 2);
    struct Step {
        float p0;
        float expected;  // 0: none
        std::int32_t blocks;
        bool pause = false;  // give a worker time to begin the next point's first segment
    };
    // Long points give the workers time to make the next one's first segment; a point of one
    // block starts the next while it is still being made, and then that is cut short.
    const Step steps[] = {{0.03F, 0.05F, 60000}, {0.05F, 0.002F, 1},   {0.002F, 0.04F, 1, true},
                          {0.04F, 0.03F, 20000}, {0.03F, 0.0F, 30000}, {0.2F, 0.03F, 40000},
                          {0.03F, 0.001F, 5},    {0.001F, 0.0F, 80000}};
    for (const Step& step : steps) {
        one.StartPoint(step.p0, 5);
        many.StartPoint(step.p0, 5);
        if (step.expected != 0.0F) {
            many.ExpectPoint(step.expected, 5);
        }
        PointStatistics alone;
        PointStatistics together;
        while (alone.blocks < step.blocks) {
            one.RunBlocks(alone, step.blocks);
            many.RunBlocks(together, step.blocks);
            ASSERT_EQ(together, alone) << step.p0;
        }
        if (step.pause) {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    }
    EXPECT_GT(many.Stitched().prefetched, 0);
}

// A segment cut short is the segment that ends where it was cut.
TEST(SegmentMaker, CutSegmentEqualsTheShorterOne) {
    const DrawKernel& kernel = BestKernel();
    const std::uint64_t chunk = 64 * kernel.words * 64;
    for (const double p0 : {0.05, 0.001}) {
        SegmentMaker whole(kernel, 64, 6, 3, false);
        SegmentMaker cut(kernel, 64, 6, 3, false);
        const std::uint32_t threshold = HitThreshold(p0);
        SegmentTask shorter{SeededState(8), threshold, 0, 3 * chunk, p0 > 0.01};
        SegmentTask longer = shorter;
        longer.end = 6 * chunk;
        Segment expected;
        Segment made;
        ASSERT_TRUE(whole.Fill(shorter, expected, [] { return false; }));
        int asked = 0;
        ASSERT_TRUE(cut.FillUntilCut(
            longer, made, [] { return false; }, [&] { return ++asked == 3; }));
        EXPECT_EQ(longer.end, shorter.end) << p0;
        EXPECT_EQ(made.bitmap, expected.bitmap) << p0;
        EXPECT_EQ(made.candidates, expected.candidates) << p0;
        EXPECT_EQ(made.starts, expected.starts) << p0;
        EXPECT_EQ(made.hits, expected.hits) << p0;
        EXPECT_EQ(made.decoded, expected.decoded) << p0;
        EXPECT_EQ(made.exit, expected.exit) << p0;
    }
}

// The listed candidates of a chunk are its bitmap's bits in order, for every kernel.
TEST(ChunkMaker, ListsTheCandidatesOfItsBitmap) {
    for (const DrawKernel& kernel : EveryKernel()) {
        for (const double p0 : {1e-4, 0.001, 1.0 / 300}) {
            ChunkMaker bitmapMaker(kernel, 64, 1);
            ChunkMaker listMaker(kernel, 64, 1);
            bitmapMaker.Seat(SeededState(99));
            listMaker.Seat(SeededState(99));
            std::vector<std::uint64_t> bitmap(bitmapMaker.BitmapWords());
            std::vector<std::uint32_t> expected;
            std::vector<std::uint32_t> listed;
            for (std::uint32_t chunk = 0; chunk < 3; ++chunk) {
                const auto first = static_cast<std::uint32_t>(chunk * bitmapMaker.ChunkDraws());
                bitmapMaker.Make(HitThreshold(p0), bitmap.data());
                for (std::size_t w = 0; w < bitmap.size(); ++w) {
                    for (int bit = 0; bit < 64; ++bit) {
                        if (((bitmap[w] >> bit) & 1) != 0) {
                            expected.push_back(first + static_cast<std::uint32_t>(64 * w) +
                                               static_cast<std::uint32_t>(bit));
                        }
                    }
                }
                listMaker.MakeList(HitThreshold(p0), first, listed);
            }
            EXPECT_FALSE(expected.empty());
            EXPECT_EQ(listed, expected) << kernel.name << ", " << p0;
        }
    }
}

// The hits of a word of candidates, against the rule draw by draw: a candidate hits unless the
// draw before it hit.
TEST(BlockCounter, HitsOfRunsTakeEveryOtherCandidateOfARun) {
    std::mt19937_64 random(5);
    for (int i = 0; i < 20000; ++i) {
        // Dense words with long runs, even ones and sparse ones.
        const std::uint64_t a = random();
        const std::uint64_t b = random();
        const std::uint64_t c = i % 3 == 0 ? (a | b) : i % 3 == 1 ? a : (a & b);
        std::uint64_t expected = 0;
        bool previousHit = false;
        for (int bit = 0; bit < 64; ++bit) {
            const bool hit = ((c >> bit) & 1) != 0 && !previousHit;
            expected |= static_cast<std::uint64_t>(hit) << bit;
            previousHit = hit;
        }
        ASSERT_EQ(BlockCounter::HitsOfRuns(c), expected) << std::hex << c;
    }
}

// RS_SIM_SIMD caps the level: each name allows its own target and those below it, never one
// above, and a name of no level is refused rather than ignored.
TEST(DrawKernels, LevelCapPicksTheBestTargetAllowed) {
    const std::span<const DrawKernel> kernels = RunnableKernels();
    ASSERT_FALSE(kernels.empty());
    const auto index = [&](const char* cap) {
        return &CappedKernel(kernels, cap) - kernels.data();
    };
    EXPECT_EQ(index(nullptr), 0);
    EXPECT_EQ(index("portable"), static_cast<std::ptrdiff_t>(kernels.size()) - 1);
    // Without the fallback target, a cap below every target there is takes the lowest.
    if (kernels.size() >= 2) {
        const std::span<const DrawKernel> vectors = kernels.first(kernels.size() - 1);
        EXPECT_EQ(&CappedKernel(vectors, "portable"), &vectors.back());
    }
    const std::vector<std::string> names = SimdLevelNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(SimdCapProblem(names[i].c_str()), "") << names[i];
        if (i > 0) {
            EXPECT_LE(index(names[i].c_str()), index(names[i - 1].c_str())) << names[i];
        }
    }
    // Where the machine runs a target, its own name picks it.
    for (const auto& [cap, target] :
         {std::pair{"avx2", "AVX2"}, {"sse4", "SSE4"}, {"neon", "NEON"}}) {
        for (const DrawKernel& kernel : kernels) {
            if (std::string_view(kernel.name) == target) {
                EXPECT_STREQ(CappedKernel(kernels, cap).name, target);
            }
        }
    }
    EXPECT_EQ(SimdCapProblem(nullptr), "");
    for (const char* wrong : {"", "AVX2", "avx", "sve", "avx2 "}) {
        EXPECT_TRUE(SimdCapProblem(wrong).starts_with(std::string("RS_SIM_SIMD=") + wrong + " "))
            << wrong;
    }
}

// Every target's Chien sums find the plain twin's roots: on locators with planted roots, of
// few and of many terms (past the vector search's 64), for n that no vector's lanes divide.
TEST(DrawKernels, ChienRootsOfEveryTargetAreThePlainTwins) {
    std::mt19937 random(3);
    for (const auto& [m, degree] : {std::pair{4, 3}, {6, 1}, {8, 16}, {8, 40}, {10, 70}}) {
        GaloisField field;
        ASSERT_TRUE(field.Init(2, m));
        const std::int32_t n = field.GetOrder();
        for (int trial = 0; trial < 10; ++trial) {
            // Lambda(x) = product of (1 + alpha^p x): its roots are alpha^-p, at j = p.
            std::vector<Symbol> locator = {1};
            for (int r = 0; r < degree; ++r) {
                const Symbol root = field.Power(static_cast<std::int32_t>(random() % n));
                locator.push_back(0);
                for (std::size_t i = locator.size() - 1; i > 0; --i) {
                    locator[i] ^= field.Multiply(locator[i - 1], root);
                }
            }
            std::vector<std::int32_t> exponents;
            std::vector<std::int32_t> steps;
            for (std::size_t i = 0; i < locator.size(); ++i) {
                if (locator[i] != 0) {
                    exponents.push_back((field.LogTable()[static_cast<std::size_t>(locator[i])] +
                                         static_cast<std::int32_t>(i)) %
                                        n);
                    steps.push_back(static_cast<std::int32_t>(i) % n);
                }
            }
            const auto terms = static_cast<std::int32_t>(exponents.size());
            std::vector<std::int32_t> expected(static_cast<std::size_t>(n));
            expected.resize(static_cast<std::size_t>(
                PlainKernel().chienRoots(exponents.data(), steps.data(), terms, n,
                                         field.PowerTable().data(), expected.data())));
            EXPECT_FALSE(expected.empty());
            for (const DrawKernel& kernel : RunnableKernels()) {
                std::vector<std::int32_t> found(static_cast<std::size_t>(n));
                found.resize(static_cast<std::size_t>(
                    kernel.chienRoots(exponents.data(), steps.data(), terms, n,
                                      field.PowerTable().data(), found.data())));
                EXPECT_EQ(found, expected) << kernel.name << ", M=" << m << ", degree " << degree;
            }
            if (m > ByteField::kLargestByteField) {
                continue;
            }
            // The byte-vector search from the locator's coefficients, the plain twin's too.
            const ByteField bytes(field);
            const std::vector<DrawKernel> kernels = EveryKernel();
            for (const DrawKernel& kernel : kernels) {
                std::vector<std::int32_t> found(static_cast<std::size_t>(n));
                found.resize(static_cast<std::size_t>(
                    kernel.byteChienRoots(bytes.View(), locator.data(), degree, found.data())));
                EXPECT_EQ(found, expected)
                    << kernel.name << " bytes, M=" << m << ", degree " << degree;
            }
        }
    }
}

// Every target's byte-vector syndromes, and the plain twin's, are the sums of the hits' values
// times alpha^((i + 1) p): for few and many hits, 2t within one vector and across several,
// positions up to n - 1.
TEST(DrawKernels, ByteSyndromesOfEveryTargetAreTheSums) {
    std::mt19937 random(5);
    const std::vector<DrawKernel> kernels = EveryKernel();
    for (const auto& [m, twoT, hits] :
         {std::tuple{3, 2, 1}, {4, 6, 3}, {8, 32, 20}, {8, 200, 90}, {8, 254, 255}}) {
        GaloisField field;
        ASSERT_TRUE(field.Init(2, m));
        const ByteField bytes(field);
        const std::int32_t n = field.GetOrder();
        std::vector<std::int32_t> positions;
        std::vector<std::int32_t> values;
        for (int h = 0; h < hits; ++h) {
            positions.push_back(h == 0 ? n - 1 : static_cast<std::int32_t>(random() % n));
            values.push_back(1 + static_cast<std::int32_t>(random() % n));
        }
        std::vector<std::int32_t> expected(static_cast<std::size_t>(twoT));
        for (std::int32_t i = 0; i < twoT; ++i) {
            for (int h = 0; h < hits; ++h) {
                expected[static_cast<std::size_t>(i)] ^= field.Multiply(
                    values[static_cast<std::size_t>(h)],
                    field.Power(static_cast<std::int32_t>(
                        std::int64_t{i + 1} * positions[static_cast<std::size_t>(h)] % n)));
            }
        }
        for (const DrawKernel& kernel : kernels) {
            std::vector<std::int32_t> found(static_cast<std::size_t>(twoT), -1);
            const bool allZero = kernel.byteSyndromes(bytes.View(), positions.data(), values.data(),
                                                      hits, twoT, found.data());
            EXPECT_EQ(found, expected) << kernel.name << ", M=" << m << ", 2t=" << twoT;
            EXPECT_EQ(allZero, std::all_of(expected.begin(), expected.end(),
                                           [](std::int32_t s) { return s == 0; }));
        }
        // One hit cancelling another leaves nothing.
        const std::int32_t twice[] = {positions[0], positions[0]};
        const std::int32_t same[] = {values[0], values[0]};
        for (const DrawKernel& kernel : kernels) {
            std::vector<std::int32_t> found(static_cast<std::size_t>(twoT), -1);
            EXPECT_TRUE(kernel.byteSyndromes(bytes.View(), twice, same, 2, twoT, found.data()))
                << kernel.name;
        }
    }
}

// Every target's byte-vector products and evaluations, and the plain twin's, are the field's:
// products of degrees 0 to 256 cut to every kind of count (none, within one vector, across
// several, past the product's degree), and evaluations at points up to j = n, in any order.
TEST(DrawKernels, BytePolynomialsOfEveryTargetAreTheFields) {
    std::mt19937 random(7);
    const std::vector<DrawKernel> kernels = EveryKernel();
    for (const int m : {3, 4, 8}) {
        GaloisField field;
        ASSERT_TRUE(field.Init(2, m));
        const ByteField bytes(field);
        const std::int32_t n = field.GetOrder();
        const auto poly = [&](std::int32_t degree) {
            std::vector<std::int32_t> p(static_cast<std::size_t>(degree) + 1);
            for (std::int32_t& c : p) {
                c = random() % 3 == 0 ? 0 : static_cast<std::int32_t>(random() % (n + 1));
            }
            return p;
        };
        for (const auto& [degreeA, degreeB, count] : {std::tuple{0, 0, 1},
                                                      {1, 0, 0},
                                                      {3, 5, 9},
                                                      {16, 32, 32},
                                                      {8, 16, 25},
                                                      {32, 31, 33},
                                                      {70, 40, 111},
                                                      {100, 100, 130},
                                                      {256, 256, 256},
                                                      {0, 200, 256}}) {
            const std::vector<std::int32_t> a = poly(degreeA);
            const std::vector<std::int32_t> b = poly(degreeB);
            std::vector<std::int32_t> expected(static_cast<std::size_t>(count), 0);
            for (std::int32_t i = 0; i <= degreeA; ++i) {
                for (std::int32_t j = 0; j <= degreeB && i + j < count; ++j) {
                    expected[static_cast<std::size_t>(i + j)] ^= field.Multiply(
                        a[static_cast<std::size_t>(i)], b[static_cast<std::size_t>(j)]);
                }
            }
            for (const DrawKernel& kernel : kernels) {
                std::vector<std::int32_t> found(static_cast<std::size_t>(count) + 1, -1);
                kernel.bytePolyProduct(bytes.View(), a.data(), degreeA, b.data(), degreeB, count,
                                       found.data());
                EXPECT_EQ(found.back(), -1) << kernel.name << ": written past the count";
                found.pop_back();
                EXPECT_EQ(found, expected) << kernel.name << ", M=" << m << ", degrees " << degreeA
                                           << " and " << degreeB << ", count " << count;
            }
        }
        for (const std::int32_t degree : {0, 1, 5, 31, n - 1}) {
            if (degree >= n) {
                continue;  // a row of powers per term
            }
            const std::vector<std::int32_t> p = poly(degree);
            std::vector<std::int32_t> js = {n, 1};
            for (int r = 0; r < 40; ++r) {
                js.push_back(1 + static_cast<std::int32_t>(random() % n));
            }
            std::vector<std::int32_t> expected;
            for (const std::int32_t j : js) {
                expected.push_back(field.PolyEvaluate(p.data(), field.Power(j % n), degree));
            }
            for (const DrawKernel& kernel : kernels) {
                std::vector<std::int32_t> found(js.size(), -1);
                kernel.byteEvaluate(bytes.View(), p.data(), degree, js.data(),
                                    static_cast<std::int32_t>(js.size()), found.data());
                EXPECT_EQ(found, expected) << kernel.name << ", M=" << m << ", degree " << degree;
            }
        }
    }
}

// Every target's byte-vector Berlekamp-Massey, and the plain twin's, takes the steps of the
// codec's on the field's tables: the same locator and length, on syndromes of a few errors, on
// random ones (locators beyond reach, lengths changing often) and on sparse ones (zero
// discrepancies), for counts within one vector and across several.
TEST(DrawKernels, ByteBerlekampMasseyOfEveryTargetIsTheCodecs) {
    std::mt19937 random(11);
    const std::vector<DrawKernel> kernels = EveryKernel();
    for (const int m : {3, 4, 8}) {
        GaloisField field;
        ASSERT_TRUE(field.Init(2, m));
        const ByteField bytes(field);
        const std::int32_t n = field.GetOrder();
        for (const std::int32_t count : {0, 1, 2, 5, 6, 16, 31, 32, 33, 64, 65, 100, 200, 254}) {
            if (count >= n) {
                continue;
            }
            for (int kind = 0; kind < 3; ++kind) {
                std::vector<std::int32_t> syndromes(static_cast<std::size_t>(count), 0);
                if (kind == 0) {
                    // A few errors: S_i = sum of e_p alpha^((i + 1) p).
                    for (int e = 0; e <= count / 2; ++e) {
                        const auto p = static_cast<std::int32_t>(random() % n);
                        const auto value = static_cast<Symbol>(1 + random() % n);
                        for (std::int32_t i = 0; i < count; ++i) {
                            syndromes[static_cast<std::size_t>(i)] ^=
                                field.Multiply(value, field.Power(static_cast<std::int32_t>(
                                                          (i + 1) * std::int64_t{p} % n)));
                        }
                    }
                } else {
                    for (std::int32_t& syndrome : syndromes) {
                        syndrome = kind == 2 && random() % 4 != 0
                                       ? 0
                                       : static_cast<std::int32_t>(random() % (n + 1));
                    }
                }
                std::vector<std::int32_t> expected(static_cast<std::size_t>(count) + 1);
                std::vector<std::int32_t> correction(static_cast<std::size_t>(count) + 2);
                const std::int32_t length =
                    RunBerlekampMassey(TabledField(field), syndromes.data(), count, expected.data(),
                                       correction.data());
                for (const DrawKernel& kernel : kernels) {
                    std::vector<std::int32_t> found(static_cast<std::size_t>(count) + 2, -1);
                    EXPECT_EQ(kernel.byteBerlekampMassey(bytes.View(), syndromes.data(), count,
                                                         found.data()),
                              length)
                        << kernel.name << ", M=" << m << ", count " << count << ", kind " << kind;
                    EXPECT_EQ(found.back(), -1) << kernel.name << ": written past the locator";
                    found.pop_back();
                    EXPECT_EQ(found, expected)
                        << kernel.name << ", M=" << m << ", count " << count << ", kind " << kind;
                }
            }
        }
    }
}

// Short codes walk each block from one window of 64 draws, which holds a block's positions and
// as many draws again up to n = 32: codes on both sides of that edge, at points dense enough to
// put a hit on most of the window's draws, count as the reference engine does.
TEST(Engines, ShortBlocksCountAsTheReferenceOnBothSidesOfTheWindow) {
    for (const std::int32_t length : {31, 32, 33}) {
        for (const float P0 : {0.1F, 0.45F, 0.9F}) {
            PointStatistics counted[2];
            for (const bool reference : {false, true}) {
                MadeEngine made = PlanEngine({.m = 6,
                                              .t = 3,
                                              .length = length,
                                              .largestP0 = P0,
                                              .reference = reference,
                                              .threads = 1})
                                      .Make();
                ASSERT_NE(made.engine, nullptr) << made.error;
                PointStatistics& statistics = counted[reference ? 1 : 0];
                made.engine->StartPoint(P0, 99);
                while (statistics.blocks < 4000) {
                    made.engine->RunBlocks(statistics, 4000);
                }
            }
            EXPECT_EQ(counted[0], counted[1]) << "length " << length << ", P0=" << P0;
        }
    }
}

// A point long enough to pass 2^31 blocks: counts started just below that, as such a point
// reaches them, go on past it exactly as counts from 0 do, on every engine.
TEST(Engines, CountsGoOnPast32Bits) {
    constexpr std::int64_t kBlocks = 3000;
    constexpr std::int64_t kStart = (std::int64_t{1} << 31) - kBlocks / 2;
    constexpr float kP0 = 0.2F;
    struct Case {
        const char* name;
        EngineRequest request;
    };
    const Case cases[] = {
        {"reference", {.m = 4, .t = 2, .largestP0 = kP0, .reference = true}},
        {"fast", {.m = 4, .t = 2, .largestP0 = kP0}},
        {"parallel", {.m = 4, .t = 2, .largestP0 = kP0, .threads = 2}},
        {"frames",
         {.m = 4,
          .t = 2,
          .channel = rs_sim::BinarySymmetricChannel{},
          .interleave = 2,
          .largestP0 = kP0,
          .threads = 2}},
    };
    for (const Case& c : cases) {
        const auto run = [&](PointStatistics statistics) {
            MadeEngine made = PlanEngine(c.request).Make();
            EXPECT_NE(made.engine, nullptr) << made.error;
            made.engine->BoundBlocks(statistics.blocks + kBlocks);
            made.engine->StartPointAt(
                kP0, SendsFrames(c.request.channel) ? FramePointKey(7, 0) : SeededState(7));
            const std::int64_t limit = statistics.blocks + kBlocks;
            while (statistics.blocks < limit) {
                made.engine->RunBlocks(statistics, limit);
            }
            return statistics;
        };
        const PointStatistics fromZero = run({});
        PointStatistics start;
        start.blocks = kStart;
        start.errorBlocks = kStart - 1;
        start.detectedFailures = kStart - 2;
        start.miscorrections = kStart - 3;
        PointStatistics past = run(start);
        EXPECT_GT(past.blocks, std::int64_t{INT32_MAX}) << c.name;
        EXPECT_GT(past.errorBlocks, std::int64_t{INT32_MAX}) << c.name;
        past.blocks -= start.blocks;
        past.errorBlocks -= start.errorBlocks;
        past.detectedFailures -= start.detectedFailures;
        past.miscorrections -= start.miscorrections;
        EXPECT_EQ(past, fromZero) << c.name;
    }
}

// At P0 = (q - 1)/q every received word is uniform, and a bounded-distance decoder leaves
// unflagged exactly the fraction V_t / q^2t of them, V_t = sum over s <= t of C(n, s)(q - 1)^s
// (the volume of a decoding sphere): the fast engine's flag, within four standard errors, for
// codes of t >= 2. Shortened codes too, where a root at a position not sent flags the word.
TEST(Engines, UnflaggedFractionOfUniformWordsIsTheDecodingSpheresShare) {
    for (const auto& [m, t, length, blocks] : {std::tuple{3, 2, 0, 200000},
                                               {4, 2, 0, 200000},
                                               {4, 3, 0, 200000},
                                               {5, 2, 0, 100000},
                                               {4, 2, 10, 200000},
                                               {5, 2, 20, 100000}}) {
        const double q = std::ldexp(1.0, m);
        const double n = length > 0 ? length : q - 1.0;
        double volume = 0.0;
        double choose = 1.0;
        for (int s = 0; s <= t; ++s) {
            volume += choose * std::pow(q - 1.0, s);
            choose = choose * (n - s) / (s + 1.0);
        }
        const double exact = volume / std::pow(q, 2 * t);
        MadeEngine made =
            PlanEngine({.m = m, .t = t, .length = length, .largestP0 = 1.0F, .threads = 1}).Make();
        ASSERT_NE(made.engine, nullptr) << made.error;
        PointStatistics statistics;
        made.engine->BoundBlocks(blocks);
        made.engine->StartPoint(static_cast<float>((q - 1.0) / q), 1234);
        while (statistics.blocks < blocks) {
            made.engine->RunBlocks(statistics, blocks);
        }
        const double unflagged = static_cast<double>(blocks - statistics.detectedFailures) / blocks;
        EXPECT_NEAR(unflagged, exact, 4.0 * std::sqrt(exact * (1.0 - exact) / blocks))
            << "M=" << m << " t=" << t << " length " << length;
        EXPECT_LE(statistics.miscorrections, statistics.errorBlocks);
    }
}

TEST(Engines, EveryKernelTargetCountsAsThePlainTwin) {
    const SimulationParameters parameters{0.05F, 0.01F, 0.02F, 3000, 40, 8, 16};
    const SweepText portable = RunSweepWith(parameters, 99, Run::kFast, PlainKernel());
    for (const DrawKernel& kernel : EveryKernel()) {
        EXPECT_EQ(RunSweepWith(parameters, 99, Run::kFast, kernel).statistics, portable.statistics)
            << kernel.name;
    }
}

}  // namespace
}  // namespace rs
