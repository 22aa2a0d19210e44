#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"
#include "engine/chunk_maker.h"
#include "engine/engine.h"
#include "engine/segment.h"
#include "engine/segment_maker.h"

namespace rs {

// Test hooks of the parallel engine: chunk rows a lane (a multiple of 64) and the largest
// segment in chunks; 0 for the defaults.
struct SegmentShape {
    int rowsPerLane = 0;
    std::uint64_t largestChunks = 0;
};

// The fast engine's counts on many threads, the same for any number of them.
//
// A point's draw stream is cut into segments. Each worker makes a segment's candidate bitmap
// and then walks its blocks speculatively, starting from the segment's first draw as if a
// block began there, decoding whatever needs it. The calling thread stitches the segments in
// order: block boundaries depend on every earlier hit, so it walks the true blocks itself
// until one begins where a speculative block began. From there on both walks read the same
// draws and so are the same, and the rest of the segment's blocks are summed from the
// worker's record. At high P0 the walks merge within some thousands of blocks; at low P0 they
// rarely do, but there the walk is cheap, and once a full segment fails to merge the workers
// stop speculating for the rest of the point. Blocks are added in order, so the stop lands on
// the same block as on one thread.
class ParallelEngine final : public Engine {
  public:
    // Segments must hold many of the longest blocks: codes up to GF(2^18).
    static bool Handles(std::int32_t m);

