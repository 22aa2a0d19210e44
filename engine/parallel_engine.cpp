#include "engine/parallel_engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <span>

#include "engine/hit_threshold.h"
#include "engine/popcount_dispatch.h"

namespace rs {

namespace {

// The longest block a segment may have to hold; codes up to GF(2^18) stay below it.
constexpr std::uint64_t kLongestSegmentBlock = std::uint64_t{1} << 20;
// The largest segment: 64 Mi draws, an 8 MB bitmap, and at most this many blocks.
constexpr std::uint64_t kLargestChunks = 1024;
constexpr std::uint64_t kMostBlocks = std::uint64_t{1} << 17;

std::uint64_t LongestBlock(std::int32_t m, std::int32_t t) {
    const std::int64_t n = (std::int64_t{1} << m) - 1;
    return BlockCounter::LongestBlock(n, n - 2 * static_cast<std::int64_t>(t));
}

// Segments below this share of the largest are not speculated.
constexpr std::uint64_t kLeastSpeculatedShare = 16;

// A point's first segment, made while the point before it runs, is at most this share of
// the largest: 16 chunks, about 2 000 blocks of RS(255,223).
constexpr std::uint64_t kPrefetchedShare = 64;

// Once the walks stop merging, segments only need to be long enough that a thread's work on
// one outweighs seating its lanes, and short enough that a point's end wastes little.
constexpr std::uint64_t kSteadyChunks = 64;

}  // namespace

ParallelEngine::SegmentSizes ParallelEngine::SizesFor(std::uint64_t chunkDraws, std::int32_t m,
                                                      std::int32_t t, std::uint64_t largestChunks) {
    const std::uint64_t longest = LongestBlock(m, t);
    const std::uint64_t shortest = longest - ((std::uint64_t{1} << m) - 1);
    const std::uint64_t smallest =
        std::max<std::uint64_t>(1, (4 * longest + chunkDraws - 1) / chunkDraws);
    const std::uint64_t largest =
        largestChunks != 0 ? largestChunks
                           : std::min(kLargestChunks, kMostBlocks * shortest / chunkDraws);
    return {smallest, std::max(smallest, largest),
            std::max(smallest, std::min(kSteadyChunks, largest)),
            std::max(smallest, largest / kPrefetchedShare)};
}

class ParallelEngine::StitchCandidates {
  public:
    explicit StitchCandidates(ParallelEngine& engine) : engine(engine) {}

    void Reset() {
        segment = -1;
        end = 0;
    }
    // The walk reads on from segment s at least.
    void ShowAtLeast(std::int64_t s, const Slot& slot) {
        if (segment < s) {
            Show(s, slot);
        }
    }

    std::uint64_t Word(std::uint64_t w) {
        const std::uint32_t threshold = engine.threshold;
        if (threshold == 0) {
            return 0;
        }
        if (threshold > kValueMask) {
            return ~std::uint64_t{0};
        }
        // A block spans at most two segments, and the next one is never freed before the
        // stitch reaches it.
        while (64 * w >= end) {
            Show(segment + 1, engine.WaitFor(segment + 1));
        }
        if (!engine.listing) {
            return bitmap[w - firstWord];
        }
        // Sparse segments have only their candidate list, read in order.
        const std::uint64_t low = 64 * (w - firstWord);
        while (next < list.size() && list[next] < low) {
            ++next;
        }
        std::uint64_t bits = 0;
        for (std::size_t i = next; i < list.size() && list[i] < low + 64; ++i) {
            bits |= std::uint64_t{1} << (list[i] - low);
        }
        return bits;
    }

  private:
    void Show(std::int64_t s, const Slot& slot) {
        segment = s;
        bitmap = slot.made.bitmap.data();
        firstWord = slot.task.base / 64;
        end = slot.task.end;
        list = slot.made.candidates;
        next = 0;
    }

    ParallelEngine& engine;
    std::int64_t segment = -1;
    const std::uint64_t* bitmap = nullptr;
    std::uint64_t firstWord = 0;
    std::uint64_t end = 0;
    std::span<const std::uint32_t> list;
    std::size_t next = 0;  // the list's first candidate not before the last word read
};

bool ParallelEngine::Handles(std::int32_t m) {
    return m >= 1 && m <= 30 && LongestBlock(m, 0) <= kLongestSegmentBlock;
}

ParallelEngine::ParallelEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel,
                               int threads, SegmentShape shape,
                               std::vector<std::unique_ptr<SegmentFiller>> more)
    : ParallelEngine(std::make_unique<BlockCounter>(codec, m), kernel, threads, shape, m,
                     codec.GetT(), true, std::move(more)) {}

