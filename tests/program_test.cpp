#include "cli/run/program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace rs {
namespace {

using testing::CapturingStream;
using testing::ScriptedCounter;

// Runs the whole program in-process in a fresh directory.
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = testing::FreshTempFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    void WriteFile(const std::string& name, const std::string& text) const {
        std::ofstream(directory / name, std::ios::binary) << text;
    }
    std::string ReadFile(const std::string& name) const {
        std::ifstream in(directory / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    int Run(RunOptions options = {}) {
        ProgramEnvironment environment{
            directory, console, errors, counter, [this] { ++keyWaits; }, std::move(options)};
        environment.terminalColumns = terminalColumns;
        if (availableMemory) {
            environment.availableMemory = [this] { return availableMemory; };
        }
        return RunProgram(environment);
    }
    std::optional<std::uint64_t> availableMemory;  // the machine's, unless set
    int terminalColumns = 0;                       // no terminal, unless set

    std::filesystem::path directory;
    CapturingStream console;
    CapturingStream errors;
    ScriptedCounter counter{{0, 1000}, 1000};
    int keyWaits = 0;
};

std::string Parameters(const std::string& sweep, const std::string& code) {
    return sweep + "maxBlocks=10\nmaxErrorBlocks=5\n" + code;
}

// Each test process's folder is its own, and goes with everything in it.
TEST(TempRootTest, EachIsNewNamesTheProcessAndGoesWithItsFiles) {
    std::filesystem::path first;
    {
        const testing::TempRoot one;
        const testing::TempRoot two;
        EXPECT_NE(one.Path(), two.Path());
        EXPECT_EQ(one.Path().parent_path(), std::filesystem::temp_directory_path());
        EXPECT_TRUE(one.Path().filename().string().starts_with("rs-sim-test-" +
                                                               std::to_string(getpid()) + "-"))
            << one.Path();
        std::filesystem::create_directories(one.Path() / "inner");
        std::ofstream(one.Path() / "inner" / "file") << "kept until the end";
        first = one.Path();
    }
    EXPECT_FALSE(std::filesystem::exists(first));
}

TEST_F(ProgramTest, MissingParameterFileEndsTheRunWithoutTouchingAnything) {
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(console.text, "");
    EXPECT_EQ(errors.text, "rs-sim: param.dat: cannot open: No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(directory / "results.dat"));
    EXPECT_EQ(keyWaits, 0);
}

TEST_F(ProgramTest, RejectedParametersKeepAnEarlierResultsFile) {
    struct Case {
        const char* name;
        std::string parameters;
        const char* error;
    };
    const std::string sweep = "Pmax=0.1\nPmin=0.01\nPstep=0.01\n";
    const Case cases[] = {
        {"too short", "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=10\nmaxErrorBlocks=5\nM=8",
         "rs-sim: param.dat: line 6: the file ends before the newline that ends this line\n"},
        {"malformed", Parameters(sweep, "M=eight\nT=16\n"),
         "rs-sim: param.dat: line 6: expected a number after \"M=\"\n"},
        {"M too small", Parameters(sweep, "M=0\nT=0\n"),
         "rs-sim: param.dat: M=0 is out of range: the field degree must be 1 to 30\n"},
        {"M too large", Parameters(sweep, "M=31\nT=1\n"),
         "rs-sim: param.dat: M=31 is out of range: the field degree must be 1 to 30\n"},
        {"negative T", Parameters(sweep, "M=8\nT=-1\n"),
         "rs-sim: param.dat: T=-1 is out of range: T must be 0 or more\n"},
        {"2T beyond n", Parameters(sweep, "M=3\nT=4\n"),
         "rs-sim: param.dat: T=4 is too large for M=3: 2T must not exceed n=7\n"},
        {"2T beyond n for GF(2)", Parameters(sweep, "M=1\nT=1\n"),
         "rs-sim: param.dat: T=1 is too large for M=1: 2T must not exceed n=1\n"},
        {"never-ending sweep", Parameters("Pmax=0.1\nPmin=0.01\nPstep=0\n", "M=4\nT=2\n"),
         "rs-sim: param.dat: Pstep=0 does not lower P0 towards Pmin: the sweep would never "
         "end\n"},
    };
    for (const Case& c : cases) {
        WriteFile("results.dat", "earlier results\n");
        WriteFile("param.dat", c.parameters);
        console.text.clear();
        errors.text.clear();
        EXPECT_EQ(Run(), 1) << c.name;
        EXPECT_EQ(errors.text, c.error) << c.name;
        EXPECT_EQ(console.text, "") << c.name;
        EXPECT_EQ(ReadFile("results.dat"), "earlier results\n") << c.name;
        EXPECT_EQ(keyWaits, 0) << c.name;
    }
}

// A cap on the kernel's level that names none would quietly run another level.
TEST_F(ProgramTest, RefusesAKernelLevelCapThatNamesNoLevel) {
    WriteFile("results.dat", "earlier results\n");
    WriteFile("param.dat", Parameters("Pmax=0.1\nPmin=0.1\nPstep=0.1\n", "M=4\nT=2\n"));
    const char* before = std::getenv("RS_SIM_SIMD");
    const std::string kept = before != nullptr ? before : "";
    setenv("RS_SIM_SIMD", "avx3", 1);
    const int status = Run();
    if (before != nullptr) {
        setenv("RS_SIM_SIMD", kept.c_str(), 1);
    } else {
        unsetenv("RS_SIM_SIMD");
    }
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(errors.text.starts_with(
        "rs-sim: RS_SIM_SIMD=avx3 names no SIMD level of this processor; use one of portable"))
        << errors.text;
    EXPECT_EQ(ReadFile("results.dat"), "earlier results\n");
}

TEST_F(ProgramTest, SweepWithoutPointsShowsHeaderAndPromptAndEmptiesOldResults) {
    WriteFile("results.dat", "earlier results\n");
    WriteFile("param.dat", Parameters("Pmax=0.01\nPmin=0.1\nPstep=0.01\n", "M=8\nT=16\n"));
    EXPECT_EQ(Run(), 0);
    const std::string header = "Reed-Solomon codes, n=255  k=223  R=0.87  t=16  q=256\n";
    EXPECT_EQ(console.text, header + "\nPress any key");
    EXPECT_EQ(ReadFile("results.dat"), header);
    EXPECT_EQ(errors.text,
              "rs-sim: warning: param.dat: Pmax=0.01 is below Pmin=0.1: the sweep runs no "
              "point\n");
    EXPECT_EQ(keyWaits, 1);
}

// Experiments that run as written but probably not as meant warn, and still run.
TEST_F(ProgramTest, WarnsOfProbabilitiesOutsideZeroToOneAndOfLimitsThatSendNothing) {
    struct Case {
        std::string parameters;
        std::string warnings;
    };
    const std::string code = "M=4\nT=2\n";
    const std::string prefix = "rs-sim: warning: param.dat: ";
    const Case cases[] = {
        {"Pmax=1.5\nPmin=-0.5\nPstep=1\nmaxBlocks=3\nmaxErrorBlocks=3\n" + code,
         prefix + "Pmax=1.5 is above 1: at a P0 above 1 every symbol is hit\n" + prefix +
             "Pmin=-0.5 is below 0: at a P0 below 0 no symbol is hit\n"},
        {"Pmax=0.2\nPmin=0.1\nPstep=0.1\nmaxBlocks=-3\nmaxErrorBlocks=0\n" + code,
         prefix + "maxBlocks=-3 is not positive: the points send no block\n" + prefix +
             "maxErrorBlocks=0 is not positive: the points send no block\n"},
        {"Pmax=1\nPmin=0\nPstep=0.5\nmaxBlocks=3\nmaxErrorBlocks=3\n" + code, ""},
    };
    for (const Case& c : cases) {
        WriteFile("param.dat", c.parameters);
        errors.text.clear();
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(errors.text, c.warnings);
        EXPECT_NE(ReadFile("results.dat").find("\nP0="), std::string::npos);
    }
}

TEST_F(ProgramTest, HeaderDescribesTheCode) {
    struct Case {
        const char* code;
        const char* header;
        std::optional<std::int32_t> length = std::nullopt;
        rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
        std::int32_t interleave = 1;
    };
    using Markov = rs_sim::GilbertElliottChannel;
    const Case cases[] = {
        {"M=8\nT=16\n", "Reed-Solomon codes, n=255  k=223  R=0.87  t=16  q=256\n"},
        // Shortened: RS(204,188) over GF(256), and down to one information symbol.
        {"M=8\nT=8\n", "Reed-Solomon codes, n=204  k=188  R=0.92  t=8  q=256\n", 204},
        {"M=4\nT=2\n", "Reed-Solomon codes, n=5  k=1  R=0.20  t=2  q=16\n", 5},
        {"M=8\nT=16\n", "Reed-Solomon codes, n=255  k=223  R=0.87  t=16  q=256\n", 255},
        {"M=8\nT=0\n", "Reed-Solomon codes, n=255  k=255  R=1.00  t=0  q=256\n"},
        {"M=3\nT=3\n", "Reed-Solomon codes, n=7  k=1  R=0.14  t=3  q=8\n"},
        {"M=2\nT=1\n", "Reed-Solomon codes, n=3  k=1  R=0.33  t=1  q=4\n"},
        {"M=1\nT=0\n", "Reed-Solomon codes, n=1  k=1  R=1.00  t=0  q=2\n"},
        {"M=16\nT=100\n", "Reed-Solomon codes, n=65535  k=65335  R=1.00  t=100  q=65536\n"},
        // A channel other than the default is named after the code, with its parameters.
        {"M=4\nT=2\n", "Reed-Solomon codes, n=15  k=11  R=0.73  t=2  q=16  channel=bpsk-awgn\n",
         std::nullopt, rs_sim::BpskAwgnChannel{}},
        {"M=4\nT=2\n",
         "Reed-Solomon codes, n=15  k=11  R=0.73  t=2  q=16  channel=binary-symmetric  "
         "interleave=3\n",
         std::nullopt, rs_sim::BinarySymmetricChannel{}, 3},
        {"M=4\nT=2\n",
         "Reed-Solomon codes, n=15  k=11  R=0.73  t=2  q=16  channel=gilbert-elliott  "
         "level=symbol  burst=2.5  goodError=0.001  badError=0.5  interleave=4\n",
         std::nullopt, Markov{Markov::Level::kSymbol, 0.001, 0.5, 2.5}, 4},
    };
    for (const Case& c : cases) {
        WriteFile("param.dat", Parameters("Pmax=0\nPmin=1\nPstep=0.1\n", c.code));
        console.text.clear();
        RunOptions options;
        options.length = c.length;
        options.channel = c.channel;
        options.interleave = c.interleave;
        EXPECT_EQ(Run(options), 0) << c.code << errors.text;
        EXPECT_EQ(console.text, std::string(c.header) + "\nPress any key");
        EXPECT_EQ(ReadFile("results.dat"), c.header);
    }
}

// A length that does not shorten the code (2T or less, or past 2^M - 1) is refused before
// anything is written.
TEST_F(ProgramTest, RefusesALengthThatShortensNothing) {
    WriteFile("param.dat", Parameters("Pmax=0.2\nPmin=0.1\nPstep=0.05\n", "M=4\nT=2\n"));
    for (const std::int32_t length : {4, 16}) {
        RunOptions options;
        options.length = length;
        errors.text.clear();
        EXPECT_EQ(Run(options), 1);
        EXPECT_TRUE(errors.text.starts_with("rs-sim: --length " + std::to_string(length) +
                                            " does not shorten the code"))
            << errors.text;
        EXPECT_FALSE(std::filesystem::exists(directory / "results.dat"));
    }
}

TEST_F(ProgramTest, RunsEveryPointAndClosesWithThePrompt) {
    WriteFile("param.dat", Parameters("Pmax=0.2\nPmin=0.1\nPstep=0.05\n", "M=4\nT=2\n"));
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(keyWaits, 1);
    const std::string results = ReadFile("results.dat");
    for (const char* p0 : {"\nP0=2.00e-001   \n", "\nP0=1.50e-001   \n", "\nP0=1.00e-001   \n"}) {
        EXPECT_NE(results.find(p0), std::string::npos) << p0;
    }
    EXPECT_TRUE(console.text.ends_with("KSymbols/second\n\nPress any key"));
}

TEST_F(ProgramTest, OptionsNameTheFilesSeedAndClosingWait) {
    WriteFile("exp.dat", Parameters("Pmax=0.3\nPmin=0.3\nPstep=0.05\n", "M=4\nT=2\n"));
    RunOptions options;
    options.parameterFile = "exp.dat";
    options.resultsFile = "out.dat";
    options.noWait = true;
    EXPECT_EQ(Run(options), 0) << errors.text;
    EXPECT_EQ(keyWaits, 0);
    EXPECT_FALSE(console.text.ends_with("Press any key"));
    EXPECT_FALSE(std::filesystem::exists(directory / "results.dat"));
    // The counts of the single point, without the timing lines that follow them.
    const auto counts = [](const std::string& report) {
        return report.substr(0, report.find("\nExperiment time="));
    };
    const std::string seeded = counts(ReadFile("out.dat"));

    // Another seed gives another stream; the default seed is the run without options.
    options.seed = 99;
    EXPECT_EQ(Run(options), 0);
    EXPECT_NE(counts(ReadFile("out.dat")), seeded);
    WriteFile("param.dat", ReadFile("exp.dat"));
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(counts(ReadFile("results.dat")), seeded);
}

// With 10 MB to spare, GF(2^20) fits the fast engine, which keeps no table of it, but not the
// reference engine's tables and buffers; the refusal names both figures and touches nothing.
TEST_F(ProgramTest, RefusesARunThatWouldNotFitInMemory) {
    WriteFile("param.dat", Parameters("Pmax=1e-6\nPmin=1e-6\nPstep=1\n", "M=20\nT=2\n"));
    WriteFile("results.dat", "earlier\n");
    availableMemory = 10 * 1024 * 1024;
    RunOptions reference;
    reference.monteCarlo.referenceEngine = true;
    reference.noWait = true;
    EXPECT_EQ(Run(reference), 1);
    EXPECT_EQ(errors.text,
              "rs-sim: the run needs about 64.0 MB of memory (reference engine, M=20), but only "
              "10.0 MB is available\n");
    EXPECT_EQ(ReadFile("results.dat"), "earlier\n");
    EXPECT_EQ(console.text, "");

    errors.text.clear();
    RunOptions fast;
    fast.noWait = true;
    EXPECT_EQ(Run(fast), 0) << errors.text;
    EXPECT_NE(ReadFile("results.dat").find("Transmitted blocks=10"), std::string::npos);
}

TEST_F(ProgramTest, UncreatableResultsFileIsReportedBeforeSimulating) {
    WriteFile("param.dat", Parameters("Pmax=0.2\nPmin=0.1\nPstep=0.05\n", "M=4\nT=2\n"));
    std::filesystem::create_directory(directory / "results.dat");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(errors.text, "rs-sim: results.dat: cannot create: Is a directory\n");
    EXPECT_EQ(console.text, "");
    EXPECT_EQ(keyWaits, 0);
}

TEST_F(ProgramTest, FullDiskStopsTheRunWithAnError) {
    WriteFile("param.dat", Parameters("Pmax=0.2\nPmin=0.1\nPstep=0.05\n", "M=4\nT=2\n"));
    std::filesystem::create_symlink("/dev/full", directory / "results.dat");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(errors.text, "rs-sim: results.dat: cannot write: No space left on device\n");
    EXPECT_EQ(keyWaits, 0);
}

}  // namespace
}  // namespace rs

namespace rs {
namespace {

// What a path is: the kinds the outputs table checks afterwards.
char Kind(const std::filesystem::path& path) {
    const auto status = std::filesystem::symlink_status(path);
    switch (status.type()) {
        case std::filesystem::file_type::regular:
            return 'f';
        case std::filesystem::file_type::symlink:
            return 'l';
        case std::filesystem::file_type::character:
            return 'c';
        case std::filesystem::file_type::fifo:
            return 'p';
        case std::filesystem::file_type::directory:
            return 'd';
        default:
            return '-';
    }
}

// Each kind of path given for the JSON report, beside an earlier report: the run's status,
// what the path is afterwards, and an earlier report kept whole by a refused run.
TEST_F(ProgramTest, EveryOutputIsCheckedFirstAndWrittenByItsKind) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        const char* json;
        std::function<bool(const fs::path&)> make;  // false: skip the row here
        int status;
        char kind;  // what the JSON path is afterwards
    };
    const bool root = geteuid() == 0;
    const Case cases[] = {
        {"new file", "new.json", [](const fs::path&) { return true; }, 0, 'f'},
        {"regular file", "old.json",
         [](const fs::path& d) {
             std::ofstream(d / "old.json") << "old";
             return true;
         },
         0, 'f'},
        {"link", "link.json",
         [](const fs::path& d) {
             fs::create_symlink("real.json", d / "link.json");
             return true;
         },
         0, 'l'},
        {"FIFO", "pipe.json",
         [](const fs::path& d) { return mkfifo((d / "pipe.json").c_str(), 0600) == 0; }, 0, 'p'},
        {"character device", "null.json",
         [root](const fs::path& d) {
             return root && mknod((d / "null.json").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         },
         0, 'c'},
        {"missing folder", "none/x.json", [](const fs::path&) { return true; }, 1, '-'},
        {"folder", "folder", [](const fs::path& d) { return fs::create_directory(d / "folder"); },
         1, 'd'},
        {"hard link to the report", "hard.json",
         [](const fs::path& d) {
             fs::create_hard_link(d / "results.dat", d / "hard.json");
             return true;
         },
         1, 'f'},
        {"unwritable folder", "locked/x.json",
         [root](const fs::path& d) {
             fs::create_directory(d / "locked");
             fs::permissions(d / "locked", fs::perms::owner_read | fs::perms::owner_exec);
             return !root;  // root writes anywhere
         },
         1, '-'},
    };
    WriteFile("param.dat", Parameters("Pmax=0.2\nPmin=0.1\nPstep=0.05\n", "M=4\nT=2\n"));
    for (const Case& c : cases) {
        WriteFile("results.dat", "earlier report\n");
        if (!c.make(directory)) {
            continue;
        }
        // The FIFO's reader, opened first so that neither side waits; the document fits the
        // pipe's buffer and is read once the run ends.
        int fifo = -1;
        if (c.kind == 'p') {
            fifo = open((directory / c.json).c_str(), O_RDWR | O_NONBLOCK);
            ASSERT_GE(fifo, 0);
        }
        RunOptions options;
        options.noWait = true;
        options.jsonFile = c.json;
        errors.text.clear();
        EXPECT_EQ(Run(options), c.status) << c.name << ": " << errors.text;
        std::string piped;
        char buffer[4096];
        for (ssize_t got = 0; fifo >= 0 && (got = read(fifo, buffer, sizeof buffer)) > 0;) {
            piped.append(buffer, static_cast<std::size_t>(got));
        }
        if (fifo >= 0) {
            close(fifo);
        }
        EXPECT_EQ(Kind(directory / c.json), c.kind) << c.name;
        if (c.status != 0) {
            EXPECT_EQ(ReadFile("results.dat"), "earlier report\n") << c.name;
            continue;
        }
        const std::string written = c.kind == 'p'   ? piped
                                    : c.kind == 'c' ? ReadFile("results.dat")
                                                    : ReadFile(c.json);
        EXPECT_NE(written.find(c.kind == 'c' ? "Transmitted blocks" : "\"program\": \"rs-sim\""),
                  std::string::npos)
            << c.name;
        // A stream gets the document once.
        EXPECT_EQ(written.find("\"program\"", written.find("\"program\"") + 1), std::string::npos)
            << c.name;
    }
    EXPECT_NE(ReadFile("real.json").find("\"points\""), std::string::npos);
}

// A stratified run reaches rates far below a double's range: RS(1023,963) at P0 = 1e-12 has a
// FER near 1e-313, a denormal, and 1e-14 takes it to about 1e-375.
TEST_F(ProgramTest, StratifiedRunReportsRatesBelowTheRangeOfADouble) {
    WriteFile("param.dat", Parameters("Pmax=0.1\nPmin=0.1\nPstep=0.1\n", "M=10\nT=30\n"));
    RunOptions options;
    options.noWait = true;
    options.method = Method::kStratified;
    options.stratified.samples = 64;
    options.jsonFile = "s.json";
    options.csvFile = "s.csv";
    options.grid = *rs_sim::Points::List("0.01,1e-12,1e-14").value;
    ASSERT_EQ(Run(options), 0) << errors.text;
    EXPECT_TRUE(
        console.text.starts_with("Reed-Solomon codes, n=1023  k=963  R=0.94  t=30  q=1024\n"
                                 "Method: weight-stratified estimation, weights 31 to "))
        << console.text;
    EXPECT_NE(console.text.find("\nP0=1.00e-014   Bounded-distance FER=1."), std::string::npos);
    EXPECT_NE(console.text.find("FER=1.55e-375  (1.4"), std::string::npos) << console.text;
    EXPECT_EQ(ReadFile("results.dat"), console.text);

    const auto json = nlohmann::json::parse(ReadFile("s.json"));
    EXPECT_EQ(json["method"], "stratified");
    EXPECT_EQ(json["stratified"]["samples"], 64);
    const auto& points = json["points"];
    ASSERT_EQ(points.size(), 3U);
    EXPECT_GT(points[0]["FER"].get<double>(), 1e-10);  // in range: plain and log10 agree
    EXPECT_NEAR(std::log10(points[0]["FER"].get<double>()), points[0]["log10FER"].get<double>(),
                1e-9);
    for (const std::size_t deep : {1U, 2U}) {
        // Below the normal doubles: no plain value, only its logarithm.
        EXPECT_TRUE(points[deep]["FER"].is_null());
        EXPECT_TRUE(points[deep]["BER"].is_null());
        EXPECT_LT(points[deep]["log10FER"].get<double>(), -300.0);
        EXPECT_LT(points[deep]["log10FERLow"].get<double>(),
                  points[deep]["log10FER"].get<double>());
    }
    EXPECT_NEAR(points[2]["log10FER"].get<double>(), -374.8, 0.05);
    const auto& perWeight = json["perWeight"];
    ASSERT_FALSE(perWeight.empty());
    EXPECT_EQ(perWeight[0]["w"], 31);
    EXPECT_EQ(perWeight[0]["patterns"], 64);

    const std::string csv = ReadFile("s.csv");
    EXPECT_TRUE(csv.starts_with("P0,channelSER,FER,FERLow,FERHigh,log10FER,"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    EXPECT_NE(csv.find("\n1e-14,1e-14,,,,-374."), std::string::npos) << csv;
}

// On a terminal a long study shows its rounds, then erases them: the screen ends as the text.
TEST_F(ProgramTest, StratifiedRoundsShownOnATerminalLeaveTheScreenAsTheText) {
    WriteFile("param.dat", Parameters("Pmax=0.1\nPmin=0.05\nPstep=0.05\n", "M=4\nT=2\n"));
    counter = ScriptedCounter({0, 3000, 4000, 5000}, 1000);  // seconds pass from the start
    terminalColumns = 80;
    RunOptions options;
    options.noWait = true;
    options.method = Method::kStratified;
    ASSERT_EQ(Run(options), 0) << errors.text;
    EXPECT_NE(console.text.find("Sampling: round 1, "), std::string::npos);
    EXPECT_EQ(testing::Screen(console.text), testing::Screen(ReadFile("results.dat")));
}

// The experiment's values as options, parsed as the command line gives them.
RunOptions Options(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "rs-sim");
    CommandLine line = ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
    EXPECT_TRUE(line.options) << line.err;
    return line.options.value_or(RunOptions{});
}

// The text with the figures of the clock blanked.
std::string WithoutTimes(std::string text) {
    for (const std::string_view figure : {"Experiment time=", "Transmitting speed="}) {
        for (std::size_t at = text.find(figure); at != std::string::npos;
             at = text.find(figure, at + 1)) {
            const std::size_t from = at + figure.size();
            text.erase(from, text.find_first_of(" \n", from) - from);
        }
    }
    return text;
}

// A run given its experiment as options is the run the same experiment file makes, byte for
// byte but the times; options given in part take the rest from the file, in place of its values.
TEST_F(ProgramTest, OptionsInPlaceOfTheFileRunTheSameExperiment) {
    struct Case {
        const char* name;
        std::string file;                 // the experiment of the run from the file
        std::vector<const char*> common;  // options of both runs
        std::vector<const char*> given;   // the experiment as options
        std::string beside = {};          // the file the options run with; none when empty
    };
    const std::string tiny = "maxBlocks=200\nmaxErrorBlocks=20\nM=4\nT=2\n";
    const Case cases[] = {
        {"sweep",
         "Pmax=0.3\nPmin=0.1\nPstep=0.1\n" + tiny,
         {},
         {"--m", "4", "--t", "2", "--max-blocks", "200", "--max-error-blocks", "20", "--sweep",
          "0.3:0.1:0.1"}},
        {"decades",
         Parameters("Pmax=0\nPmin=0\nPstep=0\n", "M=8\nT=16\n"),
         {"--p0-decades", "1e-1:1e-2:2"},
         {"--m", "8", "--t", "16", "--max-blocks", "10", "--max-error-blocks", "5"}},
        {"in part",
         "Pmax=0.2\nPmin=0.1\nPstep=0.05\nmaxBlocks=150\nmaxErrorBlocks=20\nM=4\nT=1\n",
         {},
         {"--max-blocks", "150", "--t", "1"},
         "Pmax=0.2\nPmin=0.1\nPstep=0.05\n" + tiny},
        {"frames",
         Parameters("Pmax=0.1\nPmin=0.05\nPstep=0.05\n", "M=4\nT=2\n"),
         {"--channel", "binary-symmetric", "--interleave", "2"},
         {"--m", "4", "--t", "2", "--max-blocks", "10", "--max-error-blocks", "5", "--sweep",
          "0.1:0.05:0.05"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(directory / "param.dat");
        WriteFile("param.dat", c.file);
        console.text.clear();
        errors.text.clear();
        ASSERT_EQ(Run(Options(c.common)), 0) << c.name << errors.text;
        const std::string fileConsole = WithoutTimes(console.text);
        const std::string fileResults = WithoutTimes(ReadFile("results.dat"));
        const std::string fileErrors = errors.text;

        std::filesystem::remove(directory / "param.dat");
        if (!c.beside.empty()) {
            WriteFile("param.dat", c.beside);
        }
        std::vector<const char*> arguments = c.common;
        arguments.insert(arguments.end(), c.given.begin(), c.given.end());
        console.text.clear();
        errors.text.clear();
        ASSERT_EQ(Run(Options(arguments)), 0) << c.name << errors.text;
        EXPECT_EQ(WithoutTimes(console.text), fileConsole) << c.name;
        EXPECT_EQ(WithoutTimes(ReadFile("results.dat")), fileResults) << c.name;
        EXPECT_EQ(errors.text, fileErrors) << c.name;
        EXPECT_NE(fileResults.find("\nP0="), std::string::npos) << c.name;
    }
}

// --generator philox draws the q-ary channel's frames from Philox keyed by (seed, point): the
// same report for any number of threads, with or without independent points, and another
// stream than the program's generator.
TEST_F(ProgramTest, PhiloxGeneratorGivesOneReportOnAnyThreadsAndAnotherStream) {
    WriteFile("param.dat",
              "Pmax=0.06\nPmin=0.02\nPstep=0.02\nmaxBlocks=20000\n"
              "maxErrorBlocks=300\nM=8\nT=16\n");
    const auto report = [&](std::vector<const char*> arguments) {
        console.text.clear();
        errors.text.clear();
        EXPECT_EQ(Run(Options(arguments)), 0) << errors.text;
        return WithoutTimes(ReadFile("results.dat"));
    };
    const std::string philox = report({"--generator", "philox", "-j", "1"});
    EXPECT_NE(philox.find("channel=q-ary-symmetric  erasures=0"), std::string::npos) << philox;
    for (const char* threads : {"2", "3"}) {
        EXPECT_EQ(report({"--generator", "philox", "-j", threads}), philox) << threads;
    }
    EXPECT_EQ(report({"--generator", "philox", "--independent-points"}), philox);
    const std::string programs = report({"-j", "2"});
    const auto body = [](const std::string& text) { return text.substr(text.find('\n')); };
    EXPECT_NE(body(programs), body(philox));
    EXPECT_EQ(programs, report({"--generator", "default"}));
}

// Options are checked by the file's rules, and the messages name them.
TEST_F(ProgramTest, OptionsAreCheckedAsTheFileIsAndNamedInMessages) {
    struct Case {
        std::vector<const char*> arguments;
        bool file;  // param.dat holds M=4, T=2 and a sweep
        int status;
        const char* errors;
    };
    const Case cases[] = {
        {{"--t", "9"}, true, 1, "rs-sim: --t: T=9 is too large for M=4: 2T must not exceed n=15\n"},
        {{"--m", "31"},
         true,
         1,
         "rs-sim: --m: M=31 is out of range: the field degree must be 1 to 30\n"},
        {{"--m", "3", "--t", "2"}, true, 0, ""},
        {{"--sweep", "0.1:0.01:0"},
         true,
         1,
         "rs-sim: --sweep: Pstep=0 does not lower P0 towards Pmin: the sweep would never end\n"},
        {{"--max-blocks", "0", "--sweep", "0.01:0.1:0.01"},
         true,
         0,
         "rs-sim: warning: --sweep: Pmax=0.01 is below Pmin=0.1: the sweep runs no point\n"
         "rs-sim: warning: --max-blocks: maxBlocks=0 is not positive: the points send no "
         "block\n"},
        {{"--m", "4", "--t", "2", "--max-blocks", "10", "--max-error-blocks", "5"},
         false,
         1,
         "rs-sim: param.dat: cannot open: No such file or directory\n"},
        {{"--m", "4", "--t", "2", "--max-blocks", "10", "--max-error-blocks", "5", "--p0", "0.1",
          "--length", "4"},
         false,
         1,
         "rs-sim: --length 4 does not shorten the code (M=4, T=2): it must exceed 2T=4 and be at "
         "most 2^M-1=15\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(directory / "param.dat");
        if (c.file) {
            WriteFile("param.dat", Parameters("Pmax=0.2\nPmin=0.1\nPstep=0.1\n", "M=4\nT=2\n"));
        }
        errors.text.clear();
        EXPECT_EQ(Run(Options(c.arguments)), c.status) << c.arguments.front();
        EXPECT_EQ(errors.text, c.errors);
    }
}

// A run from options resumes from the same options, and is refused with other limits.
TEST_F(ProgramTest, RunFromOptionsResumes) {
    std::vector<const char*> arguments = {
        "--m", "4",       "--t",        "2", "--max-blocks", "40", "--max-error-blocks",
        "5",   "--sweep", "0.3:0.1:0.1"};
    ASSERT_EQ(Run(Options(arguments)), 0) << errors.text;
    const std::string whole = ReadFile("results.dat");
    const std::size_t second = whole.find("\nP0=", whole.find("\nP0=") + 1);
    ASSERT_NE(second, std::string::npos);
    std::filesystem::resize_file(directory / "results.dat", second + 10);  // cut short

    arguments.push_back("--resume");
    console.text.clear();
    ASSERT_EQ(Run(Options(arguments)), 0) << errors.text;
    EXPECT_NE(console.text.find("Resuming: 1 of 3 points kept"), std::string::npos);
    EXPECT_EQ(WithoutTimes(ReadFile("results.dat")), WithoutTimes(whole));

    arguments[7] = "6";  // --max-error-blocks
    EXPECT_EQ(Run(Options(arguments)), 1);
    EXPECT_NE(errors.text.find("point 1 did not end by this experiment's limits (maxBlocks=40, "
                               "maxErrorBlocks=6)"),
              std::string::npos)
        << errors.text;
}

// A threshold keeps the console's and results.dat's points as they are and names itself in the
// header; JSON and CSV give the THETA each point used. THETA 0 is hard decisions: the same
// points, word for word.
TEST_F(ProgramTest, ThresholdRunsNameTheirThetaAndKeepTheLayout) {
    WriteFile("param.dat", Parameters("Pmax=0\nPmin=0\nPstep=0\n", "M=8\nT=16\n"));
    const auto run = [&](std::vector<const char*> extra) {
        std::vector<const char*> arguments = {
            "--channel",          "bpsk-awgn", "--ebn0", "6,6.5",  "--max-blocks", "3000",
            "--max-error-blocks", "3000",      "--json", "t.json", "--csv",        "t.csv"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        console.text.clear();
        errors.text.clear();
        EXPECT_EQ(Run(Options(arguments)), 0) << errors.text;
        return WithoutTimes(ReadFile("results.dat"));
    };
    const auto body = [](const std::string& text) { return text.substr(text.find('\n')); };
    const std::string hard = run({});
    const std::string zero = run({"--erase-below", "0"});
    EXPECT_NE(zero.find("channel=bpsk-awgn  eraseBelow=0\n"), std::string::npos) << zero;
    EXPECT_EQ(body(zero), body(hard));
    const std::string best = run({"--erase-below", "best"});
    EXPECT_NE(best.find("channel=bpsk-awgn  eraseBelow=best\n"), std::string::npos) << best;
    const auto json = nlohmann::json::parse(ReadFile("t.json"));
    EXPECT_EQ(json["experiment"]["channel"]["eraseBelow"], "best");
    std::istringstream csv(ReadFile("t.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_TRUE(line.ends_with(",channelErasures,errorsCorrected,erasuresCorrected,eraseBelow"));
    for (const auto& point : json["points"]) {
        const double theta = point["eraseBelow"];
        EXPECT_GT(theta, 0.0);
        EXPECT_LT(theta, 1.0);
        EXPECT_GT(point["channelErasures"].get<std::int64_t>(), 0);
        std::getline(csv, line);
        EXPECT_EQ(std::stod(line.substr(line.rfind(',') + 1)), theta) << line;
    }
}

}  // namespace
}  // namespace rs
