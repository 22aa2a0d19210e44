// The machine-readable reports and --resume, run in-process through the whole program.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "cli/run/program.h"
#include "report/documents/csv_report.h"
#include "report/documents/json_report.h"
#include "report/plot/compare.h"
#include "report/plot/plot.h"
#include "report/stratified/stratified_documents.h"
#include "report/stratified/stratified_text.h"
#include "report/text/channel_text.h"
#include "report/text/console_report.h"
#include "report/text/report_file.h"
#include "simulator/p0_grid.h"
#include "test_support.h"

namespace rs {
namespace {

namespace fs = std::filesystem;
using testing::CapturingStream;
using testing::ScriptedCounter;

struct Interrupted : std::runtime_error {
    Interrupted() : std::runtime_error("interrupted") {}
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The report without its timing lines, which differ between any two runs.
std::string WithoutTimes(const std::string& report) {
    std::string kept;
    for (const std::string& line : Lines(report)) {
        if (!line.starts_with("Experiment time=") && !line.starts_with("Transmitting speed=")) {
            kept += line + "\n";
        }
    }
    return kept;
}

// The counts of every point, as JSON or CSV give them.
std::vector<std::vector<std::int64_t>> JsonCounts(const std::string& text) {
    std::vector<std::vector<std::int64_t>> counts;
    const nlohmann::json document = nlohmann::json::parse(text);
    for (const auto& point : document["points"]) {
        counts.push_back({point["blocks"], point["errorBlocks"], point["channelErrors"],
                          point["errorSymbols"], point["bitErrors"], point["detectedFailures"],
                          point["miscorrections"]});
    }
    return counts;
}
std::vector<std::vector<std::int64_t>> CsvCounts(const std::string& text) {
    std::vector<std::vector<std::int64_t>> counts;
    const std::vector<std::string> lines = Lines(text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::istringstream row(lines[i]);
        std::string field;
        std::getline(row, field, ',');  // P0
        std::vector<std::int64_t> values;
        for (int f = 0; f < 7 && std::getline(row, field, ','); ++f) {
            values.push_back(std::stoll(field));
        }
        counts.push_back(values);
    }
    return counts;
}

// The report up to the end of its first `points` points.
std::string FirstPoints(const std::string& report, int points) {
    constexpr std::string_view kEnd = " KSymbols/second\n";
    std::size_t end = report.find('\n') + 1;
    for (int i = 0; i < points; ++i) {
        end = report.find(kEnd, end) + kEnd.size();
    }
    return report.substr(0, end);
}

// A point's lines with these counts, its rates and times made up.
std::string PointLines(const std::string& blocks, const std::string& errorBlocks,
                       const std::string& symbols, const std::string& errorSymbols) {
    return "\nP0=4.00e-001   \nChannel SER=1.00e-001\nTransmitted blocks=" + blocks +
           "      Error blocks=" + errorBlocks +
           "      FER=4.00e-001\nTransmitted symbols=" + symbols +
           "   Error symbols=" + errorSymbols +
           "   SER=1.00e-001\nExperiment time=0.01 seconds\nTransmitting speed=1.00 "
           "KSymbols/second\n";
}

// A stratified study of RS(15,11) at two points, made up: on the default channel one set of
// weights for both, elsewhere each point's own (3 to 4, then 4 to 5), 17 patterns a weight at
// the first point and 19 at the second; every channel SER 0.25 and BER 0.0625.
rs_sim::StratifiedResults MadeUpStudy(const rs_sim::Channel& channel,
                                      const std::array<double, 2>& P0) {
    rs_sim::StratifiedResults study;
    study.t = 2;
    study.firstWeight = 3;
    study.lastWeight = 5;
    const auto weights = [](std::int32_t first, std::int32_t last, std::int64_t patterns) {
        rs_sim::WeightSampling own{first, last, {}, {}, {}};
        for (std::int32_t w = first; w <= last; ++w) {
            own.tallies.push_back({.patterns = patterns, .wrongBlocks = w, .errorSymbols = 2 * w});
            own.weightRates.push_back({});
        }
        return own;
    };
    for (std::size_t i = 0; i < P0.size(); ++i) {
        rs_sim::StratifiedPoint point;
        point.P0 = P0[i];
        const double value = std::log(1e-3) - static_cast<double>(i);
        for (rs_sim::LogEstimate& rate : point.rates) {
            rate = {value, value - std::log(2.0), value + std::log(2.0)};
        }
        point.theoryFER = std::log(1e-3);
        point.tail = std::log(1e-9);
        point.channelSER = 0.25;
        point.channelBER = 0.0625;
        study.points.push_back(point);
    }
    if (IsDefaultChannel(channel)) {
        const rs_sim::WeightSampling shared = weights(3, 5, 17);
        study.tallies = shared.tallies;
        study.weightRates = shared.weightRates;
        study.patterns = 3 * 17;
    } else {
        study.pointWeights = {weights(3, 4, 17), weights(4, 5, 19)};
        study.patterns = 2 * 17 + 2 * 19;
    }
    return study;
}

class ReportsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = testing::FreshTempFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { fs::remove_all(directory); }

