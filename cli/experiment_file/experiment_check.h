#pragma once

#include <string>
#include <vector>

#include "cli/experiment_file/parameter_file.h"

namespace rs {

// Where each value of the experiment came from, as messages name it: the experiment file as the
// user named it, or the option that gave the value in its place.
struct ExperimentSources {
    std::string sweep;  // Pmax, Pmin and Pstep
    std::string maxBlocks;
    std::string maxErrorBlocks;
    std::string m;
    std::string t;

    static ExperimentSources File(const std::string& name) {
        return {name, name, name, name, name};
    }
};

// Rejects what no code can be built from; empty when the values are usable. The message leads
// with the source of the value it is about ("param.dat: ", "--t: ").
std::string CheckCodeParameters(const SimulationParameters& parameters,
                                const ExperimentSources& sources);

// Experiments that run, but not as their author may think: P0 outside [0, 1], a sweep with no
// point, limits that let no block through. One line each for the error stream, naming the
// program and the value's source. Without sweepLines (a P0 grid given in their place), Pmax,
// Pmin and Pstep go unremarked.
std::vector<std::string> Warnings(const SimulationParameters& p, const ExperimentSources& sources,
                                  const std::string& program, bool sweepLines = true);

}  // namespace rs
