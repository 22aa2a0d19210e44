#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/block_counter.h"
#include "engine/hit_search/hit_threshold.h"
#include "engine/parallel/huge_page_allocator.h"
#include "random/jump_ahead.h"

namespace rs {

// A segment to make: draws [base, end) of the point seeded so, at this threshold.
struct SegmentTask {
    PackedState seeded = 0;
    std::uint32_t threshold = 0;
    std::uint64_t base = 0;
    std::uint64_t end = 0;
    // Walk its blocks as if one began at base.
    bool speculated = false;
};

// A speculated block whose counts are more than its hits.
struct DecodedBlock {
    std::uint32_t index;
    BlockOutcome outcome;

    bool operator==(const DecodedBlock&) const = default;
};

// What the stitch needs of a made segment.
struct Segment {
    // Above kListedThreshold: bit i of word w set when draw base + 64 w + i is a candidate.
    std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>> bitmap;
    // Below it, instead, every candidate, from base, in order.
    std::vector<std::uint32_t> candidates;
    // Speculated blocks: first draws (from base) and hits, those with more counts, and the
    // first draw after the last of them.
    std::vector<std::uint32_t> starts;
    std::vector<std::uint32_t> hits;
    std::vector<DecodedBlock> decoded;
    std::uint64_t exit = 0;
};

// Makes segments, on this machine or elsewhere. Returns false when abandoned() turned true
// meanwhile (the point was left) and the segment is unfinished.
class SegmentFiller {
  public:
    virtual ~SegmentFiller() = default;
    virtual bool Fill(const SegmentTask& task, Segment& segment,
                      const std::function<bool()>& abandoned) = 0;
};

}  // namespace rs
