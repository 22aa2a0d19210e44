#pragma once

#include <cstdint>

#include "engine/block_counter.h"

namespace rs {

// What one codeword of a frame adds to a point's counts.
struct CodewordOutcome {
    BlockOutcome block;
    std::int64_t channelBits = 0;  // bits the channel flipped in its sent symbols
    std::int32_t erasures = 0;     // symbols the channel erased (the punctured ones not counted)

    bool operator==(const CodewordOutcome&) const = default;
};

}  // namespace rs