ParallelEngine::ParallelEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel,
                               int threads, SegmentShape shape,
                               std::vector<std::unique_ptr<SegmentFiller>> more)
    : ParallelEngine(std::make_unique<BlockCounter>(m, t), kernel, threads, shape, m, t, false,
                     std::move(more)) {}

ParallelEngine::ParallelEngine(std::unique_ptr<BlockCounter> stitcherCounter,
                               const DrawKernel& kernel, int threads, SegmentShape shape,
                               std::int32_t m, std::int32_t t, bool tabled,
                               std::vector<std::unique_ptr<SegmentFiller>> more)
    : stitcher(std::move(stitcherCounter)),
      longestBlock(stitcher->LongestBlock()),
      emptyBlock(static_cast<std::uint64_t>(stitcher->N()) +
                 static_cast<std::uint64_t>(stitcher->K())),
      chunkDraws(static_cast<std::uint64_t>(64 * kernel.words) *
                 static_cast<std::uint64_t>(ChunkMaker::RowsFor(kernel, shape.rowsPerLane))),
      sizes(SizesFor(chunkDraws, m, t, shape.largestChunks)),
      // Each worker's segment and one made ahead, and the stitch's two: workers go on while
      // the stitch waits for a core.
      slotCount(2 * (static_cast<std::size_t>(std::max(threads, 1)) + more.size()) + 2),
      slots(slotCount),
      stitchCandidates(std::make_unique<StitchCandidates>(*this)) {
    const int rows = ChunkMaker::RowsFor(kernel, shape.rowsPerLane);
    for (int w = 0; w < std::max(threads, 1); ++w) {
        auto maker = std::make_unique<SegmentMaker>(kernel, rows, m, t, tabled);
        SegmentMaker* local = maker.get();
        workers.push_back(std::make_unique<Worker>(Worker{std::move(maker), local, {}}));
    }
    for (std::unique_ptr<SegmentFiller>& filler : more) {
        workers.push_back(std::make_unique<Worker>(Worker{std::move(filler), nullptr, {}}));
    }
    own = std::make_unique<SegmentMaker>(kernel, rows, m, t, tabled);
    for (const std::unique_ptr<Worker>& worker : workers) {
        worker->thread = std::thread([this, &worker] { Work(*worker); });
    }
}

ParallelEngine::~ParallelEngine() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        generation.fetch_add(1);
        expectation.fetch_add(1);
    }
    workAvailable.notify_all();
    for (const std::unique_ptr<Worker>& worker : workers) {
        worker->thread.join();
    }
}

std::uint64_t ParallelEngine::MemoryNeed(std::int32_t m, std::int32_t t, int threads) {
    const std::uint64_t draws =
        SizesFor(ChunkMaker::kDefaultChunkDraws, m, t, 0).largest * ChunkMaker::kDefaultChunkDraws;
    const std::uint64_t n = (std::uint64_t{1} << m) - 1;
    const std::uint64_t blocks = draws / (2 * n - 2 * static_cast<std::uint64_t>(t));
    const std::uint64_t slot = draws / 8 + blocks * (8 + sizeof(DecodedBlock) / 4);
    // A worker's decoder tables and hit buffers, about those of the codec.
    const std::uint64_t worker = 64 * n + (std::uint64_t{1} << 16);
    const auto count = static_cast<std::uint64_t>(std::max(threads, 1));
    return (2 * count + 2) * slot + slot / kPrefetchedShare + count * worker;
}

void ParallelEngine::BoundBlocks(std::int32_t maxBlocks) {
    blockBound = std::max(maxBlocks, 0);
}

