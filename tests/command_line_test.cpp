#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "cli/resume_command.h"

namespace rs {
namespace {

CommandLine Parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "rs-sim");
    return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

using Markov = rs_sim::GilbertElliottChannel;

// The same channel with the same parameters.
bool SameChannel(const rs_sim::Channel& a, const rs_sim::Channel& b) {
    const auto* markovA = std::get_if<Markov>(&a);
    const auto* markovB = std::get_if<Markov>(&b);
    const auto* qaryA = std::get_if<rs_sim::QarySymmetricChannel>(&a);
    const auto* qaryB = std::get_if<rs_sim::QarySymmetricChannel>(&b);
    if (qaryA != nullptr && qaryB != nullptr && qaryA->erasure != qaryB->erasure) {
        return false;
    }
    const auto* bpskA = std::get_if<rs_sim::BpskAwgnChannel>(&a);
    const auto* bpskB = std::get_if<rs_sim::BpskAwgnChannel>(&b);
    if (bpskA != nullptr && bpskB != nullptr && bpskA->eraseBelow != bpskB->eraseBelow) {
        return false;
    }
    return a.index() == b.index() &&
           (markovA == nullptr ||
            (markovA->level == markovB->level && markovA->burst == markovB->burst &&
             markovA->goodError == markovB->goodError && markovA->badError == markovB->badError));
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
        {{"--seed", "0", "--plot", "plot.png", "--y-range", "1e-9:0.5"}, seedZero},
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
        const bool ranged = std::find(c.arguments.begin(), c.arguments.end(),
                                      std::string_view("--y-range")) != c.arguments.end();
        EXPECT_EQ(o.yRange.has_value(), ranged);
        if (ranged) {
            EXPECT_EQ(o.yRange->low, 1e-9);
            EXPECT_EQ(o.yRange->high, 0.5);
        }
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
        // --compare runs nothing, so what a run would take is refused, not ignored.
        {"--compare", "a.json", "--plot", "c.svg", "--p0", "0.1"},
        {"--compare", "a.json", "--plot", "c.svg", "p.dat"},
        // The plot's y axis: two rates on a log axis, the lower first, and a plot to set.
        {"--generator", "mersenne"},
        {"--plot", "c.svg", "--y-range", "1e-6"},
        {"--plot", "c.svg", "--y-range", "0:1"},
        {"--plot", "c.svg", "--y-range", "1e-3:1e-6"},
        {"--plot", "c.svg", "--y-range", "1e-6:1x"},
        {"--y-range", "1e-6:1"},
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

// A long option the program does not know is named, with the nearest it knows when one is near.
TEST(CommandLine, UnknownOptionsSuggestTheNearest) {
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"--thread", "2", "a.dat"}, "rs-sim: unknown option --thread; did you mean --threads? "},
        {{"a.dat", "--chanel=bpsk-awgn"},
         "rs-sim: unknown option --chanel; did you mean --channel? "},
        {{"--no-wiat"}, "rs-sim: unknown option --no-wiat; did you mean --no-wait? "},
        {{"--colour"}, "rs-sim: unknown option --colour (see"},
    };
    for (const auto& [arguments, message] : cases) {
        const CommandLine line = Parse(arguments);
        EXPECT_EQ(line.exitStatus, 2);
        EXPECT_TRUE(line.err.starts_with(message)) << line.err;
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
        {{"--p0=1,0.5"}, {1.0F, 0.5F}},
        {{"--p0-decades", "1e-1:1e-3:4"},
         {0.1F, 0.0562F, 0.0316F, 0.0178F, 0.01F, 0.00562F, 0.00316F, 0.00178F, 0.001F}},
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
        {{"--p0", "2"},
         "rs-sim: --p0: \"2\" is not a probability: give decimal values from 0 to 1"},
        {{"--p0-decades", "3:1e-2:1"}, "rs-sim: --p0-decades: \"3:1e-2:1\" needs 1 >= FROM"},
        {{"--p0", "0.1,nan"}, "rs-sim: --p0: \"nan\" is not"},
        {{"--p0", "1e-60"}, "rs-sim: --p0: \"1e-60\" is not"},
        {{"--p0", "0.1x"}, "rs-sim: --p0: \"0.1x\" is not"},
        {{"--p0-decades", "1e-1:1e-3"}, "rs-sim: --p0-decades: \"1e-1:1e-3\" is not FROM:TO:N"},
        // A FROM or TO off the grid would start or end the sweep elsewhere.
        {{"--p0-decades", "0.05:0.01:2"},
         "rs-sim: --p0-decades: \"0.05:0.01:2\": FROM is not a point of 2 a decade; the nearest "
         "are 0.1 and 0.0316 "},
        {{"--p0-decades", "1e-1:2e-3:4"},
         "rs-sim: --p0-decades: \"1e-1:2e-3:4\": TO is not a point of 4 a decade; the nearest "
         "are 0.00316 and 0.00178 "},
        {{"--p0-decades", "1e-3:1e-1:4"},
         "rs-sim: --p0-decades: \"1e-3:1e-1:4\" needs 1 >= FROM >= TO"},
        {{"--p0-decades", "0:0:4"}, "rs-sim: --p0-decades: \"0:0:4\" needs 1 >= FROM >= TO > 0"},
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

// Each channel with its options, and the options that belong to another channel or sweep in
// the wrong terms, refused with the start of their message.
TEST(CommandLine, Channels) {
    struct Accepted {
        std::vector<const char*> arguments;
        rs_sim::Channel channel;
        std::int32_t interleave = 1;
    };
    const Accepted accepted[] = {
        {{}, rs_sim::QarySymmetricChannel{}},
        {{"--channel", "q-ary-symmetric"}, rs_sim::QarySymmetricChannel{}},
        {{"--channel", "binary-symmetric", "--interleave", "8"},
         rs_sim::BinarySymmetricChannel{},
         8},
        {{"--channel", "bpsk-awgn", "--ebn0", "3"}, rs_sim::BpskAwgnChannel{}},
        {{"--channel", "bpsk-awgn", "--ebn0", "3", "--erase-below", "0.25"},
         rs_sim::BpskAwgnChannel{0.25}},
        {{"--channel", "bpsk-awgn", "--ebn0", "3", "--erase-below", "best"},
         rs_sim::BpskAwgnChannel{rs_sim::BpskAwgnChannel::BestThreshold{}}},
        {{"--channel=gilbert-elliott", "--burst", "10"},
         Markov{Markov::Level::kBit, 0.0, 0.5, 10.0}},
        {{"--channel", "gilbert-elliott", "--level", "symbol", "--burst", "2.5", "--good-error",
          "0.001", "--bad-error", "0.3", "--interleave", "1024"},
         Markov{Markov::Level::kSymbol, 0.001, 0.3, 2.5},
         1024},
        {{"--erasures", "0.25"}, rs_sim::QarySymmetricChannel{0.25}},
        // Puncturing and received delivery run the q-ary channel on frames, without erasures.
        {{"--puncture", "2"}, rs_sim::QarySymmetricChannel{0.0}},
        {{"--on-failure", "received"}, rs_sim::QarySymmetricChannel{0.0}},
        {{"--on-failure", "decoded"}, rs_sim::QarySymmetricChannel{}},
        {{"--channel", "binary-symmetric", "--puncture", "1"}, rs_sim::BinarySymmetricChannel{}},
        // Philox frames for the q-ary channel; the stratified method draws from Philox anyway.
        {{"--generator", "philox"}, rs_sim::QarySymmetricChannel{0.0}},
        {{"--generator", "philox", "--method", "stratified"}, rs_sim::QarySymmetricChannel{}},
        {{"--generator", "philox", "--channel", "binary-symmetric"},
         rs_sim::BinarySymmetricChannel{}},
    };
    for (const Accepted& c : accepted) {
        const CommandLine line = Parse(c.arguments);
        ASSERT_TRUE(line.options) << line.err;
        EXPECT_TRUE(SameChannel(line.options->channel, c.channel))
            << rs_sim::ChannelName(line.options->channel);
        EXPECT_EQ(line.options->interleave, c.interleave);
    }
    struct Refused {
        std::vector<const char*> arguments;
        const char* message;
    };
    const Refused refused[] = {
        {{"--channel", "awgn"},
         "rs-sim: --channel: awgn not in "
         "{q-ary-symmetric,binary-symmetric,bpsk-awgn,gilbert-elliott}"},
        {{"--channel", "gilbert-elliott"}, "rs-sim: --channel gilbert-elliott needs --burst B"},
        {{"--channel", "gilbert-elliott", "--burst", "4", "--level", "byte"}, "rs-sim: --level"},
        {{"--burst", "10"},
         "rs-sim: --burst belongs to --channel gilbert-elliott, not to q-ary-symmetric"},
        {{"--channel", "binary-symmetric", "--level", "bit"},
         "rs-sim: --level belongs to --channel gilbert-elliott, not to binary-symmetric"},
        {{"--channel", "bpsk-awgn", "--ebn0", "1", "--good-error", "0"},
         "rs-sim: --good-error belongs to --channel gilbert-elliott, not to bpsk-awgn"},
        {{"--bad-error", "0.4"}, "rs-sim: --bad-error belongs to --channel gilbert-elliott"},
        {{"--ebn0", "1"}, "rs-sim: --ebn0 belongs to --channel bpsk-awgn, not to q-ary-symmetric"},
        {{"--channel", "gilbert-elliott", "--burst", "3", "--ebn0-range", "0:1:1"},
         "rs-sim: --ebn0-range belongs to --channel bpsk-awgn, not to gilbert-elliott"},
        {{"--channel", "bpsk-awgn"},
         "rs-sim: --channel bpsk-awgn runs Eb/N0 in dB: give --ebn0 or --ebn0-range"},
        {{"--channel", "bpsk-awgn", "--p0", "0.1"}, "rs-sim: --p0 gives probabilities"},
        {{"--channel", "bpsk-awgn", "--ebn0", "1", "--p0-decades", "1e-1:1e-2:1"},
         "rs-sim: --p0-decades gives probabilities"},
        {{"--channel", "bpsk-awgn", "--ebn0", "1", "--ebn0-range", "0:1:1"},
         "rs-sim: --ebn0 excludes --ebn0-range"},
        {{"--channel", "binary-symmetric", "--interleave", "0"}, "rs-sim: --interleave"},
        {{"--channel", "binary-symmetric", "--interleave", "1025"}, "rs-sim: --interleave"},
        {{"--channel", "binary-symmetric", "--erasures", "0.1"},
         "rs-sim: --erasures belongs to --channel q-ary-symmetric, not to binary-symmetric"},
        {{"--erasures", "1.5"}, "rs-sim: --erasures"},
        {{"--channel", "binary-symmetric", "--erase-below", "0.2"},
         "rs-sim: --erase-below belongs to --channel bpsk-awgn, not to binary-symmetric"},
        {{"--channel", "bpsk-awgn", "--ebn0", "1", "--erase-below", "half"},
         "rs-sim: --erase-below takes a threshold THETA (a number, 0 or more) or best, not "
         "\"half\""},
        {{"--channel", "bpsk-awgn", "--ebn0", "1", "--erase-below=-0.5"},
         "rs-sim: --erase-below takes a threshold THETA (a number, 0 or more) or best, not "
         "\"-0.5\""},
        {{"--puncture", "-1"}, "rs-sim: --puncture"},
        {{"--on-failure", "ignore"}, "rs-sim: --on-failure"},
    };
    for (const Refused& c : refused) {
        const CommandLine line = Parse(c.arguments);
        EXPECT_FALSE(line.options.has_value()) << c.message;
        EXPECT_EQ(line.exitStatus, 2);
        EXPECT_TRUE(line.err.starts_with(c.message)) << line.err;
    }
}

// Eb/N0 values in dB: listed in any order and of either sign, or FROM + i x STEP up or down to
// TO, where a value that rounds to TO's float is TO.
TEST(CommandLine, EbN0Grids) {
    struct Accepted {
        std::vector<const char*> arguments;
        std::vector<float> points;
    };
    const Accepted accepted[] = {
        {{"--ebn0", "-1,0,2.5"}, {-1.0F, 0.0F, 2.5F}},
        {{"--ebn0=-.5, 7 ,1e-1"}, {-0.5F, 7.0F, 0.1F}},
        {{"--ebn0-range", "0:1:0.25"}, {0.0F, 0.25F, 0.5F, 0.75F, 1.0F}},
        // Added up in single precision, ten steps of 0.1 would end at 1.0000001.
        {{"--ebn0-range", "0:1:0.1"},
         {0.0F, 0.1F, 0.2F, 0.3F, 0.4F, 0.5F, 0.6F, 0.7F, 0.8F, 0.9F, 1.0F}},
        {{"--ebn0-range=-2:-3:-0.5"}, {-2.0F, -2.5F, -3.0F}},
        {{"--ebn0-range", "1:2.9:1"}, {1.0F, 2.0F}},
        {{"--ebn0-range", "4:4:-1"}, {4.0F}},
    };
    for (const Accepted& c : accepted) {
        std::vector<const char*> arguments = {"--channel", "bpsk-awgn"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CommandLine line = Parse(arguments);
        ASSERT_TRUE(line.options && line.options->grid) << c.arguments.back() << ": " << line.err;
        EXPECT_EQ(line.options->grid->values, c.points) << c.arguments.back();
    }
    struct Refused {
        const char* arguments;
        const char* message;
    };
    const Refused refused[] = {
        {"--ebn0=1,,2", "rs-sim: --ebn0: \"\" is not an Eb/N0"},
        {"--ebn0=1,inf", "rs-sim: --ebn0: \"inf\" is not"},
        {"--ebn0=1,2dB", "rs-sim: --ebn0: \"2dB\" is not"},
        {"--ebn0=1e39", "rs-sim: --ebn0: \"1e39\" is not"},
        {"--ebn0-range=0:1", "rs-sim: --ebn0-range: \"0:1\" is not FROM:TO:STEP"},
        {"--ebn0-range=0:1:0", "rs-sim: --ebn0-range: \"0:1:0\" needs a STEP other than 0"},
        {"--ebn0-range=0:5:-1",
         "rs-sim: --ebn0-range: \"0:5:-1\" never reaches TO: STEP must be "
         "positive"},
        {"--ebn0-range=5:0:1",
         "rs-sim: --ebn0-range: \"5:0:1\" never reaches TO: STEP must be "
         "negative"},
        {"--ebn0-range=0:nan:1", "rs-sim: --ebn0-range: \"0:nan:1\" needs finite"},
        {"--ebn0-range=0:1e39:1", "rs-sim: --ebn0-range: \"0:1e39:1\" needs finite"},
        {"--ebn0-range=0:1e7:1e-3", "rs-sim: --ebn0-range: \"0:1e7:1e-3\" has more than 1000000"},
        {"--ebn0-range=100:100.001:1e-7",
         "rs-sim: --ebn0-range: \"100:100.001:1e-7\" has a STEP "
         "too small"},
    };
    for (const Refused& c : refused) {
        const CommandLine line = Parse({"--channel", "bpsk-awgn", c.arguments});
        EXPECT_FALSE(line.options.has_value()) << c.arguments;
        EXPECT_EQ(line.exitStatus, 2);
        EXPECT_TRUE(line.err.starts_with(c.message)) << line.err;
    }
}

// The experiment file's lines as options: given all, with the points, the run needs no file;
// a file named is read all the same.
TEST(CommandLine, ExperimentOptions) {
    const std::vector<const char*> all = {
        "--m", "8", "--t", "16", "--max-blocks", "5000000000", "--max-error-blocks", "100"};
    const auto with = [&](std::vector<const char*> more) {
        std::vector<const char*> arguments = all;
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    };
    const std::pair<std::vector<const char*>, bool> cases[] = {
        {with({"--sweep", "0.1:0.01:0.01"}), false},
        {with({"--p0-decades", "1e-1:1e-3:4"}), false},
        {with({}), true},
        {with({"--p0", "0.1", "exp.dat"}), true},
    };
    for (const auto& [arguments, needsFile] : cases) {
        const CommandLine line = Parse(arguments);
        ASSERT_TRUE(line.options) << line.err;
        EXPECT_EQ(NeedsExperimentFile(*line.options), needsFile) << arguments.size();
    }
    // Any one value left out is the file's to give.
    for (std::size_t left = 0; left < all.size(); left += 2) {
        std::vector<const char*> arguments = with({"--p0", "0.1"});
        arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(left),
                        arguments.begin() + static_cast<std::ptrdiff_t>(left) + 2);
        const CommandLine line = Parse(arguments);
        ASSERT_TRUE(line.options) << line.err;
        EXPECT_TRUE(NeedsExperimentFile(*line.options)) << all[left];
    }
    const ExperimentOptions given = Parse(with({"--sweep", "0.3:0.05:0.05"})).options->experiment;
    EXPECT_EQ(given.m, 8);
    EXPECT_EQ(given.t, 16);
    EXPECT_EQ(given.maxBlocks, 5000000000);
    EXPECT_EQ(given.maxErrorBlocks, 100);
    ASSERT_TRUE(given.sweep);
    EXPECT_EQ(given.sweep->Pmin, 0.05F);

    // Each value read by the file's rule for its line, the message naming the option.
    const std::pair<std::vector<const char*>, const char*> refused[] = {
        {{"--max-blocks", "5e9"},
         "rs-sim: --max-blocks: maxBlocks=5 runs on into \"e\": an integer is written in plain "
         "decimal digits (see rs-sim --help)\n"},
        {{"--m", "2147483648"}, "rs-sim: --m: M=2147483648 does not fit a 32-bit integer"},
        {{"--max-error-blocks", "9223372036854775808"},
         "rs-sim: --max-error-blocks: maxErrorBlocks=9223372036854775808 does not fit a 64-bit"},
        {{"--sweep", "1:0"}, "rs-sim: --sweep: \"1:0\" is not PMAX:PMIN:PSTEP, three numbers"},
        {{"--channel", "bpsk-awgn", "--sweep", "1:0:1"},
         "rs-sim: --sweep gives probabilities: --channel bpsk-awgn runs Eb/N0"},
        {{"--sweep", "0.1:0.01:0.01", "--p0", "0.1"}, "rs-sim: --"},
        {{"--p0-decades", "1e-1:1e-3:4", "--sweep", "0.1:0.01:0.01"}, "rs-sim: --"},
    };
    for (const auto& [arguments, message] : refused) {
        const CommandLine line = Parse(arguments);
        EXPECT_FALSE(line.options);
        EXPECT_EQ(line.exitStatus, 2);
        EXPECT_TRUE(line.err.starts_with(message)) << line.err;
    }
}

// The command that continues a run gives back its channel, interleaving, grid and the
// experiment's values given as options.
TEST(CommandLine, ResumeCommandKeepsTheChannel) {
    const std::vector<std::vector<const char*>> lines = {
        {"--channel", "binary-symmetric", "--interleave", "4", "--p0", "0.01,0.002"},
        {"--channel", "bpsk-awgn", "--ebn0", "-1.5,0,2"},
        {"--channel", "bpsk-awgn", "--ebn0-range=-3:1:0.5"},
        {"--channel", "bpsk-awgn", "--ebn0", "5", "--erase-below", "0.125"},
        {"--channel", "bpsk-awgn", "--ebn0", "5", "--erase-below", "best", "--puncture", "2"},
        {"--channel", "gilbert-elliott", "--level", "symbol", "--burst", "12.5", "--good-error",
         "1e-05", "--bad-error", "0.25"},
        {"--channel", "gilbert-elliott", "--burst", "3", "--interleave", "16"},
        {"--erasures", "0", "--p0", "0.1"},
        {"--erasures", "0.125", "--puncture", "3", "--on-failure", "received"},
        // The experiment given as options needs no file; a file named is named again.
        {"--m", "8", "--t", "16", "--max-blocks", "5000000000", "--max-error-blocks", "100",
         "--sweep", "-0.5:1e-07:0.25"},
        {"--max-blocks", "7", "--p0", "0.1", "exp.dat"},
    };
    for (const auto& arguments : lines) {
        const CommandLine line = Parse(arguments);
        ASSERT_TRUE(line.options) << line.err;
        // No argument needs quoting here: the command splits at its blanks.
        std::istringstream words(ResumeCommand("rs-sim", *line.options));
        std::vector<std::string> resumed;
        for (std::string word; words >> word;) {
            resumed.push_back(word);
        }
        std::vector<const char*> argv;
        for (std::size_t i = 1; i < resumed.size(); ++i) {
            argv.push_back(resumed[i].c_str());
        }
        const CommandLine again = Parse(argv);
        ASSERT_TRUE(again.options) << again.err;
        EXPECT_TRUE(again.options->monteCarlo.resume);
        EXPECT_TRUE(SameChannel(again.options->channel, line.options->channel)) << arguments[1];
        EXPECT_EQ(again.options->interleave, line.options->interleave);
        EXPECT_EQ(again.options->puncture, line.options->puncture);
        EXPECT_EQ(again.options->onFailure, line.options->onFailure);
        const ExperimentOptions& given = line.options->experiment;
        const ExperimentOptions& back = again.options->experiment;
        EXPECT_EQ(back.m, given.m);
        EXPECT_EQ(back.t, given.t);
        EXPECT_EQ(back.maxBlocks, given.maxBlocks);
        EXPECT_EQ(back.maxErrorBlocks, given.maxErrorBlocks);
        ASSERT_EQ(back.sweep.has_value(), given.sweep.has_value());
        if (given.sweep) {
            EXPECT_EQ(back.sweep->Pmax, given.sweep->Pmax);
            EXPECT_EQ(back.sweep->Pmin, given.sweep->Pmin);
            EXPECT_EQ(back.sweep->Pstep, given.sweep->Pstep);
        }
        EXPECT_EQ(again.options->parameterFile, line.options->parameterFile);
        EXPECT_EQ(NeedsExperimentFile(*again.options), NeedsExperimentFile(*line.options));
        ASSERT_TRUE(again.options->grid.has_value() == line.options->grid.has_value());
        if (line.options->grid) {
            EXPECT_EQ(again.options->grid->kind, line.options->grid->kind);
            EXPECT_EQ(again.options->grid->text, line.options->grid->text);
            EXPECT_EQ(again.options->grid->values, line.options->grid->values);
        }
    }
}

}  // namespace
}  // namespace rs
