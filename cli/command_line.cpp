#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "cli/experiment_file/parameter_file.h"
#include "cli/version.h"
#include "report/plot/plot.h"
#include "system/cpu_count.h"

namespace rs {

namespace {

// A file name that is no file: empty text.
const CLI::Validator kNonEmpty(
    [](const std::string& value) { return value.empty() ? std::string("empty file name") : ""; },
    "");

const CLI::Validator kPlotExtension(
    [](const std::string& value) {
        return IsPlotFile(value) ? std::string()
                                 : "the plot file must end in .svg or .png: " + value;
    },
    "");

// "LOW:HIGH", two rates on the plot's log axis: 0 < LOW < HIGH.
std::optional<YRange> ParseYRange(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    YRange range;
    const char* end = text.data() + text.size();
    const auto low = std::from_chars(text.data(), text.data() + colon, range.low);
    const auto high = std::from_chars(text.data() + colon + 1, end, range.high);
    if (low.ec != std::errc() || low.ptr != text.data() + colon || high.ec != std::errc() ||
        high.ptr != end || !(range.low > 0.0 && range.low < range.high) ||
        !std::isfinite(range.high)) {
        return std::nullopt;
    }
    return range;
}

std::filesystem::path Normal(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    // Without a working directory, names are compared as given.
    return (error ? path : absolute).lexically_normal();
}

// Two outputs written to one file would destroy each other, and one would destroy the experiment
// file the run reads.
std::string CheckDistinct(const RunOptions& options, bool experimentFileRead) {
    std::vector<std::pair<std::string, std::filesystem::path>> files = {
        {"--results", options.resultsFile}};
    if (experimentFileRead) {
        files.insert(files.begin(), {"the experiment file", options.parameterFile});
    }
    if (options.jsonFile) {
        files.emplace_back("--json", *options.jsonFile);
    }
    if (options.csvFile) {
        files.emplace_back("--csv", *options.csvFile);
    }
    if (options.plotFile) {
        files.emplace_back("--plot", *options.plotFile);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            if (Normal(files[i].second) == Normal(files[j].second)) {
                return files[i].first + " and " + files[j].first + " name the same file " +
                       files[j].second.string();
            }
        }
    }
    return {};
}

// Arguments echoed in a message are shown with their control characters escaped, so that the
// message stays one line and cannot drive the terminal.
std::string Printable(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(byte));
            shown += escape;
        } else {
            shown += c;
        }
    }
    return shown;
}

// --compare draws saved runs and runs nothing: an option of a run given with it would be
// ignored, so it is refused instead.
std::string CheckCompare(const CLI::App& app) {
    if (app.count("--compare") == 0) {
        return {};
    }
    for (const CLI::Option* option : app.get_options()) {
        const std::string name = option->get_name();
        if (option->count() == 0 || name == "--compare" || name == "--plot" ||
            name == "--y-range") {
            continue;
        }
        return "--compare draws saved runs and runs nothing: it takes no " +
               (option->nonpositional() ? name : std::string("experiment file"));
    }
    return {};
}

// The options of one method that the other cannot take.
std::string CheckMethod(const CLI::App& app, const RunOptions& options) {
    if (options.method == Method::kMonteCarlo) {
        for (const char* option : {"--samples", "--precision"}) {
            if (app.count(option) > 0) {
                return std::string(option) + " needs --method stratified";
            }
        }
        return {};
    }
    const std::pair<bool, const char*> clashes[] = {
        {options.monteCarlo.resume, "--resume"},
        {options.monteCarlo.referenceEngine, "--engine reference"},
        {options.monteCarlo.independentPoints, "--independent-points"},
        {!options.compareFiles.empty(), "--compare"}};
    for (const auto& [given, option] : clashes) {
        if (given) {
            return std::string("--method stratified cannot take ") + option;
        }
    }
    return {};
}

CommandLine Misuse(const std::string& message, const std::string& program) {
    CommandLine result;
    result.exitStatus = 2;
    result.err = program + ": " + Printable(message) + " (see " + program + " --help)\n";
    return result;
}

