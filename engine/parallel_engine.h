#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"
#include "engine/engine.h"
#include "engine/hit_search/chunk_maker.h"
#include "engine/parallel/segment.h"
#include "engine/parallel/segment_scheduler.h"
#include "engine/parallel/segment_stitch.h"

namespace rs {

// The fast engine's counts on many threads, the same for any number of them.
//
// A point's draw stream is cut into segments. Each worker makes a segment's candidate bitmap
// and then walks its blocks speculatively, starting from the segment's first draw as if a
// block began there, decoding whatever needs it (SegmentScheduler). The calling thread
// stitches the segments in order (SegmentStitch): it walks the true blocks itself until one
// begins where a speculative block began, and from there sums the worker's record. At high P0
// the walks merge within some thousands of blocks; at low P0 they rarely do, but there the
// walk is cheap, and once a full segment fails to merge the workers stop speculating for the
// rest of the point. Blocks are added in order, so the stop lands on the same block as on
// one thread.
class ParallelEngine final : public Engine {
  public:
    using Stitching = rs::Stitching;

    // Segments must hold many of the longest blocks: codes up to GF(2^18).
    static bool Handles(std::int32_t m);

    // Decodes through a configured codec of GF(2^m); each worker builds its own copy. Besides
    // the threads workers of this process, each filler in more makes segments too (elsewhere).
    // length as BlockCounter's.
    ParallelEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel, int threads,
                   SegmentShape shape = {}, std::vector<std::unique_ptr<SegmentFiller>> more = {},
                   std::int32_t length = 0);
    // Decodes algebraically, with no table of the field.
    ParallelEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel, int threads,
                   SegmentShape shape = {}, std::vector<std::unique_ptr<SegmentFiller>> more = {},
                   std::int32_t length = 0);

    void BoundBlocks(std::int64_t maxBlocks) override;
    // Workers with nothing left to make in this point make the first segment of that one.
    void ExpectPointAt(float P0, PackedState start) override;
    void StartPointAt(float P0, PackedState start) override;
    void RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) override;

    // How the stitch got its blocks over the engine's life.
    Stitching Stitched() const;

    // About how many bytes the engine holds for a code of GF(2^m) on threads workers.
    static std::uint64_t MemoryNeed(std::int32_t m, std::int32_t t, int threads);

  private:
    ParallelEngine(std::unique_ptr<BlockCounter> stitcher, const DrawKernel& kernel, int threads,
                   SegmentShape shape, std::int32_t m, std::int32_t t, bool tabled,
                   std::int32_t length, std::vector<std::unique_ptr<SegmentFiller>> more);
    // Draws past which a point at P0 takes no segment made by workers.
    std::uint64_t DrawBound(float P0) const;

    const std::int32_t n;
    const std::uint64_t longestBlock;
    const std::uint64_t emptyBlock;  // a block's draws when it has no hit
    std::int64_t blockBound = -1;    // the most blocks a point takes; -1 for no bound
    // The stitch reads the scheduler's segments: declared after it, it ends first.
    std::unique_ptr<SegmentScheduler> scheduler;
    SegmentStitch stitch;
};

}  // namespace rs
