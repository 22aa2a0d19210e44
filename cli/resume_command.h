#pragma once

#include <string>

#include "cli/command_line.h"

namespace rs {

// The command line that continues an interrupted run: the program, --resume and every option
// of the run's files, its seed, its channel and interleaving, its P0 or Eb/N0 grid, its length,
// independent points and --no-wait, quoted for a POSIX shell where needed.
std::string ResumeCommand(const std::string& program, const RunOptions& options);

}  // namespace rs
