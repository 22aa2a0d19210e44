#pragma once

#include <cstdint>

#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"
#include "engine/engine.h"
#include "engine/hit_search/candidate_stream.h"

namespace rs {

// The same experiment without the work that cannot change a count: blocks are counted from
// their hits (BlockCounter), found in stream order by the bit-sliced kernel (CandidateStream).
// One walk goes through the blocks; other threads only make candidate chunks ahead of it.
class FastEngine final : public Engine {
  public:
    // Decodes through a configured codec for the code of GF(2^m) correcting t errors. threads
    // find the candidate draws (1: only the calling thread); rowsPerLane as CandidateStream's;
    // length as BlockCounter's.
    FastEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel, int threads = 1,
               int rowsPerLane = 0, std::int32_t length = 0);
    // Decodes algebraically, with no table of the field.
    FastEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel, int threads = 1,
               int rowsPerLane = 0, std::int32_t length = 0);

    void StartPointAt(float P0, PackedState start) override;
    void RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) override;

    // Draws the point's blocks have taken so far.
    std::uint64_t DrawsUsed() const { return blockStart; }

  private:
    BlockCounter counter;
    CandidateStream candidates;
    std::uint64_t blockStart = 0;  // draw index where the next block begins
};

}  // namespace rs
