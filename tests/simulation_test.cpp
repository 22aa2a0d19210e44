#include "simulator/sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/engine_plan.h"
#include "engine/reference_engine.h"
#include "random/random_generator.h"
#include "report/text/number_format.h"
#include "sweep_harness.h"
#include "test_support.h"

namespace rs {
namespace {

using testing::Simulation;

using testing::CapturingStream;
using testing::ScriptedCounter;

std::vector<std::string> Formatted(const std::vector<float>& points) {
    std::vector<std::string> text;
    for (const float p : points) {
        text.push_back(FormatScientific2(static_cast<double>(p)));
    }
    return text;
}

struct SweepCase {
    float Pmax;
    float Pmin;
    float Pstep;
    std::vector<std::string> points;
};

TEST(PlanSweep, StepsDownInSinglePrecisionWithTheEndTestInDouble) {
    const SweepCase cases[] = {
        {0.1F,
         0.01F,
         0.01F,
         {"1.00e-001", "9.00e-002", "8.00e-002", "7.00e-002", "6.00e-002", "5.00e-002", "4.00e-002",
          "3.00e-002", "2.00e-002", "1.00e-002"}},
        // 0.025f - 0.005f lies just below 0.02f in double, although it rounds to it.
        {0.03F, 0.02F, 0.005F, {"3.00e-002", "2.50e-002"}},
        {0.05F, 0.05F, 0.01F, {"5.00e-002"}},
        {0.01F, 0.02F, 0.01F, {}},
        {0.01F, 0.02F, -1.0F, {}},
        {1.5F, 0.0F, 1.0F, {"1.50e+000", "5.00e-001"}},
    };
    for (const SweepCase& c : cases) {
        const SweepPlan plan = PlanSweep(c.Pmax, c.Pmin, c.Pstep);
        EXPECT_TRUE(plan.error.empty()) << c.Pmax << " " << plan.error;
        EXPECT_EQ(Formatted(plan.points), c.points) << c.Pmax << " " << c.Pmin << " " << c.Pstep;
    }
}

TEST(PlanSweep, RejectsSweepsThatWouldNeverEnd) {
    struct RejectedCase {
        float Pmax;
        float Pmin;
        float Pstep;
        const char* error;
    };
    const RejectedCase cases[] = {
        {0.1F, 0.01F, 0.0F, "Pstep=0 does not lower P0 towards Pmin: the sweep would never end"},
        {0.05F, 0.05F, 0.0F, "Pstep=0 does not lower P0 towards Pmin: the sweep would never end"},
        {0.1F, 0.01F, -0.01F,
         "Pstep=-0.01 does not lower P0 towards Pmin: the sweep would never end"},
        // Steps below half a unit in the last place of P0 vanish in single precision.
        {0.5F, 0.1F, 1e-9F,
         "Pstep=1e-09 is too small to lower P0 from 0.5 in single precision: the sweep would "
         "never end"},
        // Fine at first, stuck once P0 has grown large enough; here it never moves.
        {20000000.0F, 0.0F, 1.0F,
         "Pstep=1 is too small to lower P0 from 2e+07 in single precision: the sweep would "
         "never end"},
        {1.0F, 0.0F, 1e-7F,
         "the sweep from Pmax=1 down to Pmin=0 in steps of Pstep=1e-07 has more than 1000000 "
         "points"},
    };
    for (const RejectedCase& c : cases) {
        const SweepPlan plan = PlanSweep(c.Pmax, c.Pmin, c.Pstep);
        EXPECT_EQ(plan.error, c.error);
        EXPECT_TRUE(plan.points.empty());
    }
}

TEST(PointReport, ComputesRatesFromTheCounts) {
    PointStatistics channel{100, 0, 510, 0};
    EXPECT_EQ(FormatScientific2(ComputeRates(channel, 255, 223).channelSER), "2.00e-002");

    PointStatistics symbols{1000, 1, 0, 3};
    const PointRates rates = ComputeRates(symbols, 255, 223);
    EXPECT_EQ(rates.transmittedSymbols, 223000);
    EXPECT_EQ(FormatScientific2(rates.SER), "1.35e-005");
    EXPECT_EQ(FormatScientific2(rates.FER), "1.00e-003");

    PointStatistics allWrong{37, 37, 1000, 500};
    EXPECT_EQ(FormatScientific2(ComputeRates(allWrong, 255, 223).FER), "1.00e+000");

    // Products beyond 32 bits must not wrap: 10^7 blocks of 255 symbols.
    PointStatistics longPoint{10000000, 0, 2550000000LL, 4460000000LL};
    const PointRates longRates = ComputeRates(longPoint, 255, 223);
    EXPECT_EQ(longRates.transmittedSymbols, 2230000000LL);
    EXPECT_EQ(FormatScientific2(longRates.channelSER), "1.00e+000");
    EXPECT_EQ(FormatScientific2(longRates.SER), "2.00e+000");

    const PointRates none = ComputeRates(PointStatistics{}, 255, 223);
    EXPECT_TRUE(std::isnan(none.channelSER));
    EXPECT_TRUE(std::isnan(none.FER));
    EXPECT_TRUE(std::isnan(none.SER));
    EXPECT_EQ(none.transmittedSymbols, 0);
}

TEST(PointReport, TimesInSecondsAndSpeedsInThousandsOfInformationSymbols) {
    EXPECT_DOUBLE_EQ(ExperimentTime(1000, 2000001000, 1000000000), 2.0);
    EXPECT_DOUBLE_EQ(ExperimentTime(5, 5 + 3579545, 3579545), 1.0);
    EXPECT_EQ(FormatFixed2(TransmittingSpeed(1000, 223, 2.0)), "111.50");
    EXPECT_EQ(FormatFixed2(TransmittingSpeed(0, 223, 0.25)), "0.00");
    // No block, so no speed, even when the clock did not move.
    EXPECT_EQ(FormatFixed2(TransmittingSpeed(0, 223, 0.0)), "0.00");
}

// A configured codec, generator and captured streams, ready to run points.
class SimulationTest : public ::testing::Test {
  protected:
    void Build(const SimulationParameters& parameters) {
        codec.Configure(parameters.M, parameters.T);
        ASSERT_TRUE(codec.IsReady());
        generator.Seed(kSeed);
        simulation.emplace(parameters, codec.GetN(), codec.GetK(),
                           std::make_unique<ReferenceEngine>(
                               codec, generator, BlockArrays(codec.GetN(), codec.GetK()),
                               std::int32_t{1} << parameters.M),
                           console, results, counter);
    }

