#include "system/available_memory.h"

#include <cstdio>

namespace rs {

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
