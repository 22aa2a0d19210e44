#pragma once

#include <cstdint>

#include "engine/point_statistics.h"
#include "random/jump_ahead.h"

namespace rs {

// A Monte-Carlo engine: the blocks of one point at a time, counted exactly as the literal
// per-block experiment counts them. The driver owns the limits and the progress bar; an
// engine only runs blocks when asked, so that the stop lands on the same block whichever
// engine runs.
class Engine {
  public:
    virtual ~Engine() = default;

    // The points to come run at most maxBlocks blocks: an engine that works ahead of the
    // blocks asked for need not go further. Output never depends on it.
    virtual void BoundBlocks(std::int64_t /*maxBlocks*/) {}

    // The point after the one running runs at P0 from the generator's state start: an engine
    // may make its first blocks ahead. Output never depends on it.
    virtual void ExpectPointAt(float /*P0*/, PackedState /*start*/) {}
    void ExpectPoint(float P0, std::int32_t seed) { ExpectPointAt(P0, SeededState(seed)); }

    // Restarts the random stream from the generator's state start for a point at channel
    // error probability P0: the state the seed gives, or a state further along its stream.
    virtual void StartPointAt(float P0, PackedState start) = 0;
    void StartPoint(float P0, std::int32_t seed) { StartPointAt(P0, SeededState(seed)); }

    // Runs blocks, adding each to statistics, until statistics.blocks reaches blockLimit or a
    // block is decoded wrongly (the run returns right after that block).
    virtual void RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) = 0;
};

}  // namespace rs