    void WriteFile(const std::string& name, const std::string& text) const {
        std::ofstream(directory / name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const { return ReadFile(directory / name); }

    // Runs with the JSON and CSV reports; interruptAtRead makes the clock's read of that
    // number throw, as a stop in the middle of a point would.
    int Run(bool resume, int interruptAtRead = 0) {
        ScriptedCounter counter{{0, 1000}, 1000};
        counter.onCount = [&] {
            if (counter.reads == interruptAtRead) {
                throw Interrupted();
            }
        };
        RunOptions options;
        options.noWait = true;
        options.threads = 1;  // the clock's reads then come in sweep order
        if (documents) {
            options.jsonFile = "points.json";
            options.csvFile = "points.csv";
        }
        options.monteCarlo.resume = resume;
        options.grid = grid;
        options.channel = channel;
        options.interleave = interleave;
        options.seed = seed;
        errors.text.clear();
        const ProgramEnvironment environment{directory, console, errors, counter, [] {}, options};
        return RunProgram(environment);
    }

    fs::path directory;
    CapturingStream console;
    CapturingStream errors;
    std::optional<rs_sim::Points> grid;  // P0 values in place of the file's sweep lines
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    std::int32_t interleave = 1;
    std::int32_t seed = rs_sim::kDefaultSeed;
    bool documents = true;  // the JSON and CSV reports beside results.dat
};

// Small codes at high P0 decode wrongly often, and miscorrect; the uncoded code and a point
// without blocks pin the counts that must agree exactly.
TEST_F(ReportsTest, JsonAndCsvHoldTheCountsOfTheReport) {
    const char* experiments[] = {
        "Pmax=0.5\nPmin=0.1\nPstep=0.1\nmaxBlocks=400\nmaxErrorBlocks=60\nM=4\nT=2\n",
        "Pmax=0.3\nPmin=0.2\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=1000\nM=3\nT=0\n",
        "Pmax=0.3\nPmin=0.3\nPstep=0.1\nmaxBlocks=0\nmaxErrorBlocks=10\nM=4\nT=1\n",
    };
    for (const char* experiment : experiments) {
        WriteFile("param.dat", experiment);
        ASSERT_EQ(Run(false), 0) << errors.text;
        const ReportContents report = ParseReport(Read("results.dat"));
        const auto json = nlohmann::json::parse(Read("points.json"));
        const auto counts = JsonCounts(Read("points.json"));
        ASSERT_EQ(counts.size(), report.points.size());
        EXPECT_EQ(CsvCounts(Read("points.csv")), counts);
        EXPECT_EQ(Lines(Read("points.csv"))[0], CsvHeader(rs_sim::QarySymmetricChannel{}));
        EXPECT_EQ(json["method"], "monte-carlo");
        const int m = json["experiment"]["M"];
        const bool uncoded = json["code"]["t"] == 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const auto& c = counts[i];
            const ReportedPoint& r = report.points[i];
            EXPECT_EQ(c[0], r.blocks);
            EXPECT_EQ(c[1], r.errorBlocks);
            EXPECT_EQ(c[3], r.errorSymbols);
            // Every wrong symbol has 1 to M wrong bits.
            EXPECT_GE(c[4], c[3]);
            EXPECT_LE(c[4], m * c[3]);
            EXPECT_LE(c[5], c[0]);
            // A miscorrection is a wrong block that was not flagged.
            EXPECT_LE(c[6], c[1]);
            EXPECT_GE(c[6], c[1] - c[5]);
            if (uncoded) {  // nothing is corrected: every hit on the channel stays
                EXPECT_EQ(c[3], c[2]);
                EXPECT_EQ(c[5], 0);
            }
            const auto& point = json["points"][i];
            if (r.blocks == 0) {
                EXPECT_TRUE(point["FER"].is_null() && point["FERLow"].is_null());
                // A rate without blocks is missing: an empty field, never "nan" or "-nan".
                const std::string row = Lines(Read("points.csv"))[i + 1];
                EXPECT_NE(row.find(",,"), std::string::npos) << row;
                EXPECT_EQ(row.find("nan"), std::string::npos) << row;
            } else {
                EXPECT_LE(point["FERLow"].get<double>(), point["FER"].get<double>());
                EXPECT_GE(point["FERHigh"].get<double>(), point["FER"].get<double>());
            }
        }
    }
}

// Stopped while its third point's lines sit in the report's buffer, the run leaves two
// complete points and the start of a third; resumed, it ends with the same files as a run
// that was never stopped. So with the file's sweep and with a P0 grid in any order; resuming
// with another grid is refused.
TEST_F(ReportsTest, ResumedRunEqualsAnUninterruptedOne) {
    WriteFile("param.dat",
              "Pmax=0.4\nPmin=0.05\nPstep=0.05\nmaxBlocks=300\nmaxErrorBlocks=40\nM=4\nT=2\n");
    const rs_sim::Points listed = *rs_sim::Points::List("0.3,0.05,0.2,0.1").value;
    for (const std::optional<rs_sim::Points>& sweep :
         {std::optional<rs_sim::Points>(), std::optional(listed)}) {
        grid = sweep;
        ASSERT_EQ(Run(false), 0);
        const std::string report = Read("results.dat");
        const std::string json = Read("points.json");
        const std::string csv = Read("points.csv");

        // Each point reads the clock twice; the sixth read ends the third point.
        EXPECT_THROW(Run(false, 6), Interrupted);
        const ReportContents cut = ParseReport(Read("results.dat"));
        ASSERT_EQ(cut.points.size(), 2U);
        ASSERT_LT(cut.completeLength, Read("results.dat").size()) << "no point was cut short";
        ASSERT_EQ(JsonCounts(Read("points.json")).size(), 2U);

        console.text.clear();
        ASSERT_EQ(Run(true), 0) << errors.text;
        EXPECT_NE(console.text.find("Resuming: 2 of "), std::string::npos);
        EXPECT_EQ(WithoutTimes(Read("results.dat")), WithoutTimes(report));
        EXPECT_EQ(JsonCounts(Read("points.json")), JsonCounts(json));
        EXPECT_EQ(CsvCounts(Read("points.csv")), CsvCounts(csv));

        // Resuming a finished run runs nothing and changes no count.
        ASSERT_EQ(Run(true), 0) << errors.text;
        EXPECT_EQ(WithoutTimes(Read("results.dat")), WithoutTimes(report));
        EXPECT_EQ(JsonCounts(Read("points.json")), JsonCounts(json));
    }
    grid = *rs_sim::Points::List("0.3,0.05,0.1,0.2").value;
    EXPECT_EQ(Run(true), 1);
    EXPECT_NE(errors.text.find("cannot resume"), std::string::npos) << errors.text;
}

TEST_F(ReportsTest, ResumeRefusesFilesOfAnotherExperiment) {
    const std::string experiment =
        "Pmax=0.4\nPmin=0.2\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=40\nM=4\nT=2\n";
    WriteFile("param.dat", experiment);
    ASSERT_EQ(Run(false), 0);
    const std::string report = Read("results.dat");
    const std::string json = Read("points.json");
    nlohmann::json otherSeed = nlohmann::json::parse(json);
    otherSeed["experiment"]["seed"] = 7;
    struct Case {
        const char* name;
        std::string parameters;
        std::string report;
        std::string jsonText;
        const char* error;
    };
    const Case cases[] = {
        {"other code",
         "Pmax=0.4\nPmin=0.2\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=40\nM=4\nT=1\n", report,
         json, "its header is not that of this experiment's code"},
        {"other sweep",
         "Pmax=0.5\nPmin=0.2\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=40\nM=4\nT=2\n", report,
         json, "point 1 has P0=4.00e-001 where this sweep has P0=5.00e-001"},
        {"other limits",
         "Pmax=0.4\nPmin=0.2\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=30\nM=4\nT=2\n", report,
         json, "point 1 did not end by this experiment's limits"},
        {"shorter sweep",
         "Pmax=0.4\nPmin=0.3\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=40\nM=4\nT=2\n", report,
         json, "it holds 3 points, but this sweep has only 1"},
        {"garbage after a point", experiment, report + "\nremark\n", json,
         "the text after point 3 is not a point of the report"},
        {"JSON missing", experiment, report, "", "points.json: cannot resume: the file is missing"},
        {"JSON of another seed", experiment, report, otherSeed.dump(),
         "points.json: cannot resume: it describes another experiment: its experiment.seed is 7 "
         "where this run's is 1234"},
    };
    for (const Case& c : cases) {
        WriteFile("param.dat", c.parameters);
        WriteFile("results.dat", c.report);
        fs::remove(directory / "points.json");
        if (!c.jsonText.empty()) {
            WriteFile("points.json", c.jsonText);
        }
        const std::string csvBefore = Read("points.csv");
        EXPECT_EQ(Run(true), 1) << c.name;
        EXPECT_NE(errors.text.find(c.error), std::string::npos) << c.name << ": " << errors.text;
        EXPECT_EQ(Read("results.dat"), c.report) << c.name;
        EXPECT_EQ(Read("points.json"), c.jsonText) << c.name;
        EXPECT_EQ(Read("points.csv"), csvBefore) << c.name;
    }
}

// Counts that cannot come from one run, and text after the last complete point that is not
// the start of the sweep's next point, are refused before any file changes.
TEST_F(ReportsTest, ResumeRefusesCountsThatDisagreeAndTextThatStartsNoPoint) {
    WriteFile("param.dat",
              "Pmax=0.4\nPmin=0.2\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=40\nM=4\nT=2\n");
    ASSERT_EQ(Run(false), 0);
    const std::string report = Read("results.dat");
    const std::string json = Read("points.json");
    const std::string csv = Read("points.csv");
    const std::string header = FirstPoints(report, 0);
    const std::string afterFirst = report.substr(FirstPoints(report, 1).size());
    const std::string two = FirstPoints(report, 2);
    struct Case {
        std::string report;
        const char* error;
    };
    // k is 11; each point of counts breaks one rule only.
    const Case cases[] = {
        {header + PointLines("30", "40", "330", "20") + afterFirst,
         "point 1 has Error blocks=40, more than its 30 blocks"},
        {header + PointLines("100", "40", "1000", "90") + afterFirst,
         "point 1 has Transmitted symbols=1000 where its 100 blocks of k=11 make 1100"},
        {header + PointLines("100", "40", "1100", "1101") + afterFirst,
         "point 1 has Error symbols=1101, more than its 1100 transmitted symbols"},
        {header + PointLines("100", "40", "1100", "-1") + afterFirst,
         "point 1 has a negative count, Error symbols=-1"},
        {header + PointLines("0100", "40", "1100", "90") + afterFirst,
         "point 1 has Transmitted blocks=0100, which is not a count as the report writes it"},
        {header + PointLines("100", "40", "1100", "99999999999999999999") + afterFirst,
         "point 1 has Error symbols=99999999999999999999, which is not a count as"},
        // Blocks beyond 32 bits are a count, held to the limits like any other.
        {header + PointLines("3000000000", "40", "33000000000", "90") + afterFirst,
         "point 1 did not end by this experiment's limits (maxBlocks=300, maxErrorBlocks=40)"},
        {two + "\nP0=2.00e-001   \nChannel SER=1.00e-001x",
         "point 3 (cut short) has Channel SER=1.00e-001x, which is not a number as the report"},
        {two + "\nP0=2.00e-001   \nChannel SER=1.0\n",
         "point 3 (cut short) has Channel SER=1.0, which is not a number as the report"},
        {two + "\nP0=2.00e-001   \nChannel SER=1.00e-001\nTransmitted blocks=10      Error "
               "blocks=9      FER=9.00e-001\nTransmitted symbols=11   ",
         "point 3 (cut short) has Transmitted symbols=11 where its 10 blocks of k=11 make 110"},
        {two + "\nP0=3.0", "point 3 (cut short) has P0=3.0 where this sweep has P0=2.00e-001"},
        {report + "\nP0=1",
         "it holds 3 points and the start of another, but this sweep has only 3"},
    };
    for (const Case& c : cases) {
        WriteFile("results.dat", c.report);
        EXPECT_EQ(Run(true), 1) << c.error;
        EXPECT_NE(errors.text.find(c.error), std::string::npos) << errors.text;
        EXPECT_EQ(Read("results.dat"), c.report) << c.error;
        EXPECT_EQ(Read("points.json"), json) << c.error;
        EXPECT_EQ(Read("points.csv"), csv) << c.error;
    }
}

// Cut anywhere, the third point is dropped and run again. Here every point ends by maxBlocks,
// and the third has a negative P0, which the report writes as it is.
TEST_F(ReportsTest, ResumeDropsAnyStartOfTheNextPoint) {
    WriteFile("param.dat",
              "Pmax=0.4\nPmin=-0.1\nPstep=0.25\nmaxBlocks=30\nmaxErrorBlocks=40\nM=4\nT=2\n");
    ASSERT_EQ(Run(false), 0);
    const std::string report = Read("results.dat");
    const std::string two = FirstPoints(report, 2);
    for (std::size_t cut = two.size(); cut < report.size(); ++cut) {
        WriteFile("results.dat", report.substr(0, cut));
        ASSERT_EQ(Run(true), 0) << report.substr(two.size(), cut - two.size()) << "\n"
                                << errors.text;
        EXPECT_EQ(WithoutTimes(Read("results.dat")), WithoutTimes(report));
    }
}

using Markov = rs_sim::GilbertElliottChannel;

// A report whose header names one channel resumes only on that channel with the same parameters,
// interleaving and seed, and says what differs; the header it writes is the one it reads back.
TEST_F(ReportsTest, ResumeRefusesAReportOfAnotherChannelOrSeed) {
    WriteFile("param.dat",
              "Pmax=0.4\nPmin=0.2\nPstep=0.1\nmaxBlocks=300\nmaxErrorBlocks=40\nM=4\nT=2\n");
    documents = false;
    ASSERT_EQ(Run(false), 0) << errors.text;
    const std::string report = Read("results.dat");
    const std::string points = report.substr(report.find('\n') + 1);
    const rs_sim::CodeFacts code = rs_sim::FactsOf(4, 2, std::nullopt);
    const Markov bursts{Markov::Level::kBit, 0.0, 0.5, 10.0};
    struct Case {
        rs_sim::Channel written;
        std::int32_t writtenInterleave;
        rs_sim::Channel run;
        std::int32_t runInterleave;
        const char* error;  // none: the run resumes, with nothing left to run
    };
    const Case cases[] = {
        {rs_sim::QarySymmetricChannel{}, 1, rs_sim::BinarySymmetricChannel{}, 1,
         "its header has channel=q-ary-symmetric where this run has channel=binary-symmetric"},
        {rs_sim::BinarySymmetricChannel{}, 1, rs_sim::QarySymmetricChannel{}, 1,
         "its header has channel=binary-symmetric where this run has channel=q-ary-symmetric"},
        {bursts, 1, Markov{Markov::Level::kBit, 0.0, 0.5, 20.0}, 1,
         "its header has burst=10 where this run has burst=20"},
        {bursts, 1, Markov{Markov::Level::kSymbol, 0.0, 0.5, 10.0}, 1,
         "its header has level=bit where this run has level=symbol"},
        {bursts, 1, Markov{Markov::Level::kBit, 0.01, 0.5, 10.0}, 1,
         "its header has goodError=0 where this run has goodError=0.01"},
        {rs_sim::BinarySymmetricChannel{}, 4, rs_sim::BinarySymmetricChannel{}, 1,
         "its header has interleave=4 where this run has interleave=1"},
        {rs_sim::BinarySymmetricChannel{}, 1, rs_sim::BpskAwgnChannel{}, 1,
         "its header has channel=binary-symmetric where this run has channel=bpsk-awgn"},
        {rs_sim::BinarySymmetricChannel{}, 4, rs_sim::BinarySymmetricChannel{}, 4, nullptr},
        {bursts, 2, bursts, 2, nullptr},
        {rs_sim::BpskAwgnChannel{}, 1, rs_sim::BpskAwgnChannel{}, 1, nullptr},
        {rs_sim::QarySymmetricChannel{0.05}, 1, rs_sim::QarySymmetricChannel{0.1}, 1,
         "its header has erasures=0.05 where this run has erasures=0.1"},
        {rs_sim::QarySymmetricChannel{}, 1, rs_sim::QarySymmetricChannel{0.0}, 1,
         "its header has no erasures where this run has erasures=0"},
        {rs_sim::QarySymmetricChannel{0.05}, 1, rs_sim::QarySymmetricChannel{0.05}, 1, nullptr},
        {rs_sim::BpskAwgnChannel{0.25}, 1,
         rs_sim::BpskAwgnChannel{rs_sim::BpskAwgnChannel::BestThreshold{}}, 1,
         "its header has eraseBelow=0.25 where this run has eraseBelow=best"},
        {rs_sim::BpskAwgnChannel{}, 1, rs_sim::BpskAwgnChannel{0.0}, 1,
         "its header has no eraseBelow where this run has eraseBelow=0"},
        {rs_sim::BpskAwgnChannel{0.25}, 1, rs_sim::BpskAwgnChannel{0.25}, 1, nullptr},
    };
    for (const Case& c : cases) {
        console.text.clear();
        const std::string written = ReportHeader(code, c.written, c.writtenInterleave) + points;
        WriteFile("results.dat", written);
        channel = c.run;
        interleave = c.runInterleave;
        // The report's P0 texts read back as these Eb/N0 values too.
        grid = std::holds_alternative<rs_sim::BpskAwgnChannel>(c.run)
                   ? std::optional(*rs_sim::Points::EbN0List("0.4,0.3,0.2").value)
                   : std::nullopt;
        if (c.error == nullptr) {
            EXPECT_EQ(Run(true), 0) << errors.text;
            EXPECT_NE(console.text.find("Resuming: 3 of 3 points"), std::string::npos);
        } else {
            EXPECT_EQ(Run(true), 1) << c.error;
            EXPECT_NE(errors.text.find("results.dat: cannot resume: " + std::string(c.error)),
                      std::string::npos)
                << errors.text;
        }
        EXPECT_EQ(Read("results.dat"), written);
    }
    // A seed other than the default is in the header, so that a run on another seed is refused
    // whichever of the two is the default.
    channel = rs_sim::QarySymmetricChannel{};
    interleave = 1;
    grid = std::nullopt;
    const std::tuple<std::int32_t, std::int32_t, const char*> seeds[] = {
        {1234, 99, "its header has seed=1234 where this run has seed=99"},
        {99, 1234, "its header has seed=99 where this run has seed=1234"},
        {99, 99, nullptr}};
    for (const auto& [writtenSeed, runSeed, error] : seeds) {
        const std::string written =
            ReportHeader(code, rs_sim::QarySymmetricChannel{}, 1, writtenSeed) + points;
        WriteFile("results.dat", written);
        seed = runSeed;
        EXPECT_EQ(Run(true), error == nullptr ? 0 : 1) << errors.text;
        if (error != nullptr) {
            EXPECT_NE(errors.text.find(error), std::string::npos) << errors.text;
        }
        EXPECT_EQ(Read("results.dat"), written);
    }
}

// The JSON and CSV reports of a point on each channel: the default's fields only on the default
// channel; the channel's bit errors where it flips bits, and the frames' squares on the others.
TEST(ChannelDocuments, PointsCarryWhatTheChannelCounts) {
    rs_sim::PointResult point;
    point.P0 = -1.5F;
    point.counts.blocks = 40;
    point.counts.errorBlocks = 6;
    point.counts.channelBitErrors = 37;
    point.counts.errorBlockSquares = 9;
    point.channelBER = 0.0625;
    struct Case {
        rs_sim::Channel channel;
        std::int32_t interleave;
        bool bits;
        const char* csvTail;  // what the row adds to the default's columns
    };
    const Case cases[] = {
        {rs_sim::QarySymmetricChannel{}, 1, false, ",15,11,q-ary-symmetric,monte-carlo"},
        {rs_sim::BinarySymmetricChannel{}, 1, true,
         ",15,11,binary-symmetric,monte-carlo,1,37,0.0625"},
        {rs_sim::BpskAwgnChannel{}, 1, true, ",15,11,bpsk-awgn,monte-carlo,1,37,0.0625"},
        {Markov{Markov::Level::kBit, 0.0, 0.5, 4.0}, 8, true,
         ",15,11,gilbert-elliott,monte-carlo,8,37,0.0625"},
        {Markov{Markov::Level::kSymbol, 0.0, 0.5, 4.0}, 8, false,
         ",15,11,gilbert-elliott,monte-carlo,8,,"},
    };
    const std::string defaultRow = CsvRow(point);
    for (const Case& c : cases) {
        const std::string name = rs_sim::ChannelName(c.channel);
        const nlohmann::ordered_json json = PointJson(point, c.channel);
        EXPECT_EQ(json.contains("channelBitErrors"), c.bits) << name;
        EXPECT_EQ(json.contains("channelBER"), c.bits) << name;
        if (c.bits) {
            EXPECT_EQ(json["channelBitErrors"], 37);
            EXPECT_EQ(json["channelBER"], 0.0625);
        }
        EXPECT_EQ(json.contains("errorBlockSquares"), !IsDefaultChannel(c.channel)) << name;
        if (IsDefaultChannel(c.channel)) {
            EXPECT_EQ(json, PointJson(point));
        }
        const std::string row =
            CsvRow(point, rs_sim::FactsOf(4, 2, std::nullopt), c.channel, c.interleave);
        EXPECT_EQ(row, defaultRow.substr(0, defaultRow.size() - 1) + c.csvTail + "\n") << name;
        const std::string header = CsvHeader(c.channel);
        EXPECT_EQ(std::count(header.begin(), header.end(), ','),
                  std::count(row.begin(), row.end(), ','))
            << name;
    }
    EXPECT_EQ(CsvHeader(rs_sim::QarySymmetricChannel{}),
              std::string(CsvReport::kHeader) + ",n,k,channel,method");
}

// The experiment names a channel other than the default with its parameters and interleaving,
// and Eb/N0 values given on the command line as such.
TEST(ChannelDocuments, ExperimentNamesTheChannel) {
    RunDescription run;
    EXPECT_FALSE(ExperimentJson(run).contains("channel"));
    EXPECT_FALSE(ExperimentJson(run).contains("interleave"));
    run.channel = Markov{Markov::Level::kSymbol, 0.001, 0.25, 2.5};
    run.interleave = 4;
    nlohmann::ordered_json experiment = ExperimentJson(run);
    EXPECT_EQ(experiment["channel"].dump(),
              R"({"name":"gilbert-elliott","level":"symbol","burst":2.5,"goodError":0.001,)"
              R"("badError":0.25})");
    EXPECT_EQ(experiment["interleave"], 4);
    run.channel = rs_sim::BpskAwgnChannel{};
    run.interleave = 1;
    run.grid = *rs_sim::Points::EbN0Range("-1:0:0.5").value;
    experiment = ExperimentJson(run);
    EXPECT_EQ(experiment["channel"].dump(), R"({"name":"bpsk-awgn"})");
    EXPECT_EQ(experiment["grid"].dump(), R"({"ebn0Range":"-1:0:0.5","EbN0":[-1.0,-0.5,0.0]})");
}

// On BPSK over AWGN each point is headed by its Eb/N0, and the channels that flip bits show
// their bit error rate; the results file gets the same text as on the default channel.
TEST(ChannelDocuments, ConsoleShowsTheChannelAndTheResultsFileStaysAsItWas) {
    rs_sim::PointResult point;
    point.P0 = -1.5F;
    point.counts.blocks = 40;
    point.channelSER = 0.25;
    point.channelBER = 0.0625;
    const auto report = [&](const rs_sim::Channel& channel) {
        std::pair<testing::CapturingStream, testing::CapturingStream> streams;
        ConsoleReport console({.console = streams.first,
                               .results = streams.second,
                               .limits = {40, 10},
                               .code = rs_sim::FactsOf(4, 2, std::nullopt),
                               .channel = channel,
                               .status = nullptr,
                               .statusAfter = kStatusAfter,
                               .finished = {}});
        console.PointStarted(0, point.P0);
        console.PointCounted(0, point);
        console.PointFinished(0, point);
        return std::pair(streams.first.text, streams.second.text);
    };
    const auto [defaultConsole, defaultResults] = report(rs_sim::QarySymmetricChannel{});
    struct Case {
        rs_sim::Channel channel;
        const char* heading;
        bool bits;
    };
    const Case cases[] = {
        {rs_sim::QarySymmetricChannel{}, "\nP0=-1.50e+000\n", false},
        {rs_sim::BinarySymmetricChannel{}, "\nP0=-1.50e+000\n", true},
        {rs_sim::BpskAwgnChannel{}, "\nEb/N0=-1.50 dB\n", true},
        {Markov{Markov::Level::kBit, 0.0, 0.5, 4.0}, "\nP0=-1.50e+000\n", true},
        {Markov{Markov::Level::kSymbol, 0.0, 0.5, 4.0}, "\nP0=-1.50e+000\n", false},
    };
    for (const Case& c : cases) {
        const auto [console, results] = report(c.channel);
        const std::string name = rs_sim::ChannelName(c.channel);
        EXPECT_TRUE(console.starts_with(c.heading)) << name << console;
        EXPECT_EQ(
            console.find("\nChannel SER=2.50e-001   Channel BER=6.25e-002\n") != std::string::npos,
            c.bits)
            << name << console;
        EXPECT_EQ(results, defaultResults) << name;
    }
}

// Against Eb/N0 the plot's x axis is linear and in dB, a point at a negative Eb/N0 is drawn, and
// uncoded BPSK is the reference; behind a channel with memory the bounded-distance curve is the
// chain's exact FER.
TEST(ChannelDocuments, PlotFollowsTheChannel) {
    const std::vector<PlotPoint> points = {{-2.0, 100, 50, 200, 0, 300}, {3.0, 100, 2, 4, 0, 6}};
    const rs_sim::CodeFacts code = rs_sim::FactsOf(4, 2, std::nullopt);
    struct Case {
        rs_sim::Channel channel;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    };
    const Case cases[] = {
        {rs_sim::QarySymmetricChannel{},
         {"set logscale xy\n", "'P0, channel symbol error probability'", "$theory using",
          "q-ary symmetric channel"},
         {"$uncoded", "-2 "}},
        {rs_sim::BpskAwgnChannel{},
         {"set logscale y\n", "'E_b/N_0 (dB)'", "\n-2 ", "\n3 ", "$theory using", "$uncoded using",
          "$points using 1:8", "BPSK over AWGN"},
         {"set logscale xy", "set format x"}},
        {Markov{Markov::Level::kSymbol, 0.0, 0.5, 4.0},
         {"'P0, long-run channel symbol error probability'", "Gilbert-Elliott channel",
          "$theory using"},
         {"$uncoded"}},
    };
    for (const Case& c : cases) {
        const std::string script =
            PlotScript("plot.svg", points, {code, c.channel, 1, std::nullopt});
        for (const char* text : c.present) {
            EXPECT_NE(script.find(text), std::string::npos) << text << "\n" << script;
        }
        for (const char* text : c.absent) {
            EXPECT_EQ(script.find(text), std::string::npos) << text << "\n" << script;
        }
    }
}

// The y axis reaches a decade boundary a little below the lowest rate drawn (here the SER,
// 30 / (1000 x 11) = 2.7e-3, so 1e-3; 1e-4 once a miscorrection rate of 1e-3 is drawn), or
// the user's range; the key stands outside the axes; a miscorrection rate gets its thick line.
TEST(ChannelDocuments, PlotAxisFollowsTheMeasuredRates) {
    const rs_sim::CodeFacts code = rs_sim::FactsOf(4, 2, std::nullopt);
    struct Case {
        std::int32_t miscorrections;
        std::optional<YRange> range;
        const char* yRange;
    };
    const Case cases[] = {
        {0, std::nullopt, "set yrange [0.001:*]\n"},
        {1, std::nullopt, "set yrange [1e-04:*]\n"},
        {0, YRange{1e-9, 0.5}, "set yrange [1e-09:0.5]\n"},
    };
    for (const Case& c : cases) {
        const std::vector<PlotPoint> points = {{0.1, 1000, 600, 3000, 0, -1},
                                               {0.01, 1000, 20, 30, c.miscorrections, -1}};
        const std::string script =
            PlotScript("plot.svg", points, {code, rs_sim::QarySymmetricChannel{}, 1, c.range});
        EXPECT_NE(script.find(c.yRange), std::string::npos) << script;
        EXPECT_NE(script.find("set key outside right"), std::string::npos) << script;
        EXPECT_EQ(script.find("$points using 1:7 with linespoints lw 2.5") != std::string::npos,
                  c.miscorrections > 0)
            << script;
    }
}

// A stratified study's text, JSON, CSV and plot on each channel it runs on. On the default
// channel everything is as it always was; on a channel that flips bits each point is headed as
// the sweep gives it, shows the channel's SER and BER, and carries its own weight table.
TEST(ChannelDocuments, StratifiedReportsFollowTheChannel) {
    struct Case {
        rs_sim::Channel channel;
        std::array<double, 2> P0;
        std::array<const char*, 2> heading;  // each point's, in its text and its weight table
        std::vector<const char*> plotted;
        std::vector<const char*> notPlotted;
    };
    const Case cases[] = {
        {rs_sim::QarySymmetricChannel{},
         {0.01, 0.001},
         {"P0=1.00e-002", "P0=1.00e-003"},
         {"set logscale xy\n", "'P0, channel symbol error probability'",
          "q-ary symmetric channel, weight-stratified"},
         {"$uncoded"}},
        {rs_sim::BinarySymmetricChannel{},
         {0.01, 0.001},
         {"P0=1.00e-002", "P0=1.00e-003"},
         {"set logscale xy\n", "'P0, channel bit error probability'",
          "binary symmetric channel, weight-stratified"},
         {"$uncoded"}},
        {rs_sim::BpskAwgnChannel{},
         {-1.5, 4.0},
         {"Eb/N0=-1.50 dB", "Eb/N0=4.00 dB"},
         {"set logscale y\n", "'E_b/N_0 (dB)'", "\n-1.5 ", "\n4 ", "$uncoded using",
          "BPSK over AWGN, hard decisions, weight-stratified"},
         {"set logscale xy", "set format x"}},
    };
    const StratifiedAsk ask{17, 0.0, 1234};
    for (const Case& c : cases) {
        const std::string name = rs_sim::ChannelName(c.channel);
        const bool own = !IsDefaultChannel(c.channel);
        const rs_sim::StratifiedResults study = MadeUpStudy(c.channel, c.P0);

        const std::string method = StratifiedMethodText(ask, study, study.patterns);
        EXPECT_EQ(method.find("no weight sampled"), std::string::npos) << name << method;
        EXPECT_TRUE(method.starts_with("Method: weight-stratified estimation, weights 3 to 5, "))
            << name << method;
        EXPECT_EQ(method.find(", each point its own, seed 1234\n") != std::string::npos, own)
            << name << method;
        const std::string point = StratifiedPointText(study.points[0], c.channel);
        EXPECT_TRUE(
            point.starts_with("\n" + std::string(c.heading[0]) + "   Bounded-distance FER="))
            << name << point;
        EXPECT_EQ(point.find("\nChannel SER=2.50e-001   Channel BER=6.25e-002\nFER=") !=
                      std::string::npos,
                  own)
            << name << point;
        const std::string weights = PerWeightText(study, c.channel);
        if (own) {
            // Each point's table under its own heading, in the points' order.
            const std::size_t first = weights.find("\nPer weight at " + std::string(c.heading[0]) +
                                                   ":\n     w    patterns");
            const std::size_t second = weights.find("\nPer weight at " + std::string(c.heading[1]) +
                                                    ":\n     w    patterns");
            ASSERT_NE(first, std::string::npos) << name << weights;
            ASSERT_NE(second, std::string::npos) << name << weights;
            EXPECT_LT(weights.find("     3          17"), second) << weights;
            EXPECT_GT(weights.find("     5          19"), second) << weights;
        } else {
            EXPECT_TRUE(weights.starts_with("\nPer weight:\n")) << weights;
            EXPECT_EQ(weights.find("Per weight at"), std::string::npos) << weights;
        }

        RunDescription run;
        run.code = rs_sim::FactsOf(4, 2, std::nullopt);
        run.channel = c.channel;
        const nlohmann::ordered_json json = StratifiedJson(run, ask, study, study.patterns, 1.0);
        EXPECT_EQ(json["experiment"].contains("channel"), own) << name;
        EXPECT_EQ(json.contains("perWeight"), !own) << name;
        for (std::size_t i = 0; i < 2; ++i) {
            const nlohmann::ordered_json& p = json["points"][i];
            // On the default channel P0 is the symbol error probability itself.
            EXPECT_EQ(p["channelSER"], own ? 0.25 : c.P0[i]) << name;
            EXPECT_EQ(p.contains("channelBER"), own) << name;
            EXPECT_EQ(p.contains("perWeight"), own) << name;
            if (own) {
                EXPECT_EQ(p["channelBER"], 0.0625) << name;
                ASSERT_EQ(p["perWeight"].size(), 2U) << name;
                EXPECT_EQ(p["perWeight"][0]["w"], 3 + static_cast<int>(i)) << name;
                EXPECT_EQ(p["perWeight"][1]["patterns"], 17 + 2 * static_cast<int>(i)) << name;
            }
        }

        const std::vector<std::string> csv = Lines(StratifiedCsv(study, run.code, c.channel));
        ASSERT_EQ(csv.size(), 3U) << name;
        EXPECT_EQ(csv[0], std::string(kStratifiedCsvHeader) + ",n,k,channel,method" +
                              (own ? ",channelBER" : ""))
            << name;
        for (std::size_t i = 1; i < csv.size(); ++i) {
            EXPECT_EQ(std::count(csv[i].begin(), csv[i].end(), ','),
                      std::count(csv[0].begin(), csv[0].end(), ','))
                << csv[i];
            EXPECT_TRUE(csv[i].ends_with(",15,11," + name + ",stratified" + (own ? ",0.0625" : "")))
                << csv[i];
            const std::size_t comma = csv[i].find(',');
            const std::string swept = csv[i].substr(0, comma);
            EXPECT_EQ(csv[i].substr(comma + 1, csv[i].find(',', comma + 1) - comma - 1),
                      own ? "0.25" : swept)
                << csv[i];
        }

        const std::string script = StratifiedPlotScript("plot.svg", EstimatedPoints(study),
                                                        {run.code, c.channel, 1, std::nullopt});
        for (const char* text : c.plotted) {
            EXPECT_NE(script.find(text), std::string::npos) << text << "\n" << script;
        }
        for (const char* text : c.notPlotted) {
            EXPECT_EQ(script.find(text), std::string::npos) << text << "\n" << script;
        }
    }
    // A study whose points sampled no weight says so, whichever weights hold the tallies.
    rs_sim::StratifiedResults none = MadeUpStudy(rs_sim::BinarySymmetricChannel{}, {0.0, 0.0});
    EXPECT_EQ(StratifiedMethodText(ask, none, 0).find("no weight sampled"), std::string::npos);
    for (rs_sim::WeightSampling& own : none.pointWeights) {
        own.tallies.clear();
    }
    EXPECT_NE(StratifiedMethodText(ask, none, 0).find("no weight sampled"), std::string::npos);
    EXPECT_NE(PerWeightText(none, rs_sim::BinarySymmetricChannel{})
                  .find("\nPer weight at P0=0.00e+000: no weight sampled\n"),
              std::string::npos);
}

// --compare names each run's channel (and interleaving) and keeps runs against Eb/N0 apart from
// runs against P0.
TEST_F(ReportsTest, CompareLabelsRunsByChannel) {
    struct Case {
        rs_sim::Channel channel;
        std::int32_t interleave;
        const char* label;
        bool stratified = false;
    };
    const Case cases[] = {
        {rs_sim::QarySymmetricChannel{}, 1, "RS(15,11), seed 1234, Monte-Carlo"},
        {rs_sim::BpskAwgnChannel{}, 1, "RS(15,11), bpsk-awgn, seed 1234, Monte-Carlo"},
        {Markov{Markov::Level::kBit, 0.0, 0.5, 4.0}, 8,
         "RS(15,11), gilbert-elliott, interleave 8, seed 1234, Monte-Carlo"},
        {rs_sim::BpskAwgnChannel{}, 1, "RS(15,11), bpsk-awgn, seed 1234, stratified", true},
    };
    std::vector<PlottedRun> runs;
    std::vector<std::string> names;
    for (const Case& c : cases) {
        RunDescription run;
        run.seed = 1234;
        run.code = rs_sim::FactsOf(4, 2, std::nullopt);
        run.channel = c.channel;
        run.interleave = c.interleave;
        const nlohmann::ordered_json document =
            c.stratified
                ? StratifiedJson(run, {17, 0.0, 1234}, MadeUpStudy(c.channel, {-1.5, 4.0}), 0, 1.0)
                : nlohmann::ordered_json{{"program", "rs-sim"},
                                         {"version", rs_sim::Version()},
                                         {"experiment", ExperimentJson(run)},
                                         {"code", CodeJson(run.code)},
                                         {"points", nlohmann::ordered_json::array()}};
        names.push_back(std::string(rs_sim::ChannelName(c.channel)) +
                        (c.stratified ? "-stratified" : "") + ".json");
        WriteFile(names.back(), document.dump());
        const ComparedRun compared = ReadComparedRun(directory / names.back(), names.back());
        ASSERT_EQ(compared.error, "");
        EXPECT_EQ(compared.run.label, c.label);
        EXPECT_EQ(compared.run.interleave, c.interleave);
        runs.push_back(compared.run);
    }
    EXPECT_EQ(SweepsOfOneKind({runs[0], runs[2]}, {names[0], names[2]}), "");
    // A stratified run against Eb/N0 keeps its points below 0 dB, and reaches the uncoded curve.
    const std::string script = CompareScript("compare.svg", {runs[1], runs[3]});
    EXPECT_NE(script.find("\n-1.5 "), std::string::npos) << script;
    EXPECT_NE(script.find("$uncoded << EOD\n-"), std::string::npos) << script;
    EXPECT_EQ(SweepsOfOneKind(runs, names),
              "bpsk-awgn.json runs against Eb/N0 (bpsk-awgn) and q-ary-symmetric.json against P0: "
              "one figure has one x axis");
}

}  // namespace
}  // namespace rs
