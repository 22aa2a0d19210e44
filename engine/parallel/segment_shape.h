#pragma once

#include <cstdint>

namespace rs {

// Test hooks of the parallel engine; 0 for the defaults.
struct SegmentShape {
    int rowsPerLane = 0;              // chunk rows a lane, a multiple of 64
    std::uint64_t largestChunks = 0;  // the largest segment in chunks
    // A next point's first segment made ahead ends after this many chunks, and each point
    // waits for it to be made before it starts: the cut a start makes then happens at every
    // point, not by the luck of timing.
    std::uint64_t prefetchCutChunks = 0;
};

}  // namespace rs
