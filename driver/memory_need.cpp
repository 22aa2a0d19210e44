#include "driver/memory_need.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace rs {

std::uint64_t EstimateRunMemory(const SimulationParameters& parameters, bool referenceEngine,
                                std::int32_t largestTabledField) {
    const auto n = static_cast<double>((std::uint64_t{1} << parameters.M) - 1);
    const double k = n - 2.0 * parameters.T;
    const double twoT = 2.0 * parameters.T + 1.0;
    constexpr double kSymbol = 4.0;
    // Fixed costs: the program, the draw buffers and jump tables of the fast engine, the
    // sweep's points.
    double bytes = 8.0 * 1024 * 1024;
    const bool tables = referenceEngine || parameters.M <= largestTabledField;
    if (tables) {
        // Power, log and work tables; generator and its working copy; the decoder's and the
        // encoder's buffers (the evaluator holds 2n + 1).
        bytes += kSymbol * (3.0 * n + 2.0 * n + 4.0 * twoT + n + 2.0 * n + 2.0 * n);
    }
    if (referenceEngine) {
        bytes += kSymbol * (2.0 * k + 2.0 * n);  // the block arrays
    } else {
        // A position and a value per hit of the worst block: the mean at the largest P0 and
        // ten standard deviations more.
        const double p = std::clamp(static_cast<double>(parameters.Pmax), 0.0, 1.0);
        const double hits = std::min(n, n * p + 10.0 * std::sqrt(n * p * (1.0 - p)) + 1024.0);
        bytes += 2.0 * kSymbol * hits;
    }
    return static_cast<std::uint64_t>(bytes);
}

std::optional<std::uint64_t> AvailableMemory() {
    // Plain stdio and a buffer on the stack: this runs before anything else is allocated.
    std::FILE* file = std::fopen("/proc/meminfo", "r");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::optional<std::uint64_t> available;
    char line[256];
    unsigned long long kilobytes = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
            available = static_cast<std::uint64_t>(kilobytes) * 1024;
            break;
        }
    }
    std::fclose(file);
    return available;
}

std::string FormatBytes(std::uint64_t bytes) {
    const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return buffer;
}

}  // namespace rs