std::uint64_t ParallelEngine::DrawBound(float P0) const {
    if (blockBound < 0) {
        return ~std::uint64_t{0};
    }
    // Each block takes k + n draws and one more per hit; the hits of the point are at most
    // their mean and twelve standard deviations, taking P0 as at most 1.
    const auto blocks = static_cast<double>(blockBound);
    const double n = stitcher->N();
    const double p = std::clamp(static_cast<double>(P0), 0.0, 1.0);
    const double hits = blocks * n * p + 12.0 * std::sqrt(blocks * n * p * (1.0 - p));
    return static_cast<std::uint64_t>(blocks * static_cast<double>(emptyBlock) + std::ceil(hits)) +
           longestBlock;
}

void ParallelEngine::ExpectPoint(float P0, std::int32_t seed) {
    {
        std::unique_lock lock(mutex);
        // A first segment made for another point is of no use.
        expectation.fetch_add(1);
        segmentDone.wait(lock, [&] { return prefetch != Prefetch::kMaking; });
        SegmentTask& task = prefetched.task;
        task.seeded = SeededState(seed);
        task.threshold = HitThreshold(static_cast<double>(P0));
        task.base = 0;
        const std::uint64_t bound = (DrawBound(P0) - 1) / chunkDraws + 1;
        task.end = std::min(sizes.prefetched, bound) * chunkDraws;
        // Blocks begin at the point's first draw, so a walk from there is the true one.
        task.speculated = task.threshold > kListedThreshold;
        prefetch = Prefetch::kWanted;
    }
    workAvailable.notify_all();
}

