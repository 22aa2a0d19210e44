// The channels that send frames: the literal frames and the fast ones count alike, on points
// dense enough to decode most codewords and miscorrect some, and the sampling rule draws the
// channel's exact probabilities.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/channel/frame_engine.h"
#include "engine/engine_plan.h"
#include "rs_sim/experiment.h"
#include "rs_sim/remote.h"
#include "rs_sim/simulator.h"
#include "stats/bounded_distance.h"
#include "stats/channel_model.h"
#include "stats/confidence_interval.h"

namespace rs {
namespace {

using rs_sim::BinarySymmetricChannel;
using rs_sim::BpskAwgnChannel;
using rs_sim::GilbertElliottChannel;
using rs_sim::QarySymmetricChannel;

GilbertElliottChannel Markov(GilbertElliottChannel::Level level, double burst,
                             double goodError = 0.0, double badError = 0.5) {
    return {level, goodError, badError, burst};
}

struct FrameCase {
    std::string name;
    rs_sim::Channel channel;
    std::int32_t m;
    std::int32_t t;
    std::int32_t length;  // 0: the full length
    std::int32_t interleave;
    float P0;
    std::int32_t blocks;
    FrameReceiver receiver = {};
};

// Runs blocks codewords of a point, as the sweep does: the engine returns after each wrong one.
PointStatistics RunPoint(const FrameCase& c, bool reference, std::int32_t seed,
                         std::uint32_t point) {
    const EnginePlan plan = PlanEngine({.m = c.m,
                                        .t = c.t,
                                        .length = c.length,
                                        .channel = c.channel,
                                        .interleave = c.interleave,
                                        .receiver = c.receiver,
                                        .largestP0 = c.P0,
                                        .reference = reference});
    EXPECT_EQ(plan.error, "");
    MadeEngine made = plan.Make();
    EXPECT_TRUE(made.engine) << made.error;
    PointStatistics statistics;
    made.engine->StartPointAt(c.P0, FramePointKey(seed, point));
    if (!reference) {
        while (statistics.blocks < c.blocks) {
            made.engine->RunBlocks(statistics, c.blocks);
        }
        return statistics;
    }
    // The literal run goes a codeword at a time, so that each frame's wrong symbols, and the
    // sum of their squares the SER's interval needs, can be had from the counts alone.
    std::int64_t squares = 0;
    std::int64_t frameSymbols = 0;
    while (statistics.blocks < c.blocks) {
        const std::int64_t before = statistics.errorSymbols;
        made.engine->RunBlocks(statistics, statistics.blocks + 1);
        frameSymbols += statistics.errorSymbols - before;
        if (statistics.blocks % c.interleave == 0 || statistics.blocks == c.blocks) {
            squares += frameSymbols * frameSymbols;
            frameSymbols = 0;
        }
    }
    EXPECT_EQ(statistics.errorSymbolSquares, squares) << c.name;
    return statistics;
}

TEST(FrameEngine, LiteralAndFastFramesCountAlike) {
    using Level = GilbertElliottChannel::Level;
    const FrameCase cases[] = {
        {"binary RS(15,11)", BinarySymmetricChannel{}, 4, 2, 0, 1, 0.03F, 3000},
        {"binary RS(15,11) miscorrecting", BinarySymmetricChannel{}, 4, 2, 0, 1, 0.2F, 2000},
        {"binary RS(7,5) I=3", BinarySymmetricChannel{}, 3, 1, 0, 3, 0.1F, 3000},
        {"binary RS(12,8) shortened I=2", BinarySymmetricChannel{}, 4, 2, 12, 2, 0.06F, 3000},
        {"bpsk RS(15,11) I=2", BpskAwgnChannel{}, 4, 2, 0, 2, 2.0F, 3000},
        {"bpsk RS(63,55) dense", BpskAwgnChannel{}, 6, 4, 0, 1, -1.0F, 1000},
        {"markov bit RS(15,11) I=2", Markov(Level::kBit, 8.0), 4, 2, 0, 2, 0.05F, 3000},
        {"markov bit RS(15,11) leaky", Markov(Level::kBit, 3.0, 0.01, 0.3), 4, 2, 0, 4, 0.05F,
         3000},
        {"markov symbol RS(31,25) I=4", Markov(Level::kSymbol, 5.0, 0.02, 0.6), 5, 3, 0, 4, 0.08F,
         2000},
        {"markov symbol every step", Markov(Level::kSymbol, 1.0, 0.0, 1.0), 3, 1, 0, 2, 0.5F, 500},
        {"markov bit RS(255,223) I=4", Markov(Level::kBit, 100.0), 8, 16, 0, 4, 0.01F, 400},
        {"binary M=10 shortened", BinarySymmetricChannel{}, 10, 5, 100, 2, 0.005F, 1000},
        // Erasures: dense, miscorrecting, beyond 2t, punctured, delivering received blocks.
        {"erasures RS(15,11)", QarySymmetricChannel{0.1}, 4, 2, 0, 1, 0.03F, 3000},
        {"erasures RS(15,11) miscorrecting", QarySymmetricChannel{0.05}, 4, 2, 0, 1, 0.3F, 2000},
        {"erasures RS(7,3) beyond 2t",
         QarySymmetricChannel{0.4},
         3,
         2,
         0,
         2,
         0.1F,
         2000,
         {0, true}},
        {"erasures RS(31,25) punctured received",
         QarySymmetricChannel{0.04},
         5,
         3,
         0,
         3,
         0.08F,
         2000,
         {2, true}},
        {"erasures shortened RS(12,8) punctured 2t",
         QarySymmetricChannel{0.02},
         4,
         2,
         12,
         2,
         0.05F,
         2000,
         {4, false}},
        {"binary RS(31,27) punctured received",
         BinarySymmetricChannel{},
         5,
         2,
         0,
         2,
         0.01F,
         2000,
         {3, true}},
        {"bpsk RS(63,55) punctured", BpskAwgnChannel{}, 6, 4, 0, 1, 1.0F, 1000, {5, false}},
        // Erasures below a threshold: a symbol's wrong bits before or after an unreliable one.
        {"threshold RS(15,11) dense I=2", BpskAwgnChannel{0.3}, 4, 2, 0, 2, 1.0F, 3000},
        {"threshold RS(15,11) miscorrecting", BpskAwgnChannel{0.05}, 4, 2, 0, 1, -4.0F, 2000},
        {"threshold best RS(63,55) punctured",
         BpskAwgnChannel{BpskAwgnChannel::BestThreshold{}},
         6,
         4,
         0,
         1,
         2.0F,
         1000,
         {3, false}},
        {"threshold RS(31,27) received I=3",
         BpskAwgnChannel{0.6},
         5,
         2,
         0,
         3,
         2.0F,
         2000,
         {0, true}},
    };
    for (const FrameCase& c : cases) {
        const PointStatistics literal = RunPoint(c, true, 7, 3);
        const PointStatistics fast = RunPoint(c, false, 7, 3);
        EXPECT_EQ(literal, fast) << c.name;
        // The point must be dense enough to test decoding, not only error-free codewords.
        EXPECT_GT(literal.errorBlocks, 0) << c.name;
        EXPECT_GT(literal.channelBitErrors, literal.channelErrors - 1) << c.name;
        if (c.name.find("miscorrecting") != std::string::npos) {
            EXPECT_GT(literal.miscorrections, 0) << c.name;
        }
        if (rs_sim::Erases(c.channel)) {
            EXPECT_GT(literal.channelErasures, 0) << c.name;
        }
        if (c.receiver.deliverReceived) {
            EXPECT_GT(literal.detectedFailures, 0) << c.name;
        }
    }
}

// Every frame is a function of (seed, point, frame): threads (points at once, or a crew
// sharing one point's frames in batches), independent points and the engine change nothing.
TEST(FrameEngine, SweepCountsAreTheSameOnAnyThreadsAndEngine) {
    using Level = GilbertElliottChannel::Level;
    struct Case {
        rs_sim::Channel channel;
        std::vector<float> points;
        rs_sim::StopRules stop;
        std::int32_t puncture = 0;
        rs_sim::Experiment::OnFailure onFailure = rs_sim::Experiment::OnFailure::kDecoded;
    };
    const Case cases[] = {
        {BinarySymmetricChannel{}, {0.06F, 0.04F, 0.04F, 0.02F}, {3000, 40}},
        {QarySymmetricChannel{0.08},
         {0.1F, 0.05F, 0.05F},
         {3000, 40},
         1,
         rs_sim::Experiment::OnFailure::kReceived},
        {Markov(Level::kBit, 20.0), {0.06F, 0.04F, 0.04F, 0.02F}, {3000, 40}},
        // One long point: its frames are shared, in batches that grow with it.
        {Markov(Level::kSymbol, 4.0), {0.03F}, {30000, 2000}},
    };
    for (const Case& c : cases) {
        rs_sim::Experiment experiment;
        experiment.code = {4, 2, {}};
        experiment.points = rs_sim::Points::Values(c.points);
        experiment.stop = c.stop;
        experiment.channel = c.channel;
        experiment.interleave = 3;
        experiment.puncture = c.puncture;
        experiment.onFailure = c.onFailure;
        std::vector<std::vector<rs_sim::Counts>> runs;
        for (const int threads : {1, 2, 3}) {
            for (const bool independent : {false, true}) {
                for (const auto engine :
                     {rs_sim::EngineChoice::kFast, rs_sim::EngineChoice::kReference}) {
                    experiment.threads = threads;
                    experiment.independentPoints = independent;
                    experiment.engine = engine;
                    const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
                    ASSERT_TRUE(results) << results.error;
                    std::vector<rs_sim::Counts> counts;
                    for (const rs_sim::PointResult& point : results.value->points) {
                        counts.push_back(point.counts);
                    }
                    runs.push_back(counts);
                }
            }
        }
        for (const auto& run : runs) {
            EXPECT_EQ(run, runs.front()) << rs_sim::ChannelName(c.channel);
        }
        if (c.points.size() > 2) {
            // Each point's stream is its own: two points at one P0 do not repeat each other.
            EXPECT_NE(runs.front()[1], runs.front()[2]);
        }
    }
}

// A lane of "another process" served in this one: what it is sent, a lane server answers.
class InProcessLane final : public rs_sim::RemoteLane {
  public:
    explicit InProcessLane(const rs_sim::RemoteCode& code) : server(code) {}
    void Send(const rs_sim::Words& words) override { reply = server.Serve(words); }
    rs_sim::Words Receive() override { return reply.value_or(rs_sim::Words{}); }
    [[noreturn]] void Fail(const std::string& why) override {
        ADD_FAILURE() << why;
        std::abort();
    }