// The edit distance between two words: insertions, deletions and substitutions.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0U : 1U)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The first long option of the line the program does not know, with the nearest it does when
// one is near ("unknown option --thread; did you mean --threads?"); empty when every long
// option is known.
std::string UnknownOption(const CLI::App& app, int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--") {
            break;  // what follows is no option
        }
        if (!argument.starts_with("--") || argument.size() == 2) {
            continue;
        }
        const std::string name(argument.substr(0, argument.find('=')));
        if (app.get_option_no_throw(name) != nullptr) {
            continue;
        }
        std::string nearest;
        std::size_t best = 0;
        for (const CLI::Option* option : app.get_options()) {
            for (const std::string& known : option->get_lnames()) {
                const std::size_t distance = EditDistance(name.substr(2), known);
                if (nearest.empty() || distance < best) {
                    nearest = "--" + known;
                    best = distance;
                }
            }
        }
        // Near: a slip of a key or two, and not most of the word.
        const bool near = !nearest.empty() && best <= std::max<std::size_t>(2, name.size() / 4) &&
                          best * 2 < name.size() - 2;
        return "unknown option " + name + (near ? "; did you mean " + nearest + "?" : "");
    }
    return {};
}

}  // namespace

namespace {

bool NeedsExperimentFile(const RunOptions& options, bool pointsGiven) {
    const ExperimentOptions& given = options.experiment;
    return options.parameterFileNamed || !given.m || !given.t || !given.maxBlocks ||
           !given.maxErrorBlocks || !pointsGiven;
}

}  // namespace

bool NeedsExperimentFile(const RunOptions& options) {
    return NeedsExperimentFile(options, options.experiment.sweep || options.grid);
}

int DefaultThreads() {
    // No more than -j accepts.
    return std::min(UsableCpuCount(), kMaxThreads);
}

