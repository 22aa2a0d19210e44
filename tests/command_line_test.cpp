#include "driver/command_line.h"

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
    everything.resume = true;
    RunOptions positional;
    positional.parameterFile = "my experiment.dat";
    RunOptions seedZero;
    seedZero.seed = 0;
    seedZero.plotFile = "plot.png";
    const Case cases[] = {
        {{}, RunOptions{}},
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
        EXPECT_EQ(o.resume, e.resume);
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

}  // namespace
}  // namespace rs
