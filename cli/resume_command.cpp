#include "cli/resume_command.h"

#include <utility>

namespace rs {

namespace {

// Single-quoted where the shell would otherwise split or expand it.
std::string Quoted(const std::string& argument) {
    const bool plain = !argument.empty() && argument.find_first_not_of(
                                                "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU"
                                                "VWXYZ0123456789_./-+=,:@%") == std::string::npos;
    if (plain) {
        return argument;
    }
    std::string quoted = "'";
    for (const char c : argument) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::string ResumeCommand(const std::string& program, const RunOptions& options) {
    // Appended piece by piece: g++ 12 at -O3 warns falsely on "..." + std::string.
    std::string command = program;
    command.append(" --resume");
    if (options.noWait) {
        command.append(" --no-wait");
    }
    if (options.seed != rs_sim::kDefaultSeed) {
        command.append(" --seed ").append(std::to_string(options.seed));
    }
    if (options.length) {
        command.append(" --length ").append(std::to_string(*options.length));
    }
    if (options.monteCarlo.independentPoints) {
        command.append(" --independent-points");
    }
    if (const std::optional<rs_sim::Points>& grid = options.grid) {
        command.append(grid->kind == rs_sim::Points::Kind::kList ? " --p0 " : " --p0-decades ")
            .append(Quoted(grid->text));
    }
    const auto name = [](const std::optional<std::filesystem::path>& file) {
        return file ? file->string() : std::string();
    };
    const std::string resultsFile = options.resultsFile.string();
    const std::pair<const char*, std::string> files[] = {
        {" -o ", resultsFile == "results.dat" ? std::string() : resultsFile},
        {" --json ", name(options.jsonFile)},
        {" --csv ", name(options.csvFile)},
        {" --plot ", name(options.plotFile)}};
    for (const auto& [option, file] : files) {
        if (!file.empty()) {
            command.append(option).append(Quoted(file));
        }
    }
    if (const std::string experimentFile = options.parameterFile.string();
        experimentFile != "param.dat") {
        // A name that starts with a dash would read as an option.
        command.append(" ").append(experimentFile.starts_with("-") ? "./" : "");
        command.append(Quoted(experimentFile));
    }
    return command;
}

}  // namespace rs
