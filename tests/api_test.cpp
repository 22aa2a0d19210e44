#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/run/program.h"
#include "rs_sim/codec.h"
#include "rs_sim/documents.h"
#include "rs_sim/simulator.h"
#include "test_support.h"

namespace rs {
namespace {

struct ApiCase {
    const char* name;
    std::int32_t m;
    std::int32_t t;
    std::optional<std::int32_t> length;
    std::vector<float> points;
    std::int32_t maxBlocks;
    std::int32_t maxErrorBlocks;
    bool independent;
    bool reference;
};

// Dense points where most blocks fail, a miscorrection-heavy short code, a shortened code,
// independent points, the reference engine.
const ApiCase kApiCases[] = {
    {"dense", 4, 2, std::nullopt, {0.4F, 0.2F, 0.05F}, 300, 100, false, false},
    {"miscorrections", 3, 1, std::nullopt, {0.3F, 0.1F}, 500, 400, false, false},
    {"shortened", 8, 4, 40, {0.1F, 0.02F}, 400, 50, true, false},
    {"reference", 5, 3, std::nullopt, {0.15F, 0.05F}, 300, 60, false, true},
};

// The program's JSON points for the same experiment, run in-process.
nlohmann::json ProgramPoints(const ApiCase& c, int threads) {
    const std::filesystem::path directory = testing::FreshTempFolder(c.name);
    std::ofstream(directory / "param.dat")
        << "Pmax=0.1\nPmin=0.1\nPstep=0.1\nmaxBlocks=" << c.maxBlocks
        << "\nmaxErrorBlocks=" << c.maxErrorBlocks << "\nM=" << c.m << "\nT=" << c.t << "\n";
    std::string list;
    for (const float P0 : c.points) {
        if (!list.empty()) {
            list += ',';
        }
        list += std::to_string(P0);
    }
    RunOptions options;
    options.noWait = true;
    options.jsonFile = "run.json";
    options.threads = threads;
    options.grid = *rs_sim::Points::List(list).value;
    options.length = c.length;
    options.monteCarlo.independentPoints = c.independent;
    options.monteCarlo.referenceEngine = c.reference;
    testing::CapturingStream console;
    testing::CapturingStream errors;
    testing::SecondPerPointCounter counter;
    const ProgramEnvironment environment{directory, console, errors, counter, [] {}, options};
    EXPECT_EQ(RunProgram(environment), 0) << errors.text;
    nlohmann::json document = nlohmann::json::parse(std::ifstream(directory / "run.json"));
    std::filesystem::remove_all(directory);
    return document["points"];
}

TEST(ApiTest, SimulateCountsAsTheProgramReports) {
    for (const ApiCase& c : kApiCases) {
        for (const int threads : {1, 2}) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads));
            rs_sim::Experiment experiment;
            experiment.code = {c.m, c.t, c.length};
            experiment.points = rs_sim::Points::Values(c.points);
            experiment.stop = {c.maxBlocks, c.maxErrorBlocks};
            experiment.threads = threads;
            experiment.independentPoints = c.independent;
            experiment.engine =
                c.reference ? rs_sim::EngineChoice::kReference : rs_sim::EngineChoice::kFast;
            const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
            ASSERT_TRUE(results) << results.error;
            const nlohmann::json expected = ProgramPoints(c, threads);
            ASSERT_EQ(results.value->points.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const rs_sim::PointResult& point = results.value->points[i];
                EXPECT_EQ(point.counts.blocks, expected[i]["blocks"]);
                EXPECT_EQ(point.counts.errorBlocks, expected[i]["errorBlocks"]);
                EXPECT_EQ(point.counts.channelErrors, expected[i]["channelErrors"]);
                EXPECT_EQ(point.counts.errorSymbols, expected[i]["errorSymbols"]);
                EXPECT_EQ(point.counts.bitErrors, expected[i]["bitErrors"]);
                EXPECT_EQ(point.counts.failures, expected[i]["detectedFailures"]);
                EXPECT_EQ(point.counts.miscorrections, expected[i]["miscorrections"]);
                EXPECT_DOUBLE_EQ(point.FERHigh, expected[i]["FERHigh"].get<double>());
                EXPECT_DOUBLE_EQ(point.theoryFER, expected[i]["theoryFER"].get<double>());
            }
        }
    }
}