void ParallelEngine::StartPoint(float P0, std::int32_t seed) {
    {
        std::unique_lock lock(mutex);
        // Workers still on the last point leave it within a chunk; the next point's first
        // segment is kept if this is that point.
        running = false;
        generation.fetch_add(1);
        seeded = SeededState(seed);
        threshold = HitThreshold(static_cast<double>(P0));
        const bool expected = prefetch != Prefetch::kIdle && prefetched.task.seeded == seeded &&
                              prefetched.task.threshold == threshold;
        if (!expected) {
            expectation.fetch_add(1);
        }
        if (prefetch == Prefetch::kWanted) {
            prefetch = Prefetch::kIdle;  // not begun: the stitch makes its own
        }
        if (expected && prefetch == Prefetch::kMaking) {
            cutPrefetch.store(true);  // what is made so far serves
        }
        segmentDone.wait(lock, [&] { return busy == 0; });
        const bool made = expected && prefetch == Prefetch::kMade;
        prefetch = Prefetch::kIdle;
        for (Slot& slot : slots) {
            slot.segment = -1;
            slot.ready = false;
        }
        nextClaim = 0;
        released = 0;
        nextBase = 0;
        nextChunks = sizes.smallest;
        // Sparse candidates are listed, and the stitch passes over them faster than it could
        // merge; dense ones are walked by the workers.
        speculate = threshold > kListedThreshold;
        listing = !speculate;
        drawBound = DrawBound(P0);
        if (made) {
            // Made while the last point ran.
            ++stitched.prefetched;
            Slot& first = slots[0];
            std::swap(first.made, prefetched.made);
            first.task = prefetched.task;
            first.segment = 0;
            first.ready = true;
            nextClaim = 1;
            nextBase = first.task.end;
            nextChunks = 2 * (first.task.end / chunkDraws);
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
    stitcher->Restart(seeded);
    blockStart = 0;
    stitchSegment = -1;
    stitchSlot = nullptr;
    stitchCandidates->Reset();
}

std::uint64_t ParallelEngine::Lookahead(std::uint64_t reached) const {
    // Enough for each worker to have a segment of the doubling sizes in hand and the next
    // one to take.
    const std::uint64_t factor = workers.size() + 2;
    const std::uint64_t ahead = reached + sizes.smallest * chunkDraws;
    return ahead > ~std::uint64_t{0} / factor ? ~std::uint64_t{0} : factor * ahead;
}

ParallelEngine::Slot& ParallelEngine::Claim(bool speculated) {
    const std::int64_t segment = nextClaim++;
    Slot& slot = slots[static_cast<std::size_t>(segment) % slotCount];
    slot.segment = segment;
    slot.ready = false;
    slot.task.seeded = seeded;
    slot.task.threshold = threshold;
    slot.task.base = nextBase;
    // Sizes double up to the largest while the workers speculate, to the steady size after.
    std::uint64_t chunks = std::min(nextChunks, speculate ? sizes.largest : sizes.steady);
    if (nextBase < drawBound) {
        // Near the bound, what is left is shared out among the workers, so that they finish
        // together; the last segment ends with the chunk holding the bound.
        const std::uint64_t left = (drawBound - nextBase - 1) / chunkDraws + 1;
        const std::uint64_t share = (left + workers.size() - 1) / workers.size();
        chunks = std::min({chunks, left, std::max(share, sizes.smallest)});
    }
    slot.task.end = nextBase + chunks * chunkDraws;
    // The walks rarely meet within the first, small segments of a point: the stitch walks
    // them whole anyway, and should not wait for a speculated walk it then repeats.
    slot.task.speculated = speculated && chunks * kLeastSpeculatedShare >= sizes.largest;
    nextBase = slot.task.end;
    nextChunks = 2 * chunks;
    return slot;
}

bool ParallelEngine::Claimable() const {
    return running && nextClaim < released + static_cast<std::int64_t>(slotCount) &&
           nextBase < std::min(drawBound, lookahead);
}

void ParallelEngine::Work(Worker& worker) {
    std::unique_lock lock(mutex);
    for (;;) {
        // Only workers of this process make the next point's first segment: it may be cut
        // short when the point starts.
        workAvailable.wait(lock, [&] {
            return stopping || Claimable() ||
                   (prefetch == Prefetch::kWanted && worker.local != nullptr);
        });
        if (stopping) {
            return;
        }
        if (!Claimable()) {
            MakeNextFirst(worker, lock);
            continue;
        }
        Slot& slot = Claim(speculate);
        const std::uint64_t point = generation.load();
        ++busy;
        lock.unlock();
        const bool filled = worker.filler->Fill(slot.task, slot.made, [&] {
            return generation.load(std::memory_order_relaxed) != point;
        });
        lock.lock();
        --busy;
        slot.ready = filled && point == generation.load();
        segmentDone.notify_all();
    }
}

void ParallelEngine::MakeNextFirst(Worker& worker, std::unique_lock<std::mutex>& lock) {
    prefetch = Prefetch::kMaking;
    cutPrefetch.store(false);
    SegmentTask task = prefetched.task;
    const std::uint64_t expected = expectation.load();
    ++busy;
    lock.unlock();
    const bool filled = worker.local->FillUntilCut(
        task, prefetched.made,
        [&] { return expectation.load(std::memory_order_relaxed) != expected; },
        [&] { return cutPrefetch.load(std::memory_order_relaxed); });
    lock.lock();
    --busy;
    prefetched.task = task;
    prefetch = filled && expected == expectation.load() ? Prefetch::kMade : Prefetch::kIdle;
    segmentDone.notify_all();
}

ParallelEngine::Slot& ParallelEngine::WaitFor(std::int64_t segment) {
    std::unique_lock lock(mutex);
    if (segment == nextClaim && !Claimable()) {
        // Past the point's bound, where workers stop, or past where they may go yet.
        Claim(false);
        ownSegment = segment;
    }
    Slot& slot = slots[static_cast<std::size_t>(segment) % slotCount];
    if (segment == ownSegment) {
        lock.unlock();
        own->Fill(slot.task, slot.made, [] { return false; });
        ownSegment = -1;
        lock.lock();
        slot.ready = true;
        return slot;
    }
    const auto done = [&] { return slot.segment == segment && slot.ready; };
    if (!done()) {
        const auto start = std::chrono::steady_clock::now();
        segmentDone.wait(lock, done);
        stitched.waited += std::chrono::steady_clock::now() - start;
    }
    return slot;
}

void ParallelEngine::EnterSegment() {
    if (stitchSlot != nullptr && blockStart < stitchSlot->task.end) {
        return;
    }
    // A full segment whose blocks never met the speculated ones: at this P0 the walks do not
    // merge, and speculating only costs the workers time.
    if (stitchSlot != nullptr && stitchSlot->task.speculated && !mergedHere &&
        stitchSlot->task.end - stitchSlot->task.base == sizes.largest * chunkDraws) {
        const std::lock_guard lock(mutex);
        speculate = false;
    }
    // A block spans at most two segments, so the one holding blockStart is the next or the
    // one after.
    do {
        const std::uint64_t reached = stitchSlot != nullptr ? stitchSlot->task.end : 0;
        ++stitchSegment;
        {
            const std::lock_guard lock(mutex);
            released = stitchSegment;
            lookahead = Lookahead(reached);
        }
        workAvailable.notify_all();
        stitchSlot = &WaitFor(stitchSegment);
    } while (stitchSlot->task.end <= blockStart);
    specNext = 0;
    decodedNext = 0;
    candidateNext = 0;
    merged = false;
    mergedHere = false;
    stitchCandidates->ShowAtLeast(stitchSegment, *stitchSlot);
}

void ParallelEngine::RunBlocks(PointStatistics& statistics, std::int32_t blockLimit) {
    RunWithBestPopcount([&] {
        while (statistics.blocks < blockLimit) {
            EnterSegment();
            if (listing) {
                if (StitchListed(statistics, blockLimit)) {
                    return;
                }
                if (statistics.blocks == blockLimit) {
                    return;
                }
                // The block at blockStart may reach into the next segment.
            } else if (!merged) {
                const std::vector<std::uint32_t>& starts = stitchSlot->made.starts;
                const std::uint64_t offset = blockStart - stitchSlot->task.base;
                while (specNext < starts.size() && starts[specNext] < offset) {
                    ++specNext;
                }
                merged = specNext < starts.size() && starts[specNext] == offset;
                mergedHere = mergedHere || merged;
            }
            if (merged) {
                if (TakeSpeculated(statistics, blockLimit)) {
                    return;
                }
            } else {
                ++stitched.walked;
                if (AddBlock(statistics, stitcher->Walk(*stitchCandidates, blockStart))) {
                    return;
                }
            }
        }
    });
}

bool ParallelEngine::StitchListed(PointStatistics& statistics, std::int32_t blockLimit) {
    const Slot& slot = *stitchSlot;
    const std::uint32_t* listed = slot.made.candidates.data();
    const std::size_t size = slot.made.candidates.size();
    const auto k = static_cast<std::uint64_t>(stitcher->K());
    const auto n = static_cast<std::uint64_t>(stitcher->N());
    std::size_t at = candidateNext;
    bool wrong = false;
    // Only blocks that surely end inside the segment, whose list holds all their candidates.
    while (statistics.blocks < blockLimit && blockStart + longestBlock <= slot.task.end) {
        const std::uint64_t positions = blockStart + k;
        while (at < size && slot.task.base + listed[at] < positions) {
            ++at;  // an information draw
        }
        if (at == size || slot.task.base + listed[at] >= positions + n) {
            // No candidate among the positions: no hit, and k + n draws.
            ++statistics.blocks;
            ++stitched.skipped;
            blockStart = positions + n;
            continue;
        }
        ++stitched.walked;
        if (AddBlock(statistics,
                     stitcher->WalkList(listed, size, at, slot.task.base, blockStart))) {
            wrong = true;
            break;
        }
    }
    candidateNext = at;
    return wrong;
}

bool ParallelEngine::TakeSpeculated(PointStatistics& statistics, std::int32_t blockLimit) {
    const Slot& slot = *stitchSlot;
    const std::size_t count = slot.made.starts.size();
    const std::size_t stop =
        std::min(count, specNext + static_cast<std::size_t>(blockLimit - statistics.blocks));
    while (decodedNext < slot.made.decoded.size() &&
           slot.made.decoded[decodedNext].index < specNext) {
        ++decodedNext;
    }
    std::size_t next = specNext;
    const std::int32_t before = statistics.blocks;
    bool wrong = false;
    while (next < stop) {
        const std::size_t upto = std::min<std::size_t>(
            stop,
            decodedNext < slot.made.decoded.size() ? slot.made.decoded[decodedNext].index : count);
        std::int64_t hits = 0;
        for (std::size_t i = next; i < upto; ++i) {
            hits += slot.made.hits[i];
        }
        statistics.channelErrors += hits;
        statistics.blocks += static_cast<std::int32_t>(upto - next);
        next = upto;
        if (next == stop) {
            break;
        }
        wrong = AddBlock(statistics, slot.made.decoded[decodedNext++].outcome);
        ++next;
        if (wrong) {
            break;
        }
    }
    specNext = next;
    stitched.taken += statistics.blocks - before;
    if (next < count) {
        blockStart = slot.task.base + slot.made.starts[next];
    } else {
        blockStart = slot.made.exit;
        merged = false;
    }
    return wrong;
}

}  // namespace rs
