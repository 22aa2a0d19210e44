#include "cli/experiment_file/experiment_check.h"

#include "report/text/number_format.h"

namespace rs {

std::string CheckCodeParameters(const SimulationParameters& parameters, const std::string& where) {
    if (parameters.M < 1 || parameters.M > kMaxFieldDegree) {
        return where + "M=" + std::to_string(parameters.M) +
               " is out of range: the field degree must be 1 to " + std::to_string(kMaxFieldDegree);
    }
    if (parameters.T < 0) {
        return where + "T=" + std::to_string(parameters.T) +
               " is out of range: T must be 0 or more";
    }
    const std::int64_t n = (std::int64_t{1} << parameters.M) - 1;
    if (2 * std::int64_t{parameters.T} > n) {
        return where + "T=" + std::to_string(parameters.T) +
               " is too large for M=" + std::to_string(parameters.M) +
               ": 2T must not exceed n=" + std::to_string(n);
    }
    return {};
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