// The document of a sweep from the experiment file, with the program's times set aside: a
// Monte-Carlo run's and a stratified run's, both through the public call.
TEST(ApiTest, JsonDocumentIsTheProgramsFile) {
    const auto timeless = [](const std::string& text) {
        const std::string key = "\"seconds\": ";
        std::string kept;
        std::size_t from = 0;
        for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, from)) {
            kept.append(text, from, at + key.size() - from).append("0");
            from =
                std::min(text.find_first_not_of("-+.0123456789eE", at + key.size()), text.size());
        }
        return kept.append(text, from);
    };
    for (const bool stratified : {false, true}) {
        SCOPED_TRACE(stratified ? "stratified" : "monte-carlo");
        const std::filesystem::path directory = testing::FreshTempFolder("json-document");
        std::ofstream(directory / "param.dat")
            << "Pmax=0.2\nPmin=0.05\nPstep=0.05\nmaxBlocks=400\nmaxErrorBlocks=60\nM=4\nT=2\n";
        RunOptions options;
        options.noWait = true;
        options.jsonFile = "run.json";
        options.seed = 77;
        if (stratified) {
            options.method = Method::kStratified;
            options.stratified.samples = 300;
        }
        testing::CapturingStream console;
        testing::CapturingStream errors;
        testing::SecondPerPointCounter counter;
        const ProgramEnvironment environment{directory, console, errors, counter, [] {}, options};
        ASSERT_EQ(RunProgram(environment), 0) << errors.text;
        std::ifstream file(directory / "run.json");
        const std::string written((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
        std::filesystem::remove_all(directory);

        rs_sim::Experiment experiment;
        experiment.code = {4, 2, std::nullopt};
        experiment.points = *rs_sim::Points::Sweep(0.2F, 0.05F, 0.05F).value;
        experiment.stop = {400, 60};
        experiment.seed = 77;
        if (stratified) {
            experiment.method = rs_sim::Stratified{300, 0.01};
        }
        const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
        ASSERT_TRUE(results) << results.error;
        EXPECT_EQ(timeless(rs_sim::JsonDocument(experiment, *results.value)), timeless(written));
    }
}

// Stops after the observer's second point, and at once on a raised flag.
TEST(ApiTest, ObserverAndStopFlagEndTheRunEarly) {
    class StopAfterTwo final : public rs_sim::Observer {
      public:
        void PointStarted(std::size_t index, float /*P0*/) override { started.push_back(index); }
        bool PointFinished(std::size_t index, const rs_sim::PointResult&) override {
            return index < 1;
        }
        std::vector<std::size_t> started;
    };
    rs_sim::Experiment experiment;
    experiment.code = {4, 2, std::nullopt};
    experiment.points = rs_sim::Points::Values({0.3F, 0.2F, 0.1F});
    experiment.stop = {100, 10};
    StopAfterTwo observer;
    const auto stopped = rs_sim::Simulate(experiment, {.observer = &observer});
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(stopped.value->stopped);
    EXPECT_EQ(stopped.value->points.size(), 2U);
    EXPECT_EQ(observer.started, (std::vector<std::size_t>{0, 1}));

    const std::atomic<bool> stop{true};
    const auto none = rs_sim::Simulate(experiment, {.stop = &stop});
    ASSERT_TRUE(none);
    EXPECT_TRUE(none.value->stopped);
    EXPECT_TRUE(none.value->points.empty());
}

// A dense point of the fast engine is estimated before its blocks: a block's seconds, timed on
// this code's decoder, and the point's, its expected blocks (here its 6 error blocks, every
// block failing) over the point's threads. Sparse points, the reference engine and the channels
// that send frames are not.
TEST(ApiTest, DensePointsAreEstimatedBeforeTheyRun) {
    class Estimates final : public rs_sim::Observer {
      public:
        void PointEstimated(std::size_t index, double block, double point) override {
            seen.push_back({index, block, point});
        }
        struct Seen {
            std::size_t index;
            double block;
            double point;
        };
        std::vector<Seen> seen;
    };
    struct Case {
        const char* name;
        rs_sim::EngineChoice engine;
        rs_sim::Channel channel;
        std::size_t estimated;  // points estimated: the dense first point, or none
    };
    const Case cases[] = {
        {"fast", rs_sim::EngineChoice::kFast, rs_sim::QarySymmetricChannel{}, 1},
        {"reference", rs_sim::EngineChoice::kReference, rs_sim::QarySymmetricChannel{}, 0},
        {"frames", rs_sim::EngineChoice::kFast, rs_sim::BinarySymmetricChannel{}, 0},
    };
    for (const Case& c : cases) {
        rs_sim::Experiment experiment;
        experiment.code = {16, 4, std::nullopt};  // 65 535 symbols: 0.3 expects 19 660 hits
        experiment.points = rs_sim::Points::Values({0.3F, 0.01F});
        experiment.stop = {1000, 6};
        experiment.engine = c.engine;
        experiment.channel = c.channel;
        Estimates observer;
        ASSERT_TRUE(rs_sim::Simulate(experiment, {.observer = &observer})) << c.name;
        ASSERT_EQ(observer.seen.size(), c.estimated) << c.name;
        for (const Estimates::Seen& seen : observer.seen) {
            EXPECT_EQ(seen.index, 0U);
            EXPECT_GT(seen.block, 0.0);
            EXPECT_DOUBLE_EQ(seen.point, 6 * seen.block);
        }
    }
}

// The step follows the nearer limit, ties to the blocks; a point that cannot run is complete.
TEST(ApiTest, ProgressStepFollowsTheNearerLimit) {
    struct Case {
        rs_sim::Counts counts;
        rs_sim::StopRules stop;
        std::int32_t step;
    };
    const Case cases[] = {
        {{.blocks = 50, .errorBlocks = 1}, {100, 10}, 15},
        {{.blocks = 10, .errorBlocks = 5}, {100, 10}, 15},
        {{.blocks = 100, .errorBlocks = 0}, {100, 10}, 30},
        {{.blocks = 3, .errorBlocks = 10}, {100, 10}, 30},
        {{}, {0, 10}, 30},
        {{}, {10, -1}, 30},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rs_sim::ProgressStep(c.counts, c.stop), c.step)
            << c.counts.blocks << " " << c.counts.errorBlocks;
    }
}

