#include <unistd.h>

#include <cstdio>

#include "driver/key_wait.h"
#include "driver/output_stream.h"
#include "driver/performance_counter.h"
#include "driver/program.h"

// rs-sim takes no arguments: the experiment is described by "param.dat" in the working
// directory, and the report goes to the console and "results.dat".
int main() {
    rs::StdioStream console(stdout, true);
    rs::StdioStream errors(stderr, true);
    rs::SteadyPerformanceCounter counter;
    const rs::ProgramEnvironment environment{".", console, errors, counter,
                                             [] { rs::WaitForKey(STDIN_FILENO); }};
    return rs::RunProgram(environment);
}
