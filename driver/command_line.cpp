#include "driver/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "driver/cpu_count.h"
#include "driver/plot.h"
#include "driver/version.h"

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

std::filesystem::path Normal(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    // Without a working directory, names are compared as given.
    return (error ? path : absolute).lexically_normal();
}

// Two outputs written to one file would destroy each other.
std::string CheckDistinct(const RunOptions& options) {
    std::vector<std::pair<std::string, std::filesystem::path>> files = {
        {"the experiment file", options.parameterFile}, {"--results", options.resultsFile}};
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

CommandLine Misuse(const std::string& message, const std::string& program) {
    CommandLine result;
    result.exitStatus = 2;
    result.err = program + ": " + Printable(message) + " (see " + program + " --help)\n";
    return result;
}

}  // namespace

int DefaultThreads() {
    // No more than -j accepts.
    return std::min(UsableCpuCount(), kMaxThreads);
}

CommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& program) {
    RunOptions options;
    std::string positionalFile;
    std::string parameterFile;
    std::string resultsFile;
    std::string jsonFile;
    std::string csvFile;
    std::string plotFile;

    CLI::App app(
        "Monte-Carlo simulation of a Reed-Solomon code over GF(2^M) on a q-ary symmetric "
        "channel.\nThe experiment file holds seven lines: Pmax=, Pmin=, Pstep=, maxBlocks=, "
        "maxErrorBlocks=, M=, T=.",
        program);
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", program + " " + kVersion, "Print the version and exit");
    app.footer(
        "Exit status: 0 after a complete run, 1 when the run is refused or fails, 2 on misuse.\n"
        "Example: " +
        program + " --no-wait --json sweep.json --plot sweep.svg examples/param.dat");
    auto* positional =
        app.add_option("EXPERIMENT_FILE", positionalFile, "The experiment file (default param.dat)")
            ->check(kNonEmpty);
    app.add_option("-p,--param", parameterFile, "The experiment file (default param.dat)")
        ->type_name("FILE")
        ->check(kNonEmpty)
        ->excludes(positional);
    app.add_option("-o,--results", resultsFile, "The report file (default results.dat)")
        ->type_name("FILE")
        ->check(kNonEmpty);
    app.add_flag("--no-wait", options.noWait,
                 "End without the closing prompt and key wait, also on a terminal")
        ->disable_flag_override();
    app.add_option("--seed", options.seed,
                   "The seed every point restarts from, 0 to " + std::to_string(kMaxSeed) +
                       " (default " + std::to_string(kSeed) + ")")
        ->type_name("N")
        ->check(CLI::Range(0, kMaxSeed));
    app.add_option("--json", jsonFile, "Also write the points, with intervals, to JSON")
        ->type_name("FILE")
        ->check(kNonEmpty);
    app.add_option("--csv", csvFile, "Also write the points, with intervals, to CSV")
        ->type_name("FILE")
        ->check(kNonEmpty);
    app.add_option("--plot", plotFile, "Plot FER and SER against P0 (gnuplot, .svg or .png)")
        ->type_name("FILE")
        ->check(kPlotExtension);
    app.add_flag("--resume", options.resume,
                 "Keep the report file's complete points and run the rest")
        ->disable_flag_override();

    app.add_option("-j,--threads", options.threads,
                   "Threads of the fast engine (default: every CPU the process may use, here " +
                       std::to_string(DefaultThreads()) + "); same output for any number")
        ->type_name("N")
        ->check(CLI::Range(1, kMaxThreads));
    std::string engine = "fast";
    app.add_option("--engine", engine,
                   "fast (default) or reference, the literal per-block path; same counts")
        ->type_name("NAME")
        ->check(CLI::IsMember({"fast", "reference"}));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        CommandLine result;
        result.out = app.help();
        return result;
    } catch (const CLI::CallForVersion& version) {
        CommandLine result;
        result.out = std::string(version.what()) + "\n";
        return result;
    } catch (const CLI::ParseError& error) {
        return Misuse(error.what(), program);
    }

    options.referenceEngine = engine == "reference";
    if (!positionalFile.empty()) {
        options.parameterFile = positionalFile;
    } else if (!parameterFile.empty()) {
        options.parameterFile = parameterFile;
    }
    if (!resultsFile.empty()) {
        options.resultsFile = resultsFile;
    }
    if (!jsonFile.empty()) {
        options.jsonFile = jsonFile;
    }
    if (!csvFile.empty()) {
        options.csvFile = csvFile;
    }
    if (!plotFile.empty()) {
        options.plotFile = plotFile;
    }
    if (std::string clash = CheckDistinct(options); !clash.empty()) {
        return Misuse(clash, program);
    }
    CommandLine result;
    result.options = std::move(options);
    return result;
}

}  // namespace rs