namespace {

// What the options give as text, before it becomes RunOptions.
struct GivenTexts {
    std::string positionalFile;
    std::string parameterFile;
    std::string resultsFile;
    std::string jsonFile;
    std::string csvFile;
    std::string plotFile;
    std::string yRange;
    std::string engine = "fast";
    std::string p0List;
    std::string p0Decades;
    std::string method = "monte-carlo";
    std::string channel = rs_sim::ChannelName(rs_sim::QarySymmetricChannel{});
    std::string level = "bit";
    std::string ebn0List;
    std::string ebn0Range;
    rs_sim::GilbertElliottChannel markov;
    std::optional<double> erasures;
    std::string eraseBelow;
    std::string onFailure = "decoded";
    std::string generator = "default";
    // The experiment file's values, read by the file's rules.
    std::string m;
    std::string t;
    std::string maxBlocks;
    std::string maxErrorBlocks;
    std::string sweep;
};

// The options that only one channel takes.
constexpr const char* kMarkovOptions[] = {"--level", "--burst", "--good-error", "--bad-error"};
constexpr const char* kEbN0Options[] = {"--ebn0", "--ebn0-range", "--erase-below"};

// The options in the order --help lists them: files, the run, the reports, the engine.
void AddFileOptions(CLI::App& app, GivenTexts& given) {
    auto* positional = app.add_option("EXPERIMENT_FILE", given.positionalFile,
                                      "The experiment file (default param.dat)")
                           ->check(kNonEmpty);
    app.add_option("-p,--param", given.parameterFile, "The experiment file (default param.dat)")
        ->type_name("FILE")
        ->check(kNonEmpty)
        ->excludes(positional);
    app.add_option("-o,--results", given.resultsFile, "The report file (default results.dat)")
        ->type_name("FILE")
        ->check(kNonEmpty);
}

// The experiment file's lines as options; given all, with the points, the run needs no file.
void AddExperimentOptions(CLI::App& app, GivenTexts& given) {
    app.add_option("--m", given.m, "The field degree M of GF(2^M), 1 to 30, in place of M=")
        ->type_name("M");
    app.add_option("--t", given.t,
                   "The errors T the code corrects, RS(2^M-1, 2^M-1-2T), in "
                   "place of T=")
        ->type_name("T");
    app.add_option("--max-blocks", given.maxBlocks,
                   "A point ends after N blocks, in place of maxBlocks=; up to 2^63-1")
        ->type_name("N");
    app.add_option("--max-error-blocks", given.maxErrorBlocks,
                   "A point ends after N wrongly decoded blocks, in place of maxErrorBlocks=; up "
                   "to 2^63-1")
        ->type_name("N");
}

void AddRunOptions(CLI::App& app, RunOptions& options, GivenTexts& given) {
    auto* sweep = app.add_option("--sweep", given.sweep,
                                 "P0 from PMAX down by PSTEP while at least PMIN, in place of "
                                 "Pmax=, Pmin= and Pstep= (0.1:0.01:0.01)")
                      ->type_name("PMAX:PMIN:PSTEP");
    auto* list = app.add_option("--p0", given.p0List,
                                "P0 values to run, in this order, in place of the experiment "
                                "file's Pmax, Pmin and Pstep (0.1,0.05,0.02)")
                     ->type_name("LIST")
                     ->excludes(sweep);
    app.add_option("--p0-decades", given.p0Decades,
                   "N points a decade from FROM down to TO, at 10^(-j/N) to three digits, in "
                   "place of Pmax, Pmin and Pstep (1e-1:1e-6:4)")
        ->type_name("FROM:TO:N")
        ->excludes(list)
        ->excludes(sweep);
    app.add_option("--length", options.length,
                   "Shorten the code to N symbols, RS(N, N-2T) over GF(2^M), 2T < N < 2^M; "
                   "the unsent information symbols are zero")
        ->type_name("N")
        ->check(CLI::Range(1, std::numeric_limits<std::int32_t>::max()));
    app.add_flag("--independent-points", options.monteCarlo.independentPoints,
                 "Start point i of the sweep i x 2^40 draws into the seed's stream, rather than "
                 "every point from the seed, so that the points' errors are independent")
        ->disable_flag_override();
    app.add_flag("--no-status", options.noStatus,
                 "No status line (blocks, FER, speed, time left) under a long point's bar on a "
                 "terminal")
        ->disable_flag_override();
    app.add_flag("--no-wait", options.noWait,
                 "End without the closing prompt and key wait, also on a terminal")
        ->disable_flag_override();
    app.add_option("--seed", options.seed,
                   "The seed every point restarts from, 0 to " + std::to_string(kMaxSeed) +
                       " (default " + std::to_string(rs_sim::kDefaultSeed) + ")")
        ->type_name("N")
        ->check(CLI::Range(0, kMaxSeed));
}

void AddChannelOptions(CLI::App& app, RunOptions& options, GivenTexts& given) {
    std::vector<std::string> names;
    for (const rs_sim::Channel channel : {rs_sim::Channel(rs_sim::QarySymmetricChannel{}),
                                          rs_sim::Channel(rs_sim::BinarySymmetricChannel{}),
                                          rs_sim::Channel(rs_sim::BpskAwgnChannel{}),
                                          rs_sim::Channel(rs_sim::GilbertElliottChannel{})}) {
        names.emplace_back(rs_sim::ChannelName(channel));
    }
    app.add_option("--channel", given.channel,
                   "q-ary-symmetric (default): P0 is the symbol error probability; "
                   "binary-symmetric: P0 is the bit error probability; bpsk-awgn: BPSK with hard "
                   "decisions, swept in Eb/N0 (dB) by --ebn0 or --ebn0-range; gilbert-elliott: "
                   "bursts of a Good/Bad chain, P0 the long-run error probability")
        ->type_name("NAME")
        ->check(CLI::IsMember(names));
    app.add_option("--interleave", options.interleave,
                   "Interleave I codewords a frame, symbol by symbol, on a channel other than "
                   "q-ary-symmetric (default 1)")
        ->type_name("I")
        ->check(CLI::Range(1, rs_sim::kMaxInterleave));
    app.add_option("--erasures", given.erasures,
                   "q-ary-symmetric: erase each symbol with probability PE, else replace it with "
                   "P0 (P0 + PE <= 1); decoded for errors and erasures")
        ->type_name("PE")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--erase-below", given.eraseBelow,
                   "bpsk-awgn: erase a symbol with a bit received below THETA in amplitude "
                   "(0 <= THETA, the amplitude being 1), decoded for errors and erasures; or "
                   "best, at each Eb/N0 the THETA in [0, 1] with the least bounded-distance FER")
        ->type_name("THETA|best");
    app.add_option("--puncture", options.puncture,
                   "Send the code without its last P parity symbols, erased at the receiver, "
                   "0 <= P <= 2T")
        ->type_name("P")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--generator", given.generator,
                   "default: the program's own generator on q-ary-symmetric, Philox frames on "
                   "the others; philox: Philox frames keyed by (seed, point) on every channel, "
                   "for runs beyond the default generator's period or lanes")
        ->type_name("NAME")
        ->check(CLI::IsMember({"default", "philox"}));
    app.add_option("--on-failure", given.onFailure,
                   "What a block the decoder flags delivers: decoded (default), its blind "
                   "correction; or received, its received information, erasures wrong")
        ->type_name("WHAT")
        ->check(CLI::IsMember({"decoded", "received"}));
    auto* list = app.add_option("--ebn0", given.ebn0List,
                                "bpsk-awgn: Eb/N0 values in dB to run, in this order "
                                "(-1,0,2.5; a list that starts with \"-.\" needs --ebn0=)")
                     ->type_name("LIST");
    app.add_option("--ebn0-range", given.ebn0Range,
                   "bpsk-awgn: Eb/N0 in dB from FROM by STEP while it does not pass TO (0:8:0.5)")
        ->type_name("FROM:TO:STEP")
        ->excludes(list);
    app.add_option("--level", given.level,
                   "gilbert-elliott: the chain steps per bit (default) or per symbol")
        ->type_name("LEVEL")
        ->check(CLI::IsMember({"bit", "symbol"}));
    app.add_option("--burst", given.markov.burst,
                   "gilbert-elliott: the mean length of a burst in bits or symbols, 1 or more "
                   "(required)")
        ->type_name("B");
    app.add_option("--good-error", given.markov.goodError,
                   "gilbert-elliott: the error probability in the Good state (default 0)")
        ->type_name("EG");
    app.add_option("--bad-error", given.markov.badError,
                   "gilbert-elliott: the error probability in the Bad state (default 0.5)")
        ->type_name("EB");
}