    static std::size_t Stars(const std::string& text) {
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '*'));
    }

    ReedSolomonCodec codec;
    RandomGenerator generator;
    CapturingStream console;
    CapturingStream results;
    ScriptedCounter counter{{0}, 1000000000};
    std::optional<Simulation> simulation;
};

TEST_F(SimulationTest, WritesTheWholePointInOrderAndTimesOnlyBlocksAndStatistics) {
    Build({0.5F, 0.5F, 0.1F, 7, 1000, 4, 2});
    counter = ScriptedCounter({1000, 2000001000}, 1000000000);
    std::size_t consoleAtStart = 0;
    std::size_t resultsAtStop = 0;
    counter.onCount = [&] {
        if (counter.reads == 1) {
            consoleAtStart = console.text.size();
        } else {
            resultsAtStop = results.text.size();
        }
    };

    ASSERT_TRUE(simulation->RunPoint(0.5F));
    const PointStatistics& s = simulation->Statistics();
    ASSERT_EQ(s.blocks, 7);

    const std::string heading = "\nP0=5.00e-001\n0%       Please wait      100%\n";
    const std::string statistics =
        "\nChannel SER=" + FormatScientific2(static_cast<double>(s.channelErrors) / (7 * 15)) +
        "\nTransmitted blocks=7      Error blocks=" + std::to_string(s.errorBlocks) +
        "      FER=" + FormatScientific2(s.errorBlocks / 7.0) + "\nTransmitted symbols=77" +
        "   Error symbols=" + std::to_string(s.errorSymbols) +
        "   SER=" + FormatScientific2(static_cast<double>(s.errorSymbols) / 77.0);
    const std::string timing =
        "\nExperiment time=2.00 seconds\nTransmitting speed=0.04 KSymbols/second\n";
    EXPECT_EQ(console.text, heading + std::string(30, '*') + statistics + timing);
    EXPECT_EQ(results.text, "\nP0=5.00e-001   " + statistics + timing);

    EXPECT_EQ(counter.reads, 2);
    EXPECT_EQ(consoleAtStart, heading.size());
    EXPECT_EQ(resultsAtStop, ("\nP0=5.00e-001   " + statistics).size());
    EXPECT_EQ(results.flushes, 1);
    EXPECT_EQ(console.writes, 2 + 30 + 6 + 2);  // one write per star
}

// Both streams' writes in one sequence: the console's piece by piece before the results
// file's, and the clock read between the statistics and the time lines.
TEST_F(SimulationTest, WritesTheConsoleBeforeTheResultsFileAroundTheClock) {
    Build({0.5F, 0.5F, 0.1F, 7, 1000, 4, 2});
    std::string order;
    console.onWrite = [&](std::string_view piece) {
        if (piece != "*") {
            order += 'c';
        }
    };
    results.onWrite = [&](std::string_view) { order += 'r'; };
    counter.onCount = [&] { order += '|'; };
    ASSERT_TRUE(simulation->RunPoint(0.5F));
    // Heading, clock, statistics to the console, P0 and statistics to the results file, clock,
    // the two time lines to each.
    EXPECT_EQ(order, "cc|ccccccrrrrrrr|ccrr");
}

