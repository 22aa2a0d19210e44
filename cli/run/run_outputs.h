#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "system/output_target.h"

namespace rs {

// Every output of the run, checked before anything is read, run or written.
struct RunOutputs {
    OutputTarget report;
    std::optional<OutputTarget> json;
    std::optional<OutputTarget> csv;
    std::optional<OutputTarget> plot;
};

// Turns a name as given into the path it names.
using PathResolver = std::function<std::filesystem::path(const std::filesystem::path&)>;

// Checks each output where it is and against the others and the experiment file, so that a
// refused run leaves every file as it was. An error message, empty when all can be written.
std::string CheckOutputs(const RunOptions& options, const PathResolver& resolve,
                         RunOutputs& outputs);

}  // namespace rs
