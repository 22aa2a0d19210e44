// Any bytes as an experiment file: refused with a message, or accepted with values that,
// written out again, read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/experiment_file/parameter_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const rs::ParameterResult result = rs::ParseParameters(text);
    if (!result.parameters) {
        if (result.error.empty()) {
            std::abort();  // a refusal must say why
        }
        return 0;
    }
    const rs::SimulationParameters& p = *result.parameters;
    char written[512];
    std::snprintf(
        written, sizeof written,
        "Pmax=%.9g\nPmin=%.9g\nPstep=%.9g\nmaxBlocks=%lld\nmaxErrorBlocks=%lld\nM=%d\nT=%d\n",
        static_cast<double>(p.Pmax), static_cast<double>(p.Pmin), static_cast<double>(p.Pstep),
        static_cast<long long>(p.maxBlocks), static_cast<long long>(p.maxErrorBlocks), p.M, p.T);
    const rs::ParameterResult again = rs::ParseParameters(written);
    if (!again.parameters || !(*again.parameters == p)) {
        std::abort();
    }
    return 0;
}
