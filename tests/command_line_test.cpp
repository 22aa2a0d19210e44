#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rs {
namespace {

CommandLine Parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "rs-sim");
    return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLine, AcceptedLines) {
    struct Case {
        std::vector<const char*> arguments;
        RunOptions expected;
    };
    RunOptions everything;
    everything.parameterFile = "exp.dat";
    everything.resultsFile = "out.dat";
    everything.noWait = true;
    everything.seed = 2097151;
    everything.jsonFile = "out.json";
    everything.csvFile = "out.csv";
    everything.plotFile = "out.SVG";
    everything.monteCarlo.resume = true;
    RunOptions positional;
    positional.parameterFile = "my experiment.dat";
    RunOptions seedZero;
    seedZero.seed = 0;
    seedZero.plotFile = "plot.png";
    RunOptions stratified;
    stratified.method = Method::kStratified;
    stratified.stratified.samples = 500;
    RunOptions precise;
    precise.method = Method::kStratified;
    precise.stratified.precision = 0.001;
    const Case cases[] = {
        {{}, RunOptions{}},
        {{"--method", "stratified", "--samples", "500"}, stratified},
        {{"--method=stratified", "--precision=0.001"}, precise},
        {{"--method", "monte-carlo"}, RunOptions{}},
        {{"my experiment.dat"}, positional},
        {{"-p", "exp.dat", "-o", "out.dat", "--no-wait", "--seed", "2097151", "--json", "out.json",
          "--csv", "out.csv", "--plot", "out.SVG", "--resume"},
         everything},
        {{"--param=exp.dat", "--results=out.dat", "--no-wait", "--seed=2097151", "--json=out.json",
          "--csv=out.csv", "--plot=out.SVG", "--resume"},
         everything},
        {{"--seed", "0", "--plot", "plot.png"}, seedZero},
    };
    for (const Case& c : cases) {
        const CommandLine line = Parse(c.arguments);
        ASSERT_TRUE(line.options.has_value()) << line.err;
        const RunOptions& o = *line.options;
        const RunOptions& e = c.expected;
        EXPECT_EQ(o.parameterFile, e.parameterFile);
        EXPECT_EQ(o.resultsFile, e.resultsFile);
        EXPECT_EQ(o.noWait, e.noWait);
        EXPECT_EQ(o.seed, e.seed);
        EXPECT_EQ(o.jsonFile, e.jsonFile);
        EXPECT_EQ(o.csvFile, e.csvFile);
        EXPECT_EQ(o.plotFile, e.plotFile);
        EXPECT_EQ(o.monteCarlo.resume, e.monteCarlo.resume);
        EXPECT_EQ(o.method, e.method);
        EXPECT_EQ(o.stratified.samples, e.stratified.samples);
        EXPECT_EQ(o.stratified.precision, e.stratified.precision);
        EXPECT_EQ(line.err, "");
    }
}

TEST(CommandLine, HelpAndVersionRunNothing) {
    for (const char* flag : {"-h", "--help"}) {
        const CommandLine line = Parse({flag, "--bogus-after-help"});
        EXPECT_FALSE(line.options.has_value());
        EXPECT_EQ(line.exitStatus, 0);
        EXPECT_NE(line.out.find("Usage: rs-sim [OPTIONS] [EXPERIMENT_FILE]"), std::string::npos);
        EXPECT_NE(line.out.find("--resume"), std::string::npos);
    }
    const CommandLine version = Parse({"--version"});
    EXPECT_FALSE(version.options.has_value());
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, std::string("rs-sim ") + RS_SIM_VERSION + "\n");
}

