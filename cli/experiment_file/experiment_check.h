#pragma once

#include <string>
#include <vector>

#include "cli/experiment_file/parameter_file.h"

namespace rs {

// Rejects what no code can be built from; empty when the values are usable. where leads the
// message ("param.dat: ").
std::string CheckCodeParameters(const SimulationParameters& parameters, const std::string& where);

// Experiments that run, but not as their author may think: P0 outside [0, 1], a sweep with no
// point, limits that let no block through. One line each for the error stream, naming the
// program and the experiment file. Without sweepLines (a P0 grid given in their place), Pmax,
// Pmin and Pstep go unremarked.
std::vector<std::string> Warnings(const SimulationParameters& p, const std::string& name,
                                  const std::string& program, bool sweepLines = true);

}  // namespace rs