  private:
    rs_sim::LaneServer server;
    std::optional<rs_sim::Words> reply;
};

// Frames filled by other processes' lanes count as those filled here.
TEST(FrameEngine, LanesOfOtherProcessesFillTheSameFrames) {
    rs_sim::Experiment bursts;
    bursts.code = {6, 3, 50};
    bursts.channel = Markov(GilbertElliottChannel::Level::kSymbol, 6.0, 0.01, 0.7);
    bursts.interleave = 5;
    bursts.points = rs_sim::Points::Values({0.05F, 0.1F});
    bursts.stop = {20000, 500};
    rs_sim::Experiment erasures = bursts;
    erasures.channel = QarySymmetricChannel{0.06};
    erasures.puncture = 2;
    erasures.onFailure = rs_sim::Experiment::OnFailure::kReceived;
    rs_sim::Experiment threshold = erasures;
    threshold.channel = BpskAwgnChannel{0.2};
    threshold.points = rs_sim::Points::Values({3.0F, 4.0F});
    for (rs_sim::Experiment experiment : {bursts, erasures, threshold}) {
        const rs_sim::Expected<rs_sim::Results> here = rs_sim::Simulate(experiment);
        ASSERT_TRUE(here) << here.error;
        for (const int lanes : {1, 3}) {
            auto workers = std::make_shared<rs_sim::RemoteWorkers>();
            workers->connect = [lanes](const rs_sim::RemoteCode& code) {
                std::vector<std::unique_ptr<rs_sim::RemoteLane>> made;
                for (int lane = 0; lane < lanes; ++lane) {
                    made.push_back(std::make_unique<InProcessLane>(code));
                }
                return made;
            };
            experiment.threads = 2;
            rs_sim::Expected<rs_sim::Simulator> simulator =
                rs_sim::Simulator::Make(experiment, {.memory = {}, .remote = workers});
            ASSERT_TRUE(simulator) << simulator.error;
            const rs_sim::Expected<rs_sim::Results> there = simulator.value->Run();
            ASSERT_TRUE(there) << there.error;
            ASSERT_EQ(there.value->points.size(), here.value->points.size());
            for (std::size_t i = 0; i < here.value->points.size(); ++i) {
                EXPECT_EQ(there.value->points[i].counts, here.value->points[i].counts)
                    << rs_sim::ChannelName(experiment.channel) << " lanes " << lanes;
            }
        }
    }
}

// A frame's errors are held while it is split: a dense point in long frames needs memory the
// run is refused without, before anything runs, and a sparse one does not.
TEST(FrameEngine, DenseLongFramesAreRefusedWithoutTheMemory) {
    rs_sim::Experiment experiment;
    experiment.code = {16, 8, {}};
    experiment.channel = BinarySymmetricChannel{};
    experiment.interleave = 64;
    experiment.stop = {64, 1};
    const std::uint64_t budget = std::uint64_t{200} << 20U;
    experiment.points = rs_sim::Points::Values({0.5F});
    const auto dense = rs_sim::Simulator::Make(experiment, {.memory = budget, .remote = {}});
    EXPECT_NE(dense.error.find("of memory"), std::string::npos) << dense.error;
    experiment.points = rs_sim::Points::Values({1e-6F});
    const auto sparse = rs_sim::Simulator::Make(experiment, {.memory = budget, .remote = {}});
    EXPECT_TRUE(sparse) << sparse.error;
}

// Memoryless channels: each point's FER within its interval of the bounded-distance FER, the
// binomial tail at the channel's symbol error probability. The intervals are 99.99 % ones, so
// that twelve points fail together about once in 10^3 runs of a correct engine.
TEST(FrameEngine, MemorylessFerMatchesTheBinomialTheory) {
    struct Case {
        std::int32_t m;
        std::int32_t t;
        std::optional<std::int32_t> length;
        rs_sim::Channel channel;
        std::vector<float> points;
    };
    const Case cases[] = {
        {4, 2, {}, BinarySymmetricChannel{}, {0.01F, 0.02F, 0.04F}},
        {8, 16, {}, BpskAwgnChannel{}, {5.5F, 5.8F, 6.1F}},
        {8, 8, 204, BinarySymmetricChannel{}, {0.002F, 0.0025F, 0.003F}},
        {10, 10, {}, BpskAwgnChannel{}, {7.0F, 7.3F, 7.6F}},
    };
    for (const Case& c : cases) {
        rs_sim::Experiment experiment;
        experiment.code = {c.m, c.t, c.length};
        experiment.channel = c.channel;
        experiment.interleave = 2;
        experiment.points = rs_sim::Points::Values(c.points);
        experiment.stop = {20000, 400};
        experiment.threads = 2;
        const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
        ASSERT_TRUE(results) << results.error;
        for (const rs_sim::PointResult& point : results.value->points) {
            const Interval wide =
                ClopperPearson(point.counts.errorBlocks, point.counts.blocks, 0.9999);
            EXPECT_GE(point.theoryFER, wide.low)
                << "M=" << c.m << " T=" << c.t << " P0 " << point.P0;
            EXPECT_LE(point.theoryFER, wide.high)
                << "M=" << c.m << " T=" << c.t << " P0 " << point.P0;
            EXPECT_GT(point.counts.errorBlocks, 20) << "M=" << c.m << " P0 " << point.P0;
        }
    }
}

// Bursts: RS(255,223) behind a Gilbert-Elliott channel at bit level, bursts of 100 bits, half
// their bits wrong. At each interleaving depth the FER's 99.99 % interval over frames holds the
// chain's exact FER; at depth 1 it excludes the binomial FER at the same symbol error rate.
TEST(FrameEngine, BurstyFerMatchesTheChainsExactFer) {
    const GilbertElliottChannel channel = Markov(GilbertElliottChannel::Level::kBit, 100.0);
    for (const std::int32_t interleave : {1, 2, 4, 8}) {
        rs_sim::Experiment experiment;
        experiment.code = {8, 16, {}};
        experiment.channel = channel;
        experiment.interleave = interleave;
        experiment.points = rs_sim::Points::Values({0.004F});
        experiment.stop = {40000, 300};
        experiment.threads = 2;
        const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
        ASSERT_TRUE(results) << results.error;
        const rs_sim::PointResult& point = results.value->points.front();
        const rs_sim::Counts& counts = point.counts;
        const Interval wide = ClusteredInterval(counts.errorBlocks, counts.blocks,
                                                counts.errorBlockSquares, interleave, 0.9999);
        EXPECT_GE(point.theoryFER, wide.low) << "I=" << interleave;
        EXPECT_LE(point.theoryFER, wide.high) << "I=" << interleave;
        EXPECT_GT(counts.errorBlocks, 20) << "I=" << interleave;
        if (interleave == 1) {
            const ChannelAt at = ModelChannel(channel, {8, 255, 16, 0}, 0.004);
            const double binomial =
                BoundedDistanceBlockErrorProbability(255, 16, at.model->SymbolErrorProbability(8));
            EXPECT_TRUE(binomial < wide.low || binomial > wide.high) << binomial;
        }
    }
}

// The interval over frames holds the chain's exact FER in 93 to 99 % of 1000 runs of a 95 %
// interval (a correct one falls outside that range about once in 500 times).
TEST(FrameEngine, IntervalOverFramesCoversTheExactFer) {
    rs_sim::Experiment experiment;
    experiment.code = {4, 2, {}};
    experiment.channel = Markov(GilbertElliottChannel::Level::kBit, 60.0);
    experiment.interleave = 4;
    experiment.points = rs_sim::Points::Values({0.01F});
    experiment.stop = {2000, 2000};
    int covered = 0;
    constexpr int kRuns = 1000;
    double exact = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        experiment.seed = run;
        const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
        ASSERT_TRUE(results) << results.error;
        const rs_sim::PointResult& point = results.value->points.front();
        exact = point.theoryFER;
        covered += point.FERLow <= exact && exact <= point.FERHigh ? 1 : 0;
    }
    EXPECT_GE(covered, 930) << "exact FER " << exact;
    EXPECT_LE(covered, 990) << "exact FER " << exact;
}

}  // namespace
}  // namespace rs
