#include "cli/entry.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <utility>

#include "cli/command_line.h"
#include "system/key_wait.h"
#include "system/output_stream.h"
#include "system/performance_counter.h"

namespace rs {

int RunCommandLine(int argc, char** argv, std::shared_ptr<const rs_sim::RemoteWorkers> remote,
                   const std::string& program) {
    // A closed pipe on standard output fails the writes instead of ending the run, so the
    // report file is still completed.
    std::signal(SIGPIPE, SIG_IGN);
    // A file size limit fails the write (EFBIG), which is reported, instead of killing the run
    // without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    CommandLine commandLine = ParseCommandLine(argc, argv, program);
    std::fputs(commandLine.out.c_str(), stdout);
    std::fputs(commandLine.err.c_str(), stderr);
    if (!commandLine.options) {
        return std::fflush(stdout) == 0 ? commandLine.exitStatus : 1;
    }
    StdioStream console(stdout, true);
    StdioStream errors(stderr, true);
    SteadyPerformanceCounter counter;
    ProgramEnvironment environment{".",
                                   console,
                                   errors,
                                   counter,
                                   [] { WaitForKey(STDIN_FILENO, kClosingPrompt); },
                                   std::move(*commandLine.options)};
    environment.remote = std::move(remote);
    environment.program = program;
    environment.interruptible = true;
    if (isatty(STDOUT_FILENO) == 1) {
        winsize size{};
        const bool known = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0;
        environment.terminalColumns = known ? size.ws_col : 80;
    }
    return RunProgram(environment);
}

}  // namespace rs