TEST(ApiTest, RefusedExperimentsSayWhy) {
    struct Case {
        rs_sim::Code code;
        int threads;
        std::int32_t seed;
        const char* error;
    };
    const Case cases[] = {
        {{31, 1, std::nullopt}, 1, 1, "M=31 is out of range: the field degree must be 1 to 30"},
        {{4, 8, std::nullopt}, 1, 1, "T=8 is too large for M=4: 2T must not exceed n=15"},
        {{4, 2, 4}, 1, 1, "length 4 does not shorten the code (M=4, T=2): it must exceed 2T=4"},
        {{4, 2, 16}, 1, 1, "and be at most 2^M-1=15"},
        {{4, 2, std::nullopt}, 0, 1, "threads 0 is out of range"},
        {{4, 2, std::nullopt}, 1, 1 << 21, "seed 2097152 is out of range"},
    };
    for (const Case& c : cases) {
        rs_sim::Experiment experiment;
        experiment.code = c.code;
        experiment.threads = c.threads;
        experiment.seed = c.seed;
        experiment.points = rs_sim::Points::Values({0.1F});
        experiment.stop = {10, 10};
        const auto results = rs_sim::Simulate(experiment);
        EXPECT_FALSE(results);
        EXPECT_NE(results.error.find(c.error), std::string::npos) << results.error;
    }
}

// A channel's experiment is refused, before anything runs, where it cannot run.
TEST(ApiTest, RefusedChannelsSayWhy) {
    using Level = rs_sim::GilbertElliottChannel::Level;
    const rs_sim::GilbertElliottChannel bursts{Level::kBit, 0.0, 0.5, 9.0};
    struct Case {
        rs_sim::Channel channel;
        std::int32_t interleave;
        float P0;
        rs_sim::Method method;
        const char* error;
    };
    const Case cases[] = {
        {rs_sim::QarySymmetricChannel{}, 2, 0.1F, rs_sim::MonteCarlo{}, "interleaving needs"},
        {rs_sim::BinarySymmetricChannel{}, 0, 0.1F, rs_sim::MonteCarlo{}, "interleave 0 is out"},
        {rs_sim::BinarySymmetricChannel{}, 11, 0.1F, rs_sim::MonteCarlo{},
         "maxBlocks must be at least the interleaving depth 11"},
        {rs_sim::BinarySymmetricChannel{}, 1, 1.5F, rs_sim::MonteCarlo{},
         "is not a bit error probability"},
        {rs_sim::GilbertElliottChannel{Level::kBit, 0.0, 0.5, 0.5}, 1, 0.1F, rs_sim::MonteCarlo{},
         "mean burst length of 1"},
        {rs_sim::GilbertElliottChannel{Level::kBit, -0.1, 0.5, 9.0}, 1, 0.1F, rs_sim::MonteCarlo{},
         "error probabilities must be 0 to 1"},
        // A share of Bad above 9/10 would need Good sojourns shorter than a step.
        {bursts, 1, 0.46F, rs_sim::MonteCarlo{}, "the long-run error probability is 0 to 0.45"},
        {bursts, 1, 0.1F, rs_sim::Stratified{}, "bursts make them dependent"},
    };
    for (const Case& c : cases) {
        rs_sim::Experiment experiment;
        experiment.code = {4, 2, std::nullopt};
        experiment.channel = c.channel;
        experiment.interleave = c.interleave;
        experiment.method = c.method;
        experiment.points = rs_sim::Points::Values({c.P0});
        experiment.stop = {10, 10};
        EXPECT_NE(rs_sim::CheckExperiment(experiment).find(c.error), std::string::npos)
            << rs_sim::CheckExperiment(experiment);
    }
    rs_sim::Experiment reachable;
    reachable.code = {4, 2, std::nullopt};
    reachable.channel = bursts;
    reachable.points = rs_sim::Points::Values({0.45F, 0.0F});
    reachable.stop = {10, 10};
    EXPECT_EQ(rs_sim::CheckExperiment(reachable), "");
}