void AddReportOptions(CLI::App& app, RunOptions& options, GivenTexts& given) {
    app.add_option("--json", given.jsonFile, "Also write the points, with intervals, to JSON")
        ->type_name("FILE")
        ->check(kNonEmpty);
    app.add_option("--csv", given.csvFile, "Also write the points, with intervals, to CSV")
        ->type_name("FILE")
        ->check(kNonEmpty);
    auto* plot = app.add_option("--plot", given.plotFile,
                                "Plot FER and SER against P0, or against Eb/N0 for bpsk-awgn "
                                "(gnuplot, .svg or .png)")
                     ->type_name("FILE")
                     ->check(kPlotExtension);
    app.add_option("--y-range", given.yRange,
                   "The plot's y axis from LOW to HIGH (default: from a little below the lowest "
                   "rate measured)")
        ->type_name("LOW:HIGH")
        ->check(CLI::Validator(
            [](const std::string& value) {
                return ParseYRange(value) ? std::string()
                                          : "must be LOW:HIGH with 0 < LOW < HIGH: " + value;
            },
            ""))
        ->needs(plot);
    app.add_option("--compare", options.compareFiles,
                   "Draw these saved --json runs on the --plot figure (FER with intervals, SER, "
                   "theory) and run nothing")
        ->type_name("JSON...")
        ->expected(1, -1)
        ->needs(plot);
    app.add_flag("--resume", options.monteCarlo.resume,
                 "Keep the report file's complete points and run the rest")
        ->disable_flag_override();
}

