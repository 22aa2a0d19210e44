#pragma once

#include <filesystem>
#include <string>

#include "report/plot/plot.h"

namespace rs {

// A run saved by --json, as --compare draws it, or why the file cannot be one.
struct ComparedRun {
    PlottedRun run;
    std::string error;
};

// Reads the JSON report at path (name for messages): it must be this version's, whole, with
// its code and its points' counts. The label names the code, the channel when it is not the
// default (and the interleaving when more than 1), and the seed.
ComparedRun ReadComparedRun(const std::filesystem::path& path, const std::string& name);

}  // namespace rs
