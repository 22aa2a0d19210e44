#include "cli/experiment_file/experiment_check.h"

#include "report/text/number_format.h"
#include "rs_sim/experiment.h"

namespace rs {

std::string CheckCodeParameters(const SimulationParameters& parameters, const std::string& where) {
    // The library's own check of a code: the same rule and words, led by the file's name.
    rs_sim::Experiment experiment;
    experiment.code = {parameters.M, parameters.T, std::nullopt};
    const std::string problem = rs_sim::CheckExperiment(experiment);
    return problem.empty() ? problem : where + problem;
}

std::vector<std::string> Warnings(const SimulationParameters& p, const std::string& name,
                                  const std::string& program, bool sweepLines) {
    const auto text = FormatFloat;
    std::vector<std::string> warnings;
    if (sweepLines && p.Pmax > 1.0F) {
        warnings.push_back("Pmax=" + text(p.Pmax) +
                           " is above 1: at a P0 above 1 every symbol is hit");
    }
    if (sweepLines && p.Pmin < 0.0F) {
        warnings.push_back("Pmin=" + text(p.Pmin) +
                           " is below 0: at a P0 below 0 no symbol is hit");
    }
    if (sweepLines && p.Pmax < p.Pmin) {
        warnings.push_back("Pmax=" + text(p.Pmax) + " is below Pmin=" + text(p.Pmin) +
                           ": the sweep runs no point");
    }
    if (p.maxBlocks <= 0) {
        warnings.push_back("maxBlocks=" + std::to_string(p.maxBlocks) +
                           " is not positive: the points send no block");
    }
    if (p.maxErrorBlocks <= 0) {
        warnings.push_back("maxErrorBlocks=" + std::to_string(p.maxErrorBlocks) +
                           " is not positive: the points send no block");
    }
    for (std::string& warning : warnings) {
        warning = program + ": warning: " + name + ": " + warning + "\n";
    }
    return warnings;
}

}  // namespace rs
