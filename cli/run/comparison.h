#pragma once

#include <string>

#include "cli/run/program.h"

namespace rs {

// --compare: the saved runs on one plot, nothing simulated. Returns why a file is refused or
// the plot cannot be drawn; empty on success.
std::string RunComparison(const ProgramEnvironment& environment);

}  // namespace rs
