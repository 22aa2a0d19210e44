#pragma once

#include <filesystem>
#include <string>

#include "report/plot/plot.h"
#include "cli/program.h"

namespace rs {

// A run saved by --json, as --compare draws it, or why the file cannot be one.
struct ComparedRun {
    PlottedRun run;
    std::string error;
};

// Reads the JSON report at path (name for messages): it must be this version's, whole, with
// its code and its points' counts. The label names the code and the seed.
ComparedRun ReadComparedRun(const std::filesystem::path& path, const std::string& name);

// --compare: the saved runs on one plot, nothing simulated. Returns why a file is refused or
// the plot cannot be drawn; empty on success.
std::string RunComparison(const ProgramEnvironment& environment);

}  // namespace rs
