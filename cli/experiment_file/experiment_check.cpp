#include "cli/experiment_file/experiment_check.h"

#include <utility>

#include "report/text/number_format.h"
#include "rs_sim/experiment.h"

namespace rs {

std::string CheckCodeParameters(const SimulationParameters& parameters,
                                const ExperimentSources& sources) {
    // The library's own check of a code: the same rule and words. M is checked alone first, so
    // that a message on M names where M came from, and one on T where T did.
    rs_sim::Experiment experiment;
    experiment.code = {parameters.M, 0, std::nullopt};
    if (const std::string problem = rs_sim::CheckExperiment(experiment); !problem.empty()) {
        return sources.m + ": " + problem;
    }
    experiment.code.t = parameters.T;
    const std::string problem = rs_sim::CheckExperiment(experiment);
    return problem.empty() ? problem : sources.t + ": " + problem;
}

std::vector<std::string> Warnings(const SimulationParameters& p, const ExperimentSources& sources,
                                  const std::string& program, bool sweepLines) {
    const auto text = FormatFloat;
    std::vector<std::pair<const std::string*, std::string>> warnings;
    if (sweepLines && p.Pmax > 1.0F) {
        warnings.emplace_back(
            &sources.sweep,
            "Pmax=" + text(p.Pmax) + " is above 1: at a P0 above 1 every symbol is hit");
    }
    if (sweepLines && p.Pmin < 0.0F) {
        warnings.emplace_back(&sources.sweep, "Pmin=" + text(p.Pmin) +
                                                  " is below 0: at a P0 below 0 no symbol is hit");
    }
    if (sweepLines && p.Pmax < p.Pmin) {
        warnings.emplace_back(&sources.sweep, "Pmax=" + text(p.Pmax) + " is below Pmin=" +
                                                  text(p.Pmin) + ": the sweep runs no point");
    }
    if (p.maxBlocks <= 0) {
        warnings.emplace_back(&sources.maxBlocks, "maxBlocks=" + std::to_string(p.maxBlocks) +
                                                      " is not positive: the points send no block");
    }
    if (p.maxErrorBlocks <= 0) {
        warnings.emplace_back(&sources.maxErrorBlocks,
                              "maxErrorBlocks=" + std::to_string(p.maxErrorBlocks) +
                                  " is not positive: the points send no block");
    }
    std::vector<std::string> lines;
    for (const auto& [source, warning] : warnings) {
        lines.push_back(program + ": warning: " + *source + ": " + warning + "\n");
    }
    return lines;
}

}  // namespace rs
