#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <utility>

#include "driver/command_line.h"
#include "driver/key_wait.h"
#include "driver/output_stream.h"
#include "driver/performance_counter.h"
#include "driver/program.h"

// rs-sim [OPTIONS] [EXPERIMENT_FILE]: without arguments the experiment is "param.dat" in the
// working directory and the report goes to the console and "results.dat".
int main(int argc, char** argv) {
    // A closed pipe on standard output fails the writes instead of ending the run, so the
    // report file is still completed.
    std::signal(SIGPIPE, SIG_IGN);
    rs::CommandLine commandLine = rs::ParseCommandLine(argc, argv);
    std::fputs(commandLine.out.c_str(), stdout);
    std::fputs(commandLine.err.c_str(), stderr);
    if (!commandLine.options) {
        return std::fflush(stdout) == 0 ? commandLine.exitStatus : 1;
    }
    rs::StdioStream console(stdout, true);
    rs::StdioStream errors(stderr, true);
    rs::SteadyPerformanceCounter counter;
    const rs::ProgramEnvironment environment{".",
                                             console,
                                             errors,
                                             counter,
                                             [] { rs::WaitForKey(STDIN_FILENO); },
                                             std::move(*commandLine.options)};
    return rs::RunProgram(environment);
}
