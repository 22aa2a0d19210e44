#include "engine/parallel/segment_scheduler.h"

#include <algorithm>

#include "base/contract.h"
#include "engine/block_counter.h"

namespace rs {

namespace {

// The largest segment: 64 Mi draws, an 8 MB bitmap, and at most this many blocks.
constexpr std::uint64_t kLargestChunks = 1024;
constexpr std::uint64_t kMostBlocks = std::uint64_t{1} << 17;

// Segments below this share of the largest are not speculated.
constexpr std::uint64_t kLeastSpeculatedShare = 16;

// A point's first segment, made while the point before it runs, is at most this share of
// the largest: 16 chunks, about 2 000 blocks of RS(255,223).
constexpr std::uint64_t kPrefetchedShare = 64;

// Once the walks stop merging, segments only need to be long enough that a thread's work on
// one outweighs seating its lanes, and short enough that a point's end wastes little.
constexpr std::uint64_t kSteadyChunks = 64;

}  // namespace

SegmentSizes SegmentSizes::For(std::uint64_t chunkDraws, std::int32_t m, std::int32_t t,
                               std::uint64_t largestChunks) {
    RS_ASSERT(chunkDraws > 0 && m >= 1 && m <= 30 && t >= 0 &&
                  2 * std::int64_t{t} < (std::int64_t{1} << m),
              "segment sizes are for a code of GF(2^m) that the parallel engine handles");
    const std::int64_t n = (std::int64_t{1} << m) - 1;
    const std::uint64_t longest = BlockCounter::LongestBlock(n, n - 2 * std::int64_t{t});
    const std::uint64_t shortest = longest - static_cast<std::uint64_t>(n);
    // Four of the longest blocks: most blocks of a segment then end in it.
    const std::uint64_t smallest =
        std::max<std::uint64_t>(1, (4 * longest + chunkDraws - 1) / chunkDraws);
    const std::uint64_t largest =
        largestChunks != 0 ? largestChunks
                           : std::min(kLargestChunks, kMostBlocks * shortest / chunkDraws);
    return {smallest, std::max(smallest, largest),
            std::max(smallest, std::min(kSteadyChunks, largest)),
            std::max(smallest, largest / kPrefetchedShare)};
}

SegmentScheduler::SegmentScheduler(std::vector<std::unique_ptr<SegmentMaker>> local,
                                   std::vector<std::unique_ptr<SegmentFiller>> remote,
                                   std::unique_ptr<SegmentMaker> ownMaker, std::uint64_t chunkDraws,
                                   SegmentSizes sizes, SegmentShape shape)
    : chunkDraws(chunkDraws),
      sizes(sizes),
      shape(shape),
      slotCount(SlotCount(local.size() + remote.size())),
      slots(slotCount),
      own(std::move(ownMaker)),
      states(slotCount) {
    for (std::unique_ptr<SegmentMaker>& maker : local) {
        SegmentMaker* raw = maker.get();
        workers.push_back(std::make_unique<Worker>(Worker{std::move(maker), raw, {}}));
    }
    for (std::unique_ptr<SegmentFiller>& filler : remote) {
        workers.push_back(std::make_unique<Worker>(Worker{std::move(filler), nullptr, {}}));
    }
    for (const std::unique_ptr<Worker>& worker : workers) {
        worker->thread = std::thread([this, &worker] { Work(*worker); });
    }
}

SegmentScheduler::~SegmentScheduler() {
    {
        const MutexLock lock(mutex);
        stopping = true;
        generation.fetch_add(1);
        expectation.fetch_add(1);
    }
    workAvailable.notify_all();
    for (const std::unique_ptr<Worker>& worker : workers) {
        worker->thread.join();
    }
}

void SegmentScheduler::Expect(const SegmentTask& first) {
    {
        MutexLock lock(mutex);
        // A first segment made for another point is of no use.
        expectation.fetch_add(1);
        while (prefetch == Prefetch::kMaking) {
            mutex.Await(segmentDone);
        }
        prefetchedTask = first;
        prefetch = Prefetch::kWanted;
    }
    workAvailable.notify_all();
}

bool SegmentScheduler::Start(PackedState pointSeeded, std::uint32_t pointThreshold,
                             std::uint64_t pointDrawBound) {
    bool made = false;
    {
        MutexLock lock(mutex);
        // Workers still on the last point leave it within a chunk; the next point's first
        // segment is kept if this is that point.
        running = false;
        generation.fetch_add(1);
        if (shape.prefetchCutChunks != 0) {
            // The hook: let the made-ahead segment end where the hook cuts it.
            workAvailable.notify_all();
            while (prefetch == Prefetch::kWanted || prefetch == Prefetch::kMaking) {
                mutex.Await(segmentDone);
            }
        }
        seeded = pointSeeded;
        threshold = pointThreshold;
        const bool expected = prefetch != Prefetch::kIdle && prefetchedTask.seeded == seeded &&
                              prefetchedTask.threshold == threshold;
        if (!expected) {
            expectation.fetch_add(1);
        }
        if (prefetch == Prefetch::kWanted) {
            prefetch = Prefetch::kIdle;  // not begun: the stitch makes its own
        }
        if (expected && prefetch == Prefetch::kMaking) {
            cutPrefetch.store(true);  // what is made so far serves
        }
        while (busy != 0) {
            mutex.Await(segmentDone);
        }
        made = expected && prefetch == Prefetch::kMade;
        prefetch = Prefetch::kIdle;
        for (SlotState& state : states) {
            state = {};
        }
        nextClaim = 0;
        released = 0;
        nextBase = 0;
        nextChunks = sizes.smallest;
        // Sparse candidates are listed, and the stitch passes over them faster than it could
        // merge; dense ones are walked by the workers.
        speculate = threshold > kListedThreshold;
        drawBound = pointDrawBound;
        if (made) {
            // Made while the last point ran, perhaps cut short by this start.
            ++prefetchedPoints;
            std::swap(slots[0].segment, prefetched);
            slots[0].task = prefetchedTask;
            states[0] = {0, true};
            nextClaim = 1;
            nextBase = prefetchedTask.end;
            nextChunks = 2 * (prefetchedTask.end / chunkDraws);
            ownSegment = -1;
        } else {
            // The first segment is the stitch's own: a point of a few blocks then waits for
            // no worker, and the stitch walks it anyway.
            Claim(false);
            ownSegment = 0;
        }
        lookahead = Lookahead(nextBase);
        running = true;
    }
    workAvailable.notify_all();
    return made;
}

std::uint64_t SegmentScheduler::Lookahead(std::uint64_t reached) const {
    // Enough for each worker to have a segment of the doubling sizes in hand and the next
    // one to take.
    const std::uint64_t factor = workers.size() + 2;
    const std::uint64_t ahead = reached + sizes.smallest * chunkDraws;
    return ahead > ~std::uint64_t{0} / factor ? ~std::uint64_t{0} : factor * ahead;
}

std::size_t SegmentScheduler::Claim(bool speculated) {
    const std::int64_t segment = nextClaim++;
    const std::size_t slot = static_cast<std::size_t>(segment) % slotCount;
    RS_ASSERT(segment < released + static_cast<std::int64_t>(slotCount),
              "a slot is claimed only once the stitch has released its last segment");
    states[slot] = {segment, false};
    SegmentTask& task = slots[slot].task;
    task.seeded = seeded;
    task.threshold = threshold;
    task.base = nextBase;
    // Sizes double up to the largest while the workers speculate, to the steady size after.
    std::uint64_t chunks = std::min(nextChunks, speculate ? sizes.largest : sizes.steady);
    if (nextBase < drawBound) {
        // Near the bound, what is left is shared out among the workers, so that they finish
        // together; the last segment ends with the chunk holding the bound.
        const std::uint64_t left = (drawBound - nextBase - 1) / chunkDraws + 1;
        const std::uint64_t share = (left + workers.size() - 1) / workers.size();
        chunks = std::min({chunks, left, std::max(share, sizes.smallest)});
    }
    task.end = nextBase + chunks * chunkDraws;
    // The walks rarely meet within the first, small segments of a point: the stitch walks
    // them whole anyway, and should not wait for a speculated walk it then repeats.
    task.speculated = speculated && chunks * kLeastSpeculatedShare >= sizes.largest;
    nextBase = task.end;
    nextChunks = 2 * chunks;
    return slot;
}

bool SegmentScheduler::Claimable() const {
    return running && nextClaim < released + static_cast<std::int64_t>(slotCount) &&
           nextBase < std::min(drawBound, lookahead);
}

void SegmentScheduler::Work(Worker& worker) {
    MutexLock lock(mutex);
    for (;;) {
        // Only workers of this process make the next point's first segment: it may be cut
        // short when the point starts.
        while (!stopping && !Claimable() &&
               !(prefetch == Prefetch::kWanted && worker.local != nullptr)) {
            mutex.Await(workAvailable);
        }
        if (stopping) {
            return;
        }
        if (!Claimable()) {
            MakeNextFirst(worker);
            continue;
        }
        const std::size_t slot = Claim(speculate);
        const std::uint64_t point = generation.load();
        ++busy;
        lock.Unlock();
        MadeSegment& made = slots[slot];
        const bool filled = worker.filler->Fill(made.task, made.segment, [&] {
            return generation.load(std::memory_order_relaxed) != point;
        });
        lock.Lock();
        --busy;
        states[slot].ready = filled && point == generation.load();
        segmentDone.notify_all();
    }
}

void SegmentScheduler::MakeNextFirst(Worker& worker) {
    prefetch = Prefetch::kMaking;
    cutPrefetch.store(false);
    SegmentTask task = prefetchedTask;
    const std::uint64_t expected = expectation.load();
    const std::uint64_t cutAfter = shape.prefetchCutChunks;
    std::uint64_t chunksMade = 0;
    ++busy;
    mutex.unlock();
    const bool filled = worker.local->FillUntilCut(
        task, prefetched, [&] { return expectation.load(std::memory_order_relaxed) != expected; },
        [&] {
            ++chunksMade;
            return cutPrefetch.load(std::memory_order_relaxed) ||
                   (cutAfter != 0 && chunksMade >= cutAfter);
        });
    mutex.lock();
    --busy;
    prefetchedTask = task;
    prefetch = filled && expected == expectation.load() ? Prefetch::kMade : Prefetch::kIdle;
    segmentDone.notify_all();
}

const MadeSegment& SegmentScheduler::WaitFor(std::int64_t segment) {
    MutexLock lock(mutex);
    if (segment == nextClaim && !Claimable()) {
        // Past the point's bound, where workers stop, or past where they may go yet.
        Claim(false);
        ownSegment = segment;
    }
    const std::size_t slot = static_cast<std::size_t>(segment) % slotCount;
    RS_ASSERT(segment >= released && segment <= nextClaim,
              "segments are asked for in order: none before the stitch's, none past the next");
    if (segment == ownSegment) {
        lock.Unlock();
        own->Fill(slots[slot].task, slots[slot].segment, [] { return false; });
        ownSegment = -1;
        lock.Lock();
        states[slot].ready = true;
        return slots[slot];
    }
    if (states[slot].segment != segment || !states[slot].ready) {
        const auto start = std::chrono::steady_clock::now();
        while (states[slot].segment != segment || !states[slot].ready) {
            mutex.Await(segmentDone);
        }
        waited += std::chrono::steady_clock::now() - start;
    }
    return slots[slot];
}

void SegmentScheduler::Release(std::int64_t kept, std::uint64_t reached) {
    {
        const MutexLock lock(mutex);
        released = kept;
        lookahead = Lookahead(reached);
    }
    workAvailable.notify_all();
}

void SegmentScheduler::StopSpeculating() {
    const MutexLock lock(mutex);
    speculate = false;
}

}  // namespace rs
