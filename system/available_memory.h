#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rs {

// MemAvailable of /proc/meminfo, when there is one.
std::optional<std::uint64_t> AvailableMemory();

// "1.5 GB", "12.0 MB": one decimal, powers of 1024.
std::string FormatBytes(std::uint64_t bytes);

}  // namespace rs
