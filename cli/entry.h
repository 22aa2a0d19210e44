#pragma once

#include "cli/program.h"

namespace rs {

// The program from its command line: parses it, answers --help and --version, refuses misuse,
// and runs the experiment with the console on standard output; fillers, when given, bring
// other processes' segment makers into the run. Returns the exit status.
int RunCommandLine(int argc, char** argv, RemoteFillers fillers = {},
                   const std::string& program = "rs-sim");

}  // namespace rs
