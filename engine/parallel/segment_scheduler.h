#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "engine/parallel/segment.h"
#include "engine/parallel/segment_maker.h"
#include "engine/parallel/segment_shape.h"
#include "base/thread_annotations.h"

namespace rs {

// Segment sizes in chunks: segments double from the smallest to the largest while the
// workers speculate, and are of the steady size once they do not.
struct SegmentSizes {
    std::uint64_t smallest;
    std::uint64_t largest;
    std::uint64_t steady;
    std::uint64_t prefetched;  // the next point's first, made ahead

    // For a full-length code of GF(2^m) correcting t; largestChunks 0 for the default.
    static SegmentSizes For(std::uint64_t chunkDraws, std::int32_t m, std::int32_t t,
                            std::uint64_t largestChunks);
};

// A segment as the stitch reads it: what was asked for, and what was made.
struct MadeSegment {
    SegmentTask task;
    Segment segment;
};

// Hands a point's segments out to workers, each made once, and to the stitch in order.
//
// Threads: the workers (one per filler) and one caller, the stitch, which calls every public
// member. Scheduling state is under `mutex`. A slot's MadeSegment belongs to whoever claimed
// it until it is ready, then to the stitch until the stitch releases it; `states` says which.
// The made-ahead first segment belongs to its maker while `prefetch` is kMaking, and is under
// the mutex otherwise.
class SegmentScheduler {
  public:
    // local fillers make segments on threads of this process and may make the next point's
    // first one ahead; remote ones make segments elsewhere; own makes what the stitch needs
    // itself.
    SegmentScheduler(std::vector<std::unique_ptr<SegmentMaker>> local,
                     std::vector<std::unique_ptr<SegmentFiller>> remote,
                     std::unique_ptr<SegmentMaker> own, std::uint64_t chunkDraws,
                     SegmentSizes sizes, SegmentShape shape);
    // The ring of segments held at once for this many fillers: two each and two more, so that
    // the fillers work ahead while the stitch reads the earliest.
    static std::size_t SlotCount(std::size_t fillers) { return 2 * fillers + 2; }

    ~SegmentScheduler();
    SegmentScheduler(const SegmentScheduler&) = delete;
    SegmentScheduler& operator=(const SegmentScheduler&) = delete;

    std::uint64_t ChunkDraws() const { return chunkDraws; }
    const SegmentSizes& Sizes() const { return sizes; }
    std::size_t Workers() const { return workers.size(); }

    // A worker with nothing else to make makes first, the next point's first segment.
    void Expect(const SegmentTask& first) RS_EXCLUDES(mutex);
    // Starts a point: workers leave the last one, and make segments of this one up to
    // drawBound. True when its first segment was made ahead.
    bool Start(PackedState seeded, std::uint32_t threshold, std::uint64_t drawBound)
        RS_EXCLUDES(mutex);
    // The point's segment, made; the stitch makes it itself where no worker may.
    const MadeSegment& WaitFor(std::int64_t segment) RS_EXCLUDES(mutex);
    // The stitch has reached draw reached, in segment kept: those before it are free.
    void Release(std::int64_t kept, std::uint64_t reached) RS_EXCLUDES(mutex);
    // The walks do not merge at this point: segments are no longer walked ahead.
    void StopSpeculating() RS_EXCLUDES(mutex);

    // Points whose first segment was made ahead, and the time the stitch waited for workers.
    std::int64_t Prefetched() const { return prefetchedPoints; }
    std::chrono::steady_clock::duration Waited() const { return waited; }

  private:
    struct Worker {
        std::unique_ptr<SegmentFiller> filler;
        SegmentMaker* local;  // the filler, when it works in this process
        std::thread thread;
    };
    struct SlotState {
        std::int64_t segment = -1;
        bool ready = false;
    };
    enum class Prefetch { kIdle, kWanted, kMaking, kMade };

    // Where workers stop making segments while the stitch has reached draw reached: a point
    // that stops early then wastes a few times the work it used, not a fixed amount.
    std::uint64_t Lookahead(std::uint64_t reached) const;
    // Takes the next segment for making; returns its slot.
    std::size_t Claim(bool speculated) RS_REQUIRES(mutex);
    // Whether a worker may take the next segment of this point.
    bool Claimable() const RS_REQUIRES(mutex);
    void Work(Worker& worker) RS_EXCLUDES(mutex);
    // Makes the next point's first segment, leaving the mutex while it does.
    void MakeNextFirst(Worker& worker) RS_REQUIRES(mutex);

    const std::uint64_t chunkDraws;
    const SegmentSizes sizes;
    const SegmentShape shape;
    // Each worker's segment and one made ahead, and the stitch's two: workers go on while
    // the stitch waits for a core.
    const std::size_t slotCount;
    std::vector<MadeSegment> slots;
    std::vector<std::unique_ptr<Worker>> workers;  // fixed before the threads start

    // The stitch's own.
    std::unique_ptr<SegmentMaker> own;
    std::int64_t ownSegment = -1;  // the segment it has claimed and yet to make
    std::int64_t prefetchedPoints = 0;
    std::chrono::steady_clock::duration waited{};

    Mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable segmentDone;
    std::vector<SlotState> states RS_GUARDED_BY(mutex);
    bool stopping RS_GUARDED_BY(mutex) = false;
    bool running RS_GUARDED_BY(mutex) = false;
    int busy RS_GUARDED_BY(mutex) = 0;                  // workers making a segment
    std::int64_t nextClaim RS_GUARDED_BY(mutex) = 0;    // the next segment a worker takes
    std::int64_t released RS_GUARDED_BY(mutex) = 0;     // segments below it are free
    std::uint64_t nextBase RS_GUARDED_BY(mutex) = 0;    // the first draw of the next segment
    std::uint64_t nextChunks RS_GUARDED_BY(mutex) = 0;  // its chunks while speculating
    // Workers make no segment from here on: more than the point's blocks can take, but for
    // a chance far below any that matters. The stitch makes any it still needs itself.
    std::uint64_t drawBound RS_GUARDED_BY(mutex) = 0;
    std::uint64_t lookahead RS_GUARDED_BY(mutex) = 0;  // no segment begins at or past it
    bool speculate RS_GUARDED_BY(mutex) = true;
    PackedState seeded RS_GUARDED_BY(mutex) = 0;
    std::uint32_t threshold RS_GUARDED_BY(mutex) = 0;
    Prefetch prefetch RS_GUARDED_BY(mutex) = Prefetch::kIdle;
    SegmentTask prefetchedTask RS_GUARDED_BY(mutex);
    Segment prefetched;  // its maker's while kMaking, else under the mutex

    // Read by makers inside a segment, without the lock: a new point, a new expected point,
    // and a start that ends the made-ahead segment where it is.
    std::atomic<std::uint64_t> generation{0};
    std::atomic<std::uint64_t> expectation{0};
    std::atomic<bool> cutPrefetch{false};
};

}  // namespace rs
