#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "driver/parameter_file.h"

namespace rs {

// About how many bytes a run will hold at most: the field's tables and the codec's buffers
// where the engine uses them, the reference engine's block arrays, the fast engine's draw
// buffers and the hit buffers its worst block at the sweep's largest P0 will want.
std::uint64_t EstimateRunMemory(const SimulationParameters& parameters, bool referenceEngine,
                                std::int32_t largestTabledField);

// MemAvailable of /proc/meminfo, when there is one.
std::optional<std::uint64_t> AvailableMemory();

// "1.5 GB", "12.0 MB": one decimal, powers of 1024.
std::string FormatBytes(std::uint64_t bytes);

}  // namespace rs