void AddEngineOptions(CLI::App& app, RunOptions& options, GivenTexts& given) {
    app.add_option("-j,--threads", options.threads,
                   "Threads of the fast engine (default: every CPU the process may use, here " +
                       std::to_string(DefaultThreads()) + "); same output for any number")
        ->type_name("N")
        ->check(CLI::Range(1, kMaxThreads));
    app.add_option("--engine", given.engine,
                   "fast (default) or reference, the literal per-block path; same counts")
        ->type_name("NAME")
        ->check(CLI::IsMember({"fast", "reference"}));
}

void AddMethodOptions(CLI::App& app, RunOptions& options, GivenTexts& given) {
    app.add_option("--method", given.method,
                   "monte-carlo (default), sending random blocks; or stratified, decoding "
                   "sampled error patterns of each weight and weighting them exactly at each P0, "
                   "for curves down to any error rate")
        ->type_name("NAME")
        ->check(CLI::IsMember({"monte-carlo", "stratified"}));
    auto* samples = app.add_option("--samples", options.stratified.samples,
                                   "Stratified: N error patterns per weight, in place of "
                                   "--precision")
                        ->type_name("N")
                        ->check(CLI::Range(std::int64_t{1}, std::int64_t{1} << 40));
    app.add_option("--precision", options.stratified.precision,
                   "Stratified: sample until every FER, SER and BER 95 % interval is within "
                   "this fraction of its value (default 0.01)")
        ->type_name("X")
        ->check(CLI::Range(1e-4, 0.5))
        ->excludes(samples);
}

// The channel named, with its parameters; the options of another channel, and a sweep that
// is not in the channel's terms, are refused.
std::string ApplyChannel(const CLI::App& app, const GivenTexts& given, RunOptions& options) {
    if (given.channel == rs_sim::ChannelName(rs_sim::BinarySymmetricChannel{})) {
        options.channel = rs_sim::BinarySymmetricChannel{};
    } else if (given.channel == rs_sim::ChannelName(rs_sim::BpskAwgnChannel{})) {
        options.channel = rs_sim::BpskAwgnChannel{};
    } else if (given.channel == rs_sim::ChannelName(rs_sim::GilbertElliottChannel{})) {
        rs_sim::GilbertElliottChannel markov = given.markov;
        markov.level = given.level == "symbol" ? rs_sim::GilbertElliottChannel::Level::kSymbol
                                               : rs_sim::GilbertElliottChannel::Level::kBit;
        options.channel = markov;
    }
    options.onFailure = given.onFailure == "received" ? rs_sim::Experiment::OnFailure::kReceived
                                                      : rs_sim::Experiment::OnFailure::kDecoded;
    if (auto* symmetric = std::get_if<rs_sim::QarySymmetricChannel>(&options.channel)) {
        // Puncturing, delivering received blocks or asking for Philox runs the q-ary channel
        // on frames, as erasures do. The stratified method draws from Philox already.
        const bool frames = given.erasures || options.puncture > 0 ||
                            options.onFailure != rs_sim::Experiment::OnFailure::kDecoded ||
                            (given.generator == "philox" && options.method == Method::kMonteCarlo);
        symmetric->erasure = frames ? std::optional(given.erasures.value_or(0.0)) : std::nullopt;
    } else if (given.erasures) {
        return std::string("--erasures belongs to --channel q-ary-symmetric, not to ") +
               rs_sim::ChannelName(options.channel);
    }
    if (auto* bpsk = std::get_if<rs_sim::BpskAwgnChannel>(&options.channel);
        bpsk != nullptr && app.count("--erase-below") > 0) {
        const std::string& text = given.eraseBelow;
        double threshold = 0.0;
        const auto [end, status] =
            std::from_chars(text.data(), text.data() + text.size(), threshold);
        if (text == "best") {
            bpsk->eraseBelow = rs_sim::BpskAwgnChannel::BestThreshold{};
        } else if (status == std::errc{} && end == text.data() + text.size() &&
                   std::isfinite(threshold) && threshold >= 0.0) {
            bpsk->eraseBelow = threshold;
        } else {
            return "--erase-below takes a threshold THETA (a number, 0 or more) or best, not \"" +
                   text + "\"";
        }
    }
    const bool markov = std::holds_alternative<rs_sim::GilbertElliottChannel>(options.channel);
    const bool ebN0 = std::holds_alternative<rs_sim::BpskAwgnChannel>(options.channel);
    for (const char* option : kMarkovOptions) {
        if (!markov && app.count(option) > 0) {
            return std::string(option) + " belongs to --channel gilbert-elliott, not to " +
                   rs_sim::ChannelName(options.channel);
        }
    }
    for (const char* option : kEbN0Options) {
        if (!ebN0 && app.count(option) > 0) {
            return std::string(option) + " belongs to --channel bpsk-awgn, not to " +
                   rs_sim::ChannelName(options.channel);
        }
    }
    if (markov && app.count("--burst") == 0) {
        return "--channel gilbert-elliott needs --burst B, the mean length of a burst in bits or "
               "symbols (1 or more)";
    }
    if (ebN0) {
        for (const char* option : {"--p0", "--p0-decades", "--sweep"}) {
            if (app.count(option) > 0) {
                return std::string(option) +
                       " gives probabilities: --channel bpsk-awgn runs Eb/N0 in dB, given by "
                       "--ebn0 or --ebn0-range";
            }
        }
        if (app.count("--ebn0") == 0 && app.count("--ebn0-range") == 0) {
            return "--channel bpsk-awgn runs Eb/N0 in dB: give --ebn0 or --ebn0-range (the "
                   "experiment file's Pmax, Pmin and Pstep are probabilities)";
        }
    }
    return {};
}

