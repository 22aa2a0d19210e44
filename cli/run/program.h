#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "rs_sim/simulator.h"
#include "system/available_memory.h"
#include "system/output_stream.h"
#include "system/performance_counter.h"

namespace rs {

// What a run of the simulator talks to: the directory that relative file names start from,
// the console, the error stream, the clock, the final key press and the command line's
// options (the defaults are a run without arguments).
struct ProgramEnvironment {
    std::filesystem::path directory;
    OutputStream& console;
    OutputStream& errors;
    PerformanceCounter& counter;
    std::function<void()> waitForKey;
    RunOptions options = {};
    // The memory the run may use, in bytes; unknown when it gives nothing.
    std::function<std::optional<std::uint64_t>()> availableMemory = AvailableMemory;
    // Other processes that make segments for the engines (the MPI variant).
    std::shared_ptr<const rs_sim::RemoteWorkers> remote = nullptr;
    // The program's name in its messages.
    std::string program = "rs-sim";
    // SIGINT and SIGTERM end the run with a word on how to continue it (the real program; a
    // test in-process keeps the default handling).
    bool interruptible = false;
    // The console's width when it is a terminal, where a long point shows a status line; 0
    // when it is not (a file or a pipe gets the console text alone).
    int terminalColumns = 0;
};

// A file name as given, from the environment's directory when relative; messages name files as
// given.
std::filesystem::path ResolveName(const ProgramEnvironment& environment,
                                  const std::filesystem::path& name);

// What the program shows before it waits for the closing key.
inline constexpr std::string_view kClosingPrompt = "\nPress any key";

// The whole run: parameters, code, sweep, reports, plot, closing prompt. Returns the exit
// status: 0 after a complete run, 1 when the run is refused or an output cannot be written,
// with one line on the error stream saying why. Everything that can refuse the run is checked
// before any output file is touched.
int RunProgram(const ProgramEnvironment& environment);

}  // namespace rs
