#pragma once

#include <memory>
#include <string>

#include "cli/run/program.h"

namespace rs {

// The program from its command line: parses it, answers --help and --version, refuses misuse,
// and runs the experiment with the console on standard output; remote, when given, brings
// other processes' segment makers into the run. Returns the exit status.
int RunCommandLine(int argc, char** argv,
                   std::shared_ptr<const rs_sim::RemoteWorkers> remote = nullptr,
                   const std::string& program = "rs-sim");

}  // namespace rs
