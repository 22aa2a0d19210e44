// Any argument list: a run's options, help or version on standard output with status 0, or
// one line of misuse on standard error with status 2.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Arguments are the input's pieces between zero bytes.
    std::vector<std::string> pieces(1, "rs-sim");
    pieces.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(data[i]);
        }
    }
    std::vector<const char*> argv;
    for (const std::string& piece : pieces) {
        argv.push_back(piece.c_str());
    }
    const rs::CommandLine line =
        rs::ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (line.options) {
        if (!line.err.empty() || line.options->seed < 0 || line.options->seed > rs::kMaxSeed) {
            std::abort();
        }
    } else if (line.exitStatus == 0) {
        if (line.out.empty() || !line.err.empty()) {
            std::abort();
        }
    } else if (line.exitStatus != 2 || !line.out.empty() || line.err.rfind("rs-sim: ", 0) != 0 ||
               line.err.find('\n') != line.err.size() - 1) {
        std::abort();
    }
    return 0;
}
