#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "engine/block_counter.h"
#include "engine/parallel/segment_scheduler.h"
#include "engine/parallel/stitch_candidates.h"
#include "engine/point_statistics.h"

namespace rs {

// How the stitch got its blocks; the ones it walked are the sequential share of the work.
struct Stitching {
    std::int64_t walked = 0;
    std::int64_t taken = 0;
    std::int64_t skipped = 0;     // blocks the candidate lists showed to have no hit
    std::int64_t prefetched = 0;  // points whose first segment was made ahead
    // The most segments one walked block read from.
    std::int64_t widestBlock = 0;
    // Time the stitch spent waiting for workers.
    std::chrono::steady_clock::duration waited{};
};

// Counts a point's true blocks, in order, from the scheduler's segments: on one thread, the
// caller's. Block boundaries depend on every earlier hit, so it walks the true blocks itself
// until one begins where a block of a worker's speculative walk began; from there on both
// walks read the same draws, and the rest of that segment's blocks are summed from the
// worker's record. Where candidates are listed, blocks with no candidate are passed over
// in one step.
//
// What it relies on, checked by assertions in debug builds: segments follow one another
// without gaps from draw 0, each a whole number of words; a segment's list or bitmap holds
// every candidate in it; a speculated walk's blocks end inside their segment. A block may
// span any number of segments.
class SegmentStitch {
  public:
    SegmentStitch(std::unique_ptr<BlockCounter> counter, SegmentScheduler& scheduler);

    void Start(PackedState seeded, std::uint32_t threshold);
    // As Engine::RunBlocks.
    void RunBlocks(PointStatistics& statistics, std::int64_t blockLimit);

    const Stitching& Stitched() const { return stitched; }

  private:
    // Moves the stitch to the segment holding blockStart, freeing the ones before it.
    void EnterSegment();
    // Adds merged blocks from the stitch position on; true after a wrong block.
    bool TakeSpeculated(PointStatistics& statistics, std::int64_t blockLimit);
    // Adds the blocks of the stitch segment that surely end in it, from its candidate list;
    // true after a wrong block.
    bool StitchListed(PointStatistics& statistics, std::int64_t blockLimit);
    // The block at blockStart, read through the candidates across segments.
    bool WalkBlock(PointStatistics& statistics);

    std::unique_ptr<BlockCounter> counter;
    SegmentScheduler& scheduler;
    const std::uint64_t longestBlock;
    StitchCandidates<SegmentScheduler> candidates;
    bool listing = false;

    // The segment holding the next block, its next speculative block, and whether the true
    // walk has merged with them.
    std::uint64_t blockStart = 0;
    std::int64_t segment = -1;
    const MadeSegment* made = nullptr;
    std::size_t specNext = 0;
    std::size_t decodedNext = 0;
    std::size_t candidateNext = 0;
    bool merged = false;
    bool mergedHere = false;
    Stitching stitched;
};

}  // namespace rs