// Puts what was given in place of the defaults.
void Apply(const GivenTexts& given, RunOptions& options) {
    options.monteCarlo.referenceEngine = given.engine == "reference";
    options.method = given.method == "stratified" ? Method::kStratified : Method::kMonteCarlo;
    if (!given.positionalFile.empty()) {
        options.parameterFile = given.positionalFile;
    } else if (!given.parameterFile.empty()) {
        options.parameterFile = given.parameterFile;
    }
    options.parameterFileNamed = !given.positionalFile.empty() || !given.parameterFile.empty();
    if (!given.resultsFile.empty()) {
        options.resultsFile = given.resultsFile;
    }
    const std::pair<const std::string*, std::optional<std::filesystem::path>*> optional[] = {
        {&given.jsonFile, &options.jsonFile},
        {&given.csvFile, &options.csvFile},
        {&given.plotFile, &options.plotFile}};
    for (const auto& [text, file] : optional) {
        if (!text->empty()) {
            *file = *text;
        }
    }
    if (!given.yRange.empty()) {
        options.yRange = ParseYRange(given.yRange);
    }
}

// The experiment file's values given as options, each read by the file's rule for its line; the
// message names the option.
std::string ApplyExperiment(const CLI::App& app, const GivenTexts& given, RunOptions& options) {
    ExperimentOptions& experiment = options.experiment;
    const auto read = [&](const char* option, const std::string& text, const char* key,
                          auto& value) -> std::string {
        if (app.count(option) == 0) {
            return {};
        }
        typename std::remove_reference_t<decltype(value)>::value_type number = 0;
        std::string error = ParseIntegerOption(text, key, number);
        if (!error.empty()) {
            return option + std::string(": ") + error;
        }
        value = number;
        return {};
    };
    for (std::string error :
         {read("--m", given.m, "M", experiment.m), read("--t", given.t, "T", experiment.t),
          read("--max-blocks", given.maxBlocks, "maxBlocks", experiment.maxBlocks),
          read("--max-error-blocks", given.maxErrorBlocks, "maxErrorBlocks",
               experiment.maxErrorBlocks)}) {
        if (!error.empty()) {
            return error;
        }
    }
    if (app.count("--sweep") > 0) {
        SimulationParameters lines;
        if (std::string error = ParseSweepOption(given.sweep, lines); !error.empty()) {
            return "--sweep: " + error;
        }
        experiment.sweep = SweepLines{lines.Pmax, lines.Pmin, lines.Pstep};
    }
    return {};
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& program) {
    RunOptions options;
    GivenTexts given;
    CLI::App app(
        "Monte-Carlo simulation of a Reed-Solomon code over GF(2^M) on a q-ary symmetric "
        "channel, or another by --channel.\nThe experiment file holds seven lines: Pmax=, "
        "Pmin=, Pstep=, maxBlocks=, maxErrorBlocks=, M=, T=; --m, --t, --max-blocks, "
        "--max-error-blocks and --sweep give them in its place.",
        program);
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", program + " " + kVersion, "Print the version and exit");
    app.footer(
        "Exit status: 0 after a complete run, 1 when the run is refused or fails, 2 on misuse, "
        "130 or 143 when SIGINT or SIGTERM ended it, 141 when standard output's reader went "
        "away.\n"
        "Example: " +
        program + " --no-wait --json sweep.json --plot sweep.svg examples/param.dat");
    AddFileOptions(app, given);
    AddExperimentOptions(app, given);
    AddRunOptions(app, options, given);
    AddChannelOptions(app, options, given);
    AddReportOptions(app, options, given);
    AddEngineOptions(app, options, given);
    AddMethodOptions(app, options, given);

    CommandLine result;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        result.out = app.help();
        return result;
    } catch (const CLI::CallForVersion& version) {
        result.out = std::string(version.what()) + "\n";
        return result;
    } catch (const CLI::ParseError& error) {
        const std::string unknown = UnknownOption(app, argc, argv);
        return Misuse(unknown.empty() ? error.what() : unknown, program);
    }
    Apply(given, options);
    if (std::string error = ApplyExperiment(app, given, options); !error.empty()) {
        return Misuse(error, program);
    }
    const bool pointsGiven =
        std::ranges::any_of(std::initializer_list<const char*>{"--sweep", "--p0", "--p0-decades",
                                                               "--ebn0", "--ebn0-range"},
                            [&](const char* option) { return app.count(option) > 0; });
    if (std::string clash = CheckDistinct(options, NeedsExperimentFile(options, pointsGiven));
        !clash.empty()) {
        return Misuse(clash, program);
    }
    if (std::string clash = CheckCompare(app); !clash.empty()) {
        return Misuse(clash, program);
    }
    if (std::string clash = CheckMethod(app, options); !clash.empty()) {
        return Misuse(clash, program);
    }
    if (std::string clash = ApplyChannel(app, given, options); !clash.empty()) {
        return Misuse(clash, program);
    }
    // Given even when empty: an empty list is refused, not taken for none.
    struct Grid {
        const char* option;
        const std::string& text;
        rs_sim::Expected<rs_sim::Points> (*parse)(std::string_view);
    };
    const Grid grids[] = {{"--p0", given.p0List, rs_sim::Points::List},
                          {"--p0-decades", given.p0Decades, rs_sim::Points::Decades},
                          {"--ebn0", given.ebn0List, rs_sim::Points::EbN0List},
                          {"--ebn0-range", given.ebn0Range, rs_sim::Points::EbN0Range}};
    for (const Grid& asked : grids) {
        if (app.count(asked.option) == 0) {
            continue;
        }
        rs_sim::Expected<rs_sim::Points> grid = asked.parse(asked.text);
        if (!grid) {
            return Misuse(grid.error, program);
        }
        options.grid = std::move(*grid.value);
    }
    result.options = std::move(options);
    return result;
}

}  // namespace rs