TEST(CommandLine, RefusedLinesExitTwoWithOneLine) {
    const std::vector<std::vector<const char*>> refused = {
        {"--bogus"},
        {"a.dat", "b.dat"},
        {"a.dat", "-p", "b.dat"},
        {"-o"},
        {"--json"},
        {"--seed", "-1"},
        {"--seed", "2097152"},
        {"--seed", "12x"},
        {"--plot", "plot.pdf"},
        {"--plot", "plot"},
        {"-o", ""},
        {"--no-wait=3"},
        {"--json", "results.dat"},
        {"--csv", "same", "--json", "./same"},
        {"-p", "x.dat", "-o", "x.dat"},
        // Found by fuzzing: arguments echoed with a newline or an escape made the message
        // span lines or reach the terminal raw.
        {"-", "", "\n", "--\x01", "$"},
        {"--seed", "\x1b[2J"},
        // The stratified method's options, alone or where they clash.
        {"--method", "exact"},
        {"--samples", "100"},
        {"--precision", "0.01"},
        {"--method", "stratified", "--samples", "0"},
        {"--method", "stratified", "--precision", "0"},
        {"--method", "stratified", "--samples", "10", "--precision", "0.1"},
        {"--method", "stratified", "--resume"},
        {"--method", "stratified", "--engine", "reference"},
        {"--method", "stratified", "--independent-points"},
    };
    for (const auto& arguments : refused) {
        const CommandLine line = Parse(arguments);
        std::string shown;
        for (const char* argument : arguments) {
            shown += std::string(argument) + " ";
        }
        EXPECT_FALSE(line.options.has_value()) << shown;
        EXPECT_EQ(line.exitStatus, 2) << shown;
        EXPECT_EQ(line.out, "") << shown;
        EXPECT_TRUE(line.err.starts_with("rs-sim: ")) << shown << line.err;
        EXPECT_TRUE(line.err.ends_with(" (see rs-sim --help)\n")) << shown << line.err;
        EXPECT_EQ(std::count(line.err.begin(), line.err.end(), '\n'), 1) << shown << line.err;
        EXPECT_EQ(line.err.find('\x1b'), std::string::npos) << shown;
    }
}

// The P0 grids' accepted forms, with the points they give, and refused forms, with the start
// of their message.
TEST(CommandLine, P0Grids) {
    struct Accepted {
        std::vector<const char*> arguments;
        std::vector<float> points;
    };
    const Accepted accepted[] = {
        {{"--p0", "0.1,0.05,2e-3"}, {0.1F, 0.05F, 2e-3F}},
        {{"--p0", "0.02, 0.3 ,0"}, {0.02F, 0.3F, 0.0F}},  // any order, spaces, 0
        {{"--p0=1.5"}, {1.5F}},
        {{"--p0-decades", "1e-1:1e-3:4"},
         {0.1F, 0.0562F, 0.0316F, 0.0178F, 0.01F, 0.00562F, 0.00316F, 0.00178F, 0.001F}},
        {{"--p0-decades", "0.05:0.01:2"}, {0.0316F, 0.01F}},  // FROM off the grid
        {{"--p0-decades", "1:1:3"}, {1.0F}},
        {{"--p0-decades", "1e-30:1e-31:1"}, {1e-30F, 1e-31F}},
    };
    for (const Accepted& c : accepted) {
        const CommandLine line = Parse(c.arguments);
        ASSERT_TRUE(line.options && line.options->grid) << c.arguments[0] << ": " << line.err;
        EXPECT_EQ(line.options->grid->values, c.points) << c.arguments.back();
    }
    struct Refused {
        std::vector<const char*> arguments;
        const char* message;
    };
    const Refused refused[] = {
        {{"--p0", ""}, "rs-sim: --p0: \"\" is not"},
        {{"--p0", "0.1,,0.2"}, "rs-sim: --p0: \"\" is not"},
        {{"--p0", "0.1,-0.2"}, "rs-sim: --p0: \"-0.2\" is not"},
        {{"--p0", "0.1,nan"}, "rs-sim: --p0: \"nan\" is not"},
        {{"--p0", "1e-60"}, "rs-sim: --p0: \"1e-60\" is not"},
        {{"--p0", "0.1x"}, "rs-sim: --p0: \"0.1x\" is not"},
        {{"--p0-decades", "1e-1:1e-3"}, "rs-sim: --p0-decades: \"1e-1:1e-3\" is not FROM:TO:N"},
        {{"--p0-decades", "1e-3:1e-1:4"}, "rs-sim: --p0-decades: \"1e-3:1e-1:4\" needs FROM >= TO"},
        {{"--p0-decades", "0:0:4"}, "rs-sim: --p0-decades: \"0:0:4\" needs FROM >= TO > 0"},
        {{"--p0-decades", "1:0.1:0"}, "rs-sim: --p0-decades: \"1:0.1:0\" needs N from 1"},
        {{"--p0-decades", "0.05:0.04:1"}, "rs-sim: --p0-decades: \"0.05:0.04:1\" holds no point"},
        {{"--p0-decades", "1e-40:1e-50:1"}, "rs-sim: --p0-decades: \"1e-40:1e-50:1\" reaches"},
        {{"--p0", "0.1", "--p0-decades", "1:0.1:1"}, "rs-sim: --p0 excludes --p0-decades"},
    };
    for (const Refused& c : refused) {
        const CommandLine line = Parse(c.arguments);
        EXPECT_FALSE(line.options.has_value()) << c.arguments.back();
        EXPECT_EQ(line.exitStatus, 2);
        EXPECT_TRUE(line.err.starts_with(c.message)) << line.err;
    }
}

}  // namespace
}  // namespace rs
