#include "cli/resume_command.h"

#include <utility>
#include <variant>

#include "report/text/channel_text.h"

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
    // The experiment's values given as options; the file, if read, gives the rest again.
    const ExperimentOptions& experiment = options.experiment;
    const std::pair<const char*, std::optional<std::int64_t>> values[] = {
        {" --m ", experiment.m},
        {" --t ", experiment.t},
        {" --max-blocks ", experiment.maxBlocks},
        {" --max-error-blocks ", experiment.maxErrorBlocks}};
    for (const auto& [option, value] : values) {
        if (value) {
            command.append(option).append(std::to_string(*value));
        }
    }
    if (const std::optional<SweepLines>& sweep = experiment.sweep) {
        // "=" keeps a negative Pmax from reading as an option.
        command.append(" --sweep=").append(rs_sim::ShortestText(sweep->Pmax));
        command.append(":").append(rs_sim::ShortestText(sweep->Pmin));
        command.append(":").append(rs_sim::ShortestText(sweep->Pstep));
    }
    if (options.length) {
        command.append(" --length ").append(std::to_string(*options.length));
    }
    if (options.monteCarlo.independentPoints) {
        command.append(" --independent-points");
    }
    if (!std::holds_alternative<rs_sim::QarySymmetricChannel>(options.channel)) {
        command.append(" --channel ").append(rs_sim::ChannelName(options.channel));
    }
    if (const auto* markov = std::get_if<rs_sim::GilbertElliottChannel>(&options.channel)) {
        if (markov->level == rs_sim::GilbertElliottChannel::Level::kSymbol) {
            command.append(" --level symbol");
        }
        command.append(" --burst ").append(DecimalText(markov->burst));
        command.append(" --good-error ").append(DecimalText(markov->goodError));
        command.append(" --bad-error ").append(DecimalText(markov->badError));
    }
    if (const auto* symmetric = std::get_if<rs_sim::QarySymmetricChannel>(&options.channel);
        symmetric != nullptr && symmetric->erasure) {
        command.append(" --erasures ").append(DecimalText(*symmetric->erasure));
    }
    if (const auto* bpsk = std::get_if<rs_sim::BpskAwgnChannel>(&options.channel);
        bpsk != nullptr && bpsk->eraseBelow) {
        const auto* given = std::get_if<double>(&*bpsk->eraseBelow);
        command.append(" --erase-below ")
            .append(given != nullptr ? DecimalText(*given) : std::string("best"));
    }
    if (options.puncture > 0) {
        command.append(" --puncture ").append(std::to_string(options.puncture));
    }
    if (options.onFailure == rs_sim::Experiment::OnFailure::kReceived) {
        command.append(" --on-failure received");
    }
    if (options.interleave != 1) {
        command.append(" --interleave ").append(std::to_string(options.interleave));
    }
    if (const std::optional<rs_sim::Points>& grid = options.grid) {
        // "=" keeps a list that starts with a minus sign from reading as an option.
        constexpr std::pair<rs_sim::Points::Kind, const char*> kOptions[] = {
            {rs_sim::Points::Kind::kList, " --p0 "},
            {rs_sim::Points::Kind::kDecades, " --p0-decades "},
            {rs_sim::Points::Kind::kEbN0List, " --ebn0="},
            {rs_sim::Points::Kind::kEbN0Range, " --ebn0-range="}};
        for (const auto& [kind, option] : kOptions) {
            if (grid->kind == kind) {
                command.append(option).append(Quoted(grid->text));
            }
        }
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
        NeedsExperimentFile(options) && experimentFile != "param.dat") {
        // A name that starts with a dash would read as an option.
        command.append(" ").append(experimentFile.starts_with("-") ? "./" : "");
        command.append(Quoted(experimentFile));
    }
    return command;
}

}  // namespace rs