TEST_F(SimulationTest, ErrorFreeChannelRunsEveryBlockCleanly) {
    Build({0.0F, 0.0F, 0.1F, 50, 1, 8, 16});
    ASSERT_TRUE(simulation->RunPoint(0.0F));
    const PointStatistics& s = simulation->Statistics();
    EXPECT_EQ(s.blocks, 50);
    EXPECT_EQ(s.errorBlocks, 0);
    EXPECT_EQ(s.channelErrors, 0);
    EXPECT_EQ(s.errorSymbols, 0);
    EXPECT_EQ(Stars(console.text), 30U);
    EXPECT_NE(results.text.find("\nChannel SER=0.00e+000\n"), std::string::npos);
}

TEST_F(SimulationTest, ProbabilityAboveOneHitsEverySymbol) {
    Build({1.5F, 1.5F, 0.1F, 20, 1000, 4, 2});
    ASSERT_TRUE(simulation->RunPoint(1.5F));
    const PointStatistics& s = simulation->Statistics();
    EXPECT_EQ(s.channelErrors, 20 * 15);
    EXPECT_NE(results.text.find("\nChannel SER=1.00e+000\n"), std::string::npos);
}

TEST_F(SimulationTest, LimitsOfZeroOrLessRunNoBlockButStillReport) {
    for (const auto& [maxBlocks, maxErrorBlocks] :
         {std::pair{0, 10}, std::pair{10, 0}, std::pair{-3, 10}, std::pair{10, -1}}) {
        console.text.clear();
        results.text.clear();
        Build({0.1F, 0.1F, 0.1F, maxBlocks, maxErrorBlocks, 4, 2});
        ASSERT_TRUE(simulation->RunPoint(0.1F));
        EXPECT_EQ(console.text.find('*'), std::string::npos);
        EXPECT_TRUE(
            console.text.starts_with("\nP0=1.00e-001\n0%       Please wait      100%\n\n"
                                     "Channel SER=nan\n"))
            << console.text;
        EXPECT_NE(results.text.find("\nChannel SER=nan\nTransmitted blocks=0      Error blocks=0"
                                    "      FER=nan\nTransmitted symbols=0   Error symbols=0"
                                    "   SER=nan\n"),
                  std::string::npos);
        EXPECT_NE(results.text.find("Transmitting speed=0.00 KSymbols/second\n"),
                  std::string::npos);
    }
}

// For a bar that follows count towards limit: the count at which each of the 30 stars is due,
// star s once floor(30 count / limit) reaches s.
std::vector<std::int32_t> StarsDue(std::int32_t limit) {
    std::vector<std::int32_t> due;
    for (std::int32_t count = 1, shown = 0; count <= limit; ++count) {
        for (; shown < (kBarWidth * count) / limit; ++shown) {
            due.push_back(count);
        }
    }
    return due;
}

// Records, at every star, how many blocks and error blocks had run.
struct StarLog {
    std::vector<std::int32_t> blocks;
    std::vector<std::int32_t> errorBlocks;
};

TEST_F(SimulationTest, BarFollowsTheBlockLimitWhenItIsNearer) {
    // Small and large limits: the engine must stop at every block a star is due.
    for (const std::int32_t maxBlocks : {7, 1000, 4093}) {
        Build({0.0F, 0.0F, 0.1F, maxBlocks, 3, 4, 2});
        StarLog log;
        console.onWrite = [&](std::string_view piece) {
            if (piece == "*") {
                log.blocks.push_back(simulation->Statistics().blocks);
            }
        };
        ASSERT_TRUE(simulation->RunPoint(0.0F));
        EXPECT_EQ(log.blocks, StarsDue(maxBlocks)) << maxBlocks;
    }
}

TEST_F(SimulationTest, BarFollowsTheErrorLimitWhenItComesFirst) {
    // Every block of the n = 15, t = 1 code fails at P0 = 0.6, so error blocks lead.
    Build({0.6F, 0.6F, 0.1F, 1000000, 4, 4, 1});
    StarLog log;
    console.onWrite = [&](std::string_view piece) {
        if (piece == "*") {
            log.errorBlocks.push_back(simulation->Statistics().errorBlocks);
        }
    };
    ASSERT_TRUE(simulation->RunPoint(0.6F));
    const PointStatistics& s = simulation->Statistics();
    EXPECT_EQ(s.errorBlocks, 4);
    EXPECT_LT(s.blocks, 1000000);
    ASSERT_EQ(log.errorBlocks.size(), 30U);
    // Stars come in groups of 7 or 8 as each error block raises floor(30 e / 4).
    EXPECT_EQ(log.errorBlocks, StarsDue(4));
}