// The q-ary generator's reach: an independent point has 2^40 draws, and RS(1023,993) takes at
// most 993 + 2 x 1023 = 3039 a block, so 361800469 blocks fit and one more does not; 1365 lanes
// fit in the period and 1366 do not.
TEST(ApiTest, PointsThatCouldOutrunTheStreamAreRefused) {
    struct Case {
        std::int64_t maxBlocks;
        std::size_t points;
        bool independent;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {361800469, 1, true, ""},
        {361800470, 1, true,
         "use at most 361800469 blocks a point, run without independent points, or draw"},
        {361800470, 1, false, ""},
        {10, 1365, true, ""},
        {10, 1366, true, "1366 independent points would wrap around"},
        {10, 1366, false, ""},
        // Without independent points the period bounds a point: (2^52 - 1)/3 draws hold
        // 493978241457 blocks of 3039 draws.
        {493978241457, 1, false, ""},
        {493978241458, 1, false, "use at most 493978241457 blocks a point"},
    };
    for (const Case& c : cases) {
        rs_sim::Experiment experiment;
        experiment.code = {10, 15, std::nullopt};
        experiment.points = rs_sim::Points::Values(std::vector<float>(c.points, 0.01F));
        experiment.stop = {c.maxBlocks, 10};
        experiment.independentPoints = c.independent;
        const std::string problem = rs_sim::CheckExperiment(experiment);
        if (*c.error == '\0') {
            EXPECT_EQ(problem, "") << c.maxBlocks << " " << c.points;
        } else {
            EXPECT_NE(problem.find(c.error), std::string::npos) << problem;
        }
    }
}

// Up to t errors anywhere among the sent symbols come back corrected; t + 1 on a word of the
// shortened code never come back as the sent word unflagged.
TEST(ApiTest, CodecCorrectsUpToTAndCountsItsCorrections) {
    for (const std::optional<std::int32_t> length : {std::optional<std::int32_t>{}, {20}}) {
        auto codec = rs_sim::Codec::Make({5, 3, length});
        ASSERT_TRUE(codec) << codec.error;
        std::vector<std::uint32_t> information(static_cast<std::size_t>(codec.value->K()));
        for (std::size_t j = 0; j < information.size(); ++j) {
            information[j] = static_cast<std::uint32_t>((7 * j + 3) % 32);
        }
        const auto sent = codec.value->Encode(information);
        ASSERT_TRUE(sent) << sent.error;
        ASSERT_EQ(sent.value->size(), static_cast<std::size_t>(codec.value->N()));
        for (std::size_t j = 0; j < information.size(); ++j) {
            EXPECT_EQ((*sent.value)[6 + j], information[j]);  // systematic, after 2t parity
        }
        std::vector<std::uint32_t> received = *sent.value;
        for (const std::size_t i : {std::size_t{0}, received.size() / 2, received.size() - 1}) {
            received[i] ^= 5;
        }
        const auto decoded = codec.value->Decode(received);
        ASSERT_TRUE(decoded) << decoded.error;
        EXPECT_FALSE(decoded.value->failed);
        EXPECT_EQ(decoded.value->corrections, 3);
        EXPECT_EQ(decoded.value->word, *sent.value);
    }
    auto codec = rs_sim::Codec::Make({4, 2, std::nullopt});
    ASSERT_TRUE(codec);
    EXPECT_FALSE(codec.value->Encode(std::vector<std::uint32_t>(10, 16)));
    EXPECT_FALSE(codec.value->Decode(std::vector<std::uint32_t>(14, 0)));
}

}  // namespace
}  // namespace rs