    // Decodes through a configured codec of GF(2^m); each worker builds its own copy. Besides
    // the threads workers of this process, each filler in more makes segments too (elsewhere).
    ParallelEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel, int threads,
                   SegmentShape shape = {}, std::vector<std::unique_ptr<SegmentFiller>> more = {});
    // Decodes algebraically, with no table of the field.
    ParallelEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel, int threads,
                   SegmentShape shape = {}, std::vector<std::unique_ptr<SegmentFiller>> more = {});
    ~ParallelEngine() override;
    ParallelEngine(const ParallelEngine&) = delete;
    ParallelEngine& operator=(const ParallelEngine&) = delete;

    void BoundBlocks(std::int32_t maxBlocks) override;
    // Workers with nothing left to make in this point make the first segment of that one.
    void ExpectPoint(float P0, std::int32_t seed) override;
    void StartPoint(float P0, std::int32_t seed) override;
    void RunBlocks(PointStatistics& statistics, std::int32_t blockLimit) override;

    // How the stitch got its blocks over the engine's life; the ones it walked are the
    // sequential share of the work.
    struct Stitching {
        std::int64_t walked = 0;
        std::int64_t taken = 0;
        std::int64_t skipped = 0;     // blocks the candidate lists showed to have no hit
        std::int64_t prefetched = 0;  // points whose first segment was made ahead
        // Time the stitch spent waiting for workers.
        std::chrono::steady_clock::duration waited{};
    };
    const Stitching& Stitched() const { return stitched; }

    // About how many bytes the engine holds for a code of GF(2^m) on threads workers.
    static std::uint64_t MemoryNeed(std::int32_t m, std::int32_t t, int threads);

  private:
    struct Slot {
        std::int64_t segment = -1;  // guarded by the mutex, as ready is
        bool ready = false;
        SegmentTask task;
        Segment made;
    };
    // Segment sizes in chunks: segments double from the smallest to the largest while the
    // workers speculate, and are of the steady size once they do not.
    struct SegmentSizes {
        std::uint64_t smallest;
        std::uint64_t largest;
        std::uint64_t steady;
        std::uint64_t prefetched;  // the next point's first, made ahead
    };
    static SegmentSizes SizesFor(std::uint64_t chunkDraws, std::int32_t m, std::int32_t t,
                                 std::uint64_t largestChunks);
    struct Worker {
        std::unique_ptr<SegmentFiller> filler;
        SegmentMaker* local;  // the filler, when it works in this process
        std::thread thread;
    };
    // The candidates of the segments in order, for the stitching walk.
    class StitchCandidates;

    ParallelEngine(std::unique_ptr<BlockCounter> stitcher, const DrawKernel& kernel, int threads,
                   SegmentShape shape, std::int32_t m, std::int32_t t, bool tabled,
                   std::vector<std::unique_ptr<SegmentFiller>> more);
    // Where workers stop making segments while the stitch has reached draw reached: a point
    // that stops early then wastes a few times the work it used, not a fixed amount.
    std::uint64_t Lookahead(std::uint64_t reached) const;
    // Draws past which a point at P0 takes no segment made by workers.
    std::uint64_t DrawBound(float P0) const;
    // Takes the next segment for making; under the mutex.
    Slot& Claim(bool speculated);
    // Whether a worker may take the next segment of this point; under the mutex.
    bool Claimable() const;
    // Makes the next point's first segment; lock is held on entry and return.
    void MakeNextFirst(Worker& worker, std::unique_lock<std::mutex>& lock);
    void Work(Worker& worker);
    Slot& WaitFor(std::int64_t segment);
    // Moves the stitch to the segment holding blockStart, freeing the ones before it.
    void EnterSegment();
    // Adds merged blocks from the stitch position on; true after a wrong block.
    bool TakeSpeculated(PointStatistics& statistics, std::int32_t blockLimit);
    // Adds the blocks of the stitch segment that end in it, from its candidate list; true
    // after a wrong block.
    bool StitchListed(PointStatistics& statistics, std::int32_t blockLimit);

    std::unique_ptr<BlockCounter> stitcher;
    const std::uint64_t longestBlock;
    const std::uint64_t emptyBlock;  // a block's draws when it has no hit
    const std::uint64_t chunkDraws;
    const SegmentSizes sizes;
    const std::size_t slotCount;
    std::vector<Slot> slots;
    std::vector<std::unique_ptr<Worker>> workers;
    std::unique_ptr<SegmentMaker> own;  // makes the stitch's own segments
    std::int64_t ownSegment = -1;       // the one it has yet to make

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable segmentDone;
    bool stopping = false;
    bool running = false;
    int busy = 0;                  // workers inside Fill
    std::int64_t nextClaim = 0;    // the next segment a worker takes
    std::int64_t released = 0;     // segments below it are free
    std::uint64_t nextBase = 0;    // the first draw of the next segment
    std::uint64_t nextChunks = 0;  // its chunks while speculating
    std::int64_t blockBound = -1;  // the most blocks a point takes; -1 for no bound
    // Workers make no segment from here on: more than the point's blocks can take, but for
    // a chance far below any that matters. The stitch makes any it still needs itself.
    std::uint64_t drawBound = 0;
    std::uint64_t lookahead = 0;  // no segment begins at or past it: Lookahead
    bool speculate = true;
    bool listing = false;  // the point's candidates are listed: set by StartPoint only
    std::atomic<std::uint64_t> generation{0};
    // The next point's first segment: asked for by ExpectPoint, taken by StartPoint.
    enum class Prefetch { kIdle, kWanted, kMaking, kMade };
    Prefetch prefetch = Prefetch::kIdle;
    Slot prefetched;
    std::atomic<std::uint64_t> expectation{0};  // changes when the expected point does
    std::atomic<bool> cutPrefetch{false};       // the point has started: end it now
    PackedState seeded = 0;
    std::uint32_t threshold = 0;

    // The stitch: the segment holding the next block, its next speculative block, and
    // whether the true walk has merged with them.
    std::uint64_t blockStart = 0;
    std::int64_t stitchSegment = -1;
    Slot* stitchSlot = nullptr;
    std::size_t specNext = 0;
    std::size_t decodedNext = 0;
    std::size_t candidateNext = 0;
    bool merged = false;
    bool mergedHere = false;
    std::unique_ptr<StitchCandidates> stitchCandidates;
    Stitching stitched;
};

}  // namespace rs