TEST_F(SimulationTest, SweepIsReproducibleAndPointsDoNotDependOnTheirPredecessors) {
    const SimulationParameters parameters{0.03F, 0.02F, 0.005F, 300, 20, 8, 16};
    Build(parameters);
    const SweepPlan plan = PlanSweep(parameters.Pmax, parameters.Pmin, parameters.Pstep);
    ASSERT_EQ(plan.points.size(), 2U);
    ASSERT_TRUE(simulation->RunSweep(plan.points));
    const std::string firstRun = results.text;

    results.text.clear();
    ASSERT_TRUE(simulation->RunSweep(plan.points));
    auto withoutTimes = [](const std::string& text) {
        std::string kept;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            const std::string line = text.substr(start, end - start);
            if (!line.starts_with("Experiment time=") && !line.starts_with("Transmitting speed=")) {
                kept += line + "\n";
            }
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return kept;
    };
    EXPECT_EQ(withoutTimes(results.text), withoutTimes(firstRun));

    // The second point of the sweep, run on its own after unrelated draws.
    const std::string secondPoint = firstRun.substr(firstRun.find("\nP0=2.50e-002"));
    results.text.clear();
    generator.Seed(99);
    generator.NextRaw();
    ASSERT_TRUE(simulation->RunPoint(plan.points[1]));
    EXPECT_EQ(withoutTimes(results.text), withoutTimes(secondPoint));
}

TEST_F(SimulationTest, SweepStopsWhenResultsCannotBeWritten) {
    Build({0.1F, 0.05F, 0.01F, 5, 5, 4, 2});
    results.failFlush = true;
    const SweepPlan plan = PlanSweep(0.1F, 0.05F, 0.01F);
    ASSERT_GT(plan.points.size(), 1U);
    EXPECT_FALSE(simulation->RunSweep(plan.points));
    EXPECT_EQ(results.flushes, 1);
}

// With independent points, point i of a sweep counts as a lone point started from the seed's
// stream jumped ahead by i x 2^40 draws, on one engine, on engines running points at once, and
// numbered from a resumed run's first point. The reference engine is the guard.
TEST(IndependentPoints, PointIEqualsALonePointFromTheJumpedState) {
    const SimulationParameters p{0.3F, 0.1F, 0.1F, 400, 30, 4, 2};
    const std::vector<float> points = PlanSweep(p.Pmax, p.Pmin, p.Pstep).points;
    ASSERT_EQ(points.size(), 3U);
    const auto engines = [&](int count, bool reference) {
        std::vector<std::unique_ptr<Engine>> made;
        for (int i = 0; i < count; ++i) {
            made.push_back(PlanEngine({.m = p.M, .t = p.T, .reference = reference}).Make().engine);
        }
        return made;
    };
    const auto sweep = [&](std::vector<std::unique_ptr<Engine>> made, std::size_t first) {
        testing::CapturingStream console;
        testing::CapturingStream results;
        testing::SecondPerPointCounter counter;
        Simulation simulation(p, 15, 11, std::move(made), console, results, counter);
        simulation.SetIndependentPoints(first);
        std::vector<PointStatistics> counts;
        simulation.SetPointObserver([&](const PointRecord& record) {
            counts.push_back(record.statistics);
            return std::string();
        });
        EXPECT_TRUE(simulation.RunSweep(std::span(points).subspan(first)));
        return counts;
    };
    std::vector<PointStatistics> alone;
    for (std::size_t i = 0; i < points.size(); ++i) {
        auto engine = std::move(engines(1, true).front());
        engine->StartPointAt(points[i], JumpAhead::Instance().Advance(SeededState(kSeed), i << 40));
        PointStatistics statistics;
        while (statistics.blocks < p.maxBlocks && statistics.errorBlocks < p.maxErrorBlocks) {
            engine->RunBlocks(statistics, p.maxBlocks);
        }
        alone.push_back(statistics);
    }
    EXPECT_EQ(sweep(engines(1, false), 0), alone);
    EXPECT_EQ(sweep(engines(3, false), 0), alone);
    EXPECT_EQ(sweep(engines(1, false), 1), std::vector(alone.begin() + 1, alone.end()));
    // Not the classic run's counts, whose points all start from the seed.
    auto classic = std::move(engines(1, true).front());
    classic->StartPoint(points[1], kSeed);
    PointStatistics first;
    while (first.blocks < p.maxBlocks && first.errorBlocks < p.maxErrorBlocks) {
        classic->RunBlocks(first, p.maxBlocks);
    }
    EXPECT_NE(first, alone[1]);
}

}  // namespace
}  // namespace rs
