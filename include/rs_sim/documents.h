#pragma once

// A run's results as the program's machine-readable documents.

#include <string>

#include "rs_sim/experiment.h"
#include "rs_sim/results.h"

namespace rs_sim {

// The JSON document rs-sim --json writes for this experiment and its results (a Monte-Carlo
// run's or a stratified run's), as text ending in a newline: the same bytes as the program's
// file for the same experiment, apart from the times in it. An experiment given as a sweep
// (Points::Sweep) reads as the experiment file's lines; any other points as the list, decades
// or range that made them.
std::string JsonDocument(const Experiment& experiment, const Results& results);

}  // namespace rs_sim
