// Randomized differential runs: experiments drawn at random, each run on every thread count,
// repeatedly and with the engine's timing hooks, against one thread. RS_SIM_STRESS_EXPERIMENTS
// sets how many (default 12), RS_SIM_STRESS_REPEATS how often each runs (default 2) and
// RS_SIM_STRESS_SEED the draw (default 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/engine_plan.h"
#include "engine/stratified/stratified_study.h"
#include "random_experiment.h"
#include "rs_sim/simulator.h"
#include "simulator/sweep.h"
#include "stats/channel_model.h"
#include "sweep_harness.h"
#include "test_support.h"

namespace rs {
namespace {

using testing::Simulation;

// How a run makes its engines: threads as -j gives them, the parallel engine's hooks, and
// whether the plan hears of the whole sweep, which runs short points several at once.
struct Variant {
    std::string name;
    int threads;
    SegmentShape shape;
    bool wholeSweep = false;
};

struct SweepRun {
    std::string console;
    std::string results;
    std::vector<PointStatistics> statistics;
};

// The sweep through the engine the program picks for these threads and hooks; the scripted clock
// makes the timing lines identical.
SweepRun RunSweep(const SimulationParameters& p, const Variant& variant) {
    const SweepPlan plan = PlanSweep(p.Pmax, p.Pmin, p.Pstep);
    const EnginePlan enginePlan = PlanEngine({.m = p.M,
                                              .t = p.T,
                                              .largestP0 = p.Pmax,
                                              .threads = variant.threads,
                                              .shape = variant.shape,
                                              .points = variant.wholeSweep ? plan.points.size() : 1,
                                              .pointBlocks = variant.wholeSweep ? p.maxBlocks : 0});
    if (variant.wholeSweep && plan.points.size() > 1) {
        EXPECT_GT(enginePlan.pointsAtOnce, 1) << enginePlan.why;
    }
    std::vector<std::unique_ptr<Engine>> engines;
    for (int i = 0; i < enginePlan.pointsAtOnce; ++i) {
        MadeEngine made = enginePlan.Make();
        if (!made.engine) {
            ADD_FAILURE() << made.error;
            return {};
        }
        engines.push_back(std::move(made.engine));
    }
    testing::CapturingStream console;
    testing::CapturingStream results;
    testing::SecondPerPointCounter counter;
    const auto n = static_cast<std::int32_t>((std::int64_t{1} << p.M) - 1);
    Simulation simulation(p, n, n - 2 * p.T, std::move(engines), console, results, counter);
    SweepRun run;
    simulation.SetPointObserver([&](const PointRecord& record) {
        run.statistics.push_back(record.statistics);
        return std::string();
    });
    EXPECT_TRUE(simulation.RunSweep(plan.points));
    run.console = console.text;
    run.results = results.text;
    return run;
}

TEST(Stress, EveryThreadCountMatchesOneThreadOnRandomExperiments) {
    const std::uint64_t experiments = testing::StressSetting("RS_SIM_STRESS_EXPERIMENTS", 12);
    const std::uint64_t repeats = testing::StressSetting("RS_SIM_STRESS_REPEATS", 2);
    const std::uint64_t seed = testing::StressSetting("RS_SIM_STRESS_SEED", 1);
    // Made-ahead segments cut after one chunk, with small segments and with the usual sizes.
    const std::vector<Variant> variants = {{"-j 2", 2, {}},
                                           {"-j 3", 3, {}},
                                           {"-j 7", 7, {}},
                                           {"-j 2, cut after one chunk", 2, {0, 0, 1}},
                                           {"-j 3, small segments, cut", 3, {64, 2, 1}},
                                           {"-j 2, points at once", 2, {}, true},
                                           {"-j 5, points at once", 5, {}, true}};
    std::mt19937_64 random(seed);
    for (std::uint64_t e = 0; e < experiments; ++e) {
        const SimulationParameters p = testing::RandomExperiment(random);
        const SweepRun one = RunSweep(p, {"-j 1", 1, {}});
        for (std::uint64_t r = 0; r < repeats; ++r) {
            for (const Variant& variant : variants) {
                const SweepRun many = RunSweep(p, variant);
                const bool same = many.console == one.console && many.results == one.results &&
                                  many.statistics == one.statistics;
                ASSERT_TRUE(same) << "RS_SIM_STRESS_SEED=" << seed << ", experiment " << e << ", "
                                  << variant.name << " differs from -j 1 on\n"
                                  << testing::ExperimentFile(p) << "console with " << variant.name
                                  << ":\n"
                                  << many.console << "\nconsole with -j 1:\n"
                                  << one.console;
            }
        }
    }
}

// The stratified method on the same random codes, at their sweep's points that a hundred
// hits reach: every thread count gives one thread's tallies, rounds of sampling included.
TEST(Stress, StratifiedTalliesOfEveryThreadCountMatchOneThread) {
    const std::uint64_t experiments = testing::StressSetting("RS_SIM_STRESS_EXPERIMENTS", 12);
    const std::uint64_t seed = testing::StressSetting("RS_SIM_STRESS_SEED", 1);
    constexpr double kMostHits = 100.0;
    std::mt19937_64 random(seed);
    for (std::uint64_t e = 0; e < experiments; ++e) {
        const SimulationParameters p = testing::RandomExperiment(random);
        const double n = static_cast<double>((std::int64_t{1} << p.M) - 1);
        // Every other study draws its values as a channel flipping bits does.
        const double bitError =
            e % 2 == 1 ? std::uniform_real_distribution<double>(1e-4, 0.3)(random) : 0.0;
        StudyRequest request{.code = {p.M, p.T, 0, p.M <= kLargestTabledField, bitError},
                             .seed = static_cast<std::uint32_t>(e)};
        for (const float P0 : PlanSweep(p.Pmax, p.Pmin, p.Pstep).points) {
            if (P0 > 0.0F && P0 <= 1.0F && n * P0 <= kMostHits) {
                request.points.push_back(P0);
            }
        }
        if (request.points.empty()) {
            continue;
        }
        request.precision = 0.1;
        const StudyResult one = RunStudy(request);
        for (const int threads : {2, 3, 7}) {
            request.threads = threads;
            const StudyResult many = RunStudy(request);
            ASSERT_TRUE(many.tallies == one.tallies && many.lastWeight == one.lastWeight)
                << "RS_SIM_STRESS_SEED=" << seed << ", experiment " << e << ", -j " << threads
                << ", bit error " << bitError << " differs from -j 1 on\n"
                << testing::ExperimentFile(p);
        }
    }
}

// The channels that send frames, drawn at random: every thread count, the literal frames and
// independent points count as the fast frames on one thread. A point's frames are shared in
// batches on threads when fewer points than threads run.
TEST(Stress, FrameChannelsOfEveryThreadCountMatchOneThread) {
    const std::uint64_t experiments = testing::StressSetting("RS_SIM_STRESS_EXPERIMENTS", 12);
    const std::uint64_t seed = testing::StressSetting("RS_SIM_STRESS_SEED", 1);
    std::mt19937_64 random(seed);
    const auto between = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    const auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    using Level = rs_sim::GilbertElliottChannel::Level;
    for (std::uint64_t e = 0; e < experiments; ++e) {
        rs_sim::Experiment experiment;
        const auto m = static_cast<std::int32_t>(between(2, 10));
        const std::int64_t n = (std::int64_t{1} << m) - 1;
        const auto t =
            static_cast<std::int32_t>(between(0, std::min<std::int64_t>((n - 1) / 2, 12)));
        const std::optional<std::int32_t> length =
            between(0, 2) == 0 && n > 2 * t + 1
                ? std::optional<std::int32_t>(static_cast<std::int32_t>(between(2 * t + 1, n)))
                : std::nullopt;
        experiment.code = {m, t, length};
        experiment.interleave = static_cast<std::int32_t>(between(1, 8));
        std::vector<float> points;
        const auto count = between(1, 4);
        switch (between(0, 2)) {
            case 0:
                experiment.channel = rs_sim::BinarySymmetricChannel{};
                for (std::int64_t i = 0; i < count; ++i) {
                    points.push_back(
                        static_cast<float>(std::exp(uniform(std::log(1e-4), std::log(0.3)))));
                }
                break;
            case 1:
                experiment.channel = rs_sim::BpskAwgnChannel{};
                for (std::int64_t i = 0; i < count; ++i) {
                    points.push_back(static_cast<float>(uniform(-2.0, 9.0)));
                }
                break;
            default: {
                const rs_sim::GilbertElliottChannel markov{
                    between(0, 1) == 0 ? Level::kBit : Level::kSymbol, uniform(0.0, 0.01),
                    uniform(0.2, 1.0), std::exp(uniform(0.0, std::log(200.0)))};
                experiment.channel = markov;
                for (std::int64_t i = 0; i < count; ++i) {
                    points.push_back(static_cast<float>(
                        uniform(markov.goodError, std::min(0.3, LargestMarkovErrorRate(markov)))));
                }
            }
        }
        experiment.points = rs_sim::Points::Values(points);
        const auto blocks = static_cast<std::int32_t>(
            between(experiment.interleave, 200000 / (n * (1 + t)) + experiment.interleave));
        experiment.stop = {blocks,
                           static_cast<std::int32_t>(between(0, 1) == 0 ? between(1, 5) : blocks)};
        const auto run = [&](int threads, rs_sim::EngineChoice engine, bool independent) {
            experiment.threads = threads;
            experiment.engine = engine;
            experiment.independentPoints = independent;
            const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
            EXPECT_TRUE(results) << results.error;
            std::vector<rs_sim::Counts> counts;
            for (const rs_sim::PointResult& point :
                 results ? results.value->points : std::vector<rs_sim::PointResult>{}) {
                counts.push_back(point.counts);
            }
            return counts;
        };
        const std::vector<rs_sim::Counts> one = run(1, rs_sim::EngineChoice::kFast, false);
        ASSERT_EQ(one.size(), points.size());
        ASSERT_EQ(run(1, rs_sim::EngineChoice::kReference, false), one)
            << "RS_SIM_STRESS_SEED=" << seed << ", experiment " << e
            << ": the literal frames differ";
        for (const int threads : {2, 3, 5}) {
            ASSERT_EQ(run(threads, rs_sim::EngineChoice::kFast, threads == 3), one)
                << "RS_SIM_STRESS_SEED=" << seed << ", experiment " << e << ", -j " << threads
                << " differs from -j 1 on " << rs_sim::ChannelName(experiment.channel) << " M=" << m
                << " T=" << t << " I=" << experiment.interleave;
        }
    }
}

}  // namespace
}  // namespace rs
