#pragma once

#include <filesystem>
#include <functional>

#include "driver/output_stream.h"
#include "driver/performance_counter.h"

namespace rs {

// What a run of the simulator talks to: the directory holding "param.dat" and "results.dat",
// the console, the error stream, the clock and the final key press.
struct ProgramEnvironment {
    std::filesystem::path directory;
    OutputStream& console;
    OutputStream& errors;
    PerformanceCounter& counter;
    std::function<void()> waitForKey;
};

// The whole run: parameters, code, sweep, report, closing prompt. Returns the exit status:
// 0 after a complete run, 1 when the parameters are rejected or "results.dat" cannot be
// written, with one line on the error stream saying why.
int RunProgram(const ProgramEnvironment& environment);

}  // namespace rs
