#include "engine/parallel_engine.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/contract.h"
#include "engine/hit_search/hit_threshold.h"

namespace rs {

namespace {

// The longest block a segment may have to hold; codes up to GF(2^18) stay below it.
constexpr std::uint64_t kLongestSegmentBlock = std::uint64_t{1} << 20;

std::uint64_t LongestBlock(std::int32_t m, std::int32_t t) {
    const std::int64_t n = (std::int64_t{1} << m) - 1;
    return BlockCounter::LongestBlock(n, n - 2 * static_cast<std::int64_t>(t));
}

std::unique_ptr<SegmentScheduler> MakeScheduler(const DrawKernel& kernel, int threads,
                                                SegmentShape shape, std::int32_t m, std::int32_t t,
                                                bool tabled, std::int32_t length,
                                                std::vector<std::unique_ptr<SegmentFiller>> more) {
    RS_ASSERT(ParallelEngine::Handles(m), "segments must hold many of the longest blocks");
    const int rows = ChunkMaker::RowsFor(kernel, shape.rowsPerLane);
    const std::uint64_t chunkDraws =
        static_cast<std::uint64_t>(64 * kernel.words) * static_cast<std::uint64_t>(rows);
    std::vector<std::unique_ptr<SegmentMaker>> local;
    for (int w = 0; w < std::max(threads, 1); ++w) {
        local.push_back(std::make_unique<SegmentMaker>(kernel, rows, m, t, tabled, length));
    }
    return std::make_unique<SegmentScheduler>(
        std::move(local), std::move(more),
        std::make_unique<SegmentMaker>(kernel, rows, m, t, tabled, length), chunkDraws,
        SegmentSizes::For(chunkDraws, m, t, shape.largestChunks), shape);
}

}  // namespace

bool ParallelEngine::Handles(std::int32_t m) {
    return m >= 1 && m <= 30 && LongestBlock(m, 0) <= kLongestSegmentBlock;
}

ParallelEngine::ParallelEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel,
                               int threads, SegmentShape shape,
                               std::vector<std::unique_ptr<SegmentFiller>> more,
                               std::int32_t length)
    : ParallelEngine(std::make_unique<BlockCounter>(codec, m, kernel, length), kernel, threads,
                     shape, m, codec.GetT(), true, length, std::move(more)) {}

ParallelEngine::ParallelEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel,
                               int threads, SegmentShape shape,
                               std::vector<std::unique_ptr<SegmentFiller>> more,
                               std::int32_t length)
    : ParallelEngine(std::make_unique<BlockCounter>(m, t, length), kernel, threads, shape, m, t,
                     false, length, std::move(more)) {}

ParallelEngine::ParallelEngine(std::unique_ptr<BlockCounter> stitcher, const DrawKernel& kernel,
                               int threads, SegmentShape shape, std::int32_t m, std::int32_t t,
                               bool tabled, std::int32_t length,
                               std::vector<std::unique_ptr<SegmentFiller>> more)
    : n(stitcher->N()),
      longestBlock(stitcher->LongestBlock()),
      emptyBlock(static_cast<std::uint64_t>(stitcher->N()) +
                 static_cast<std::uint64_t>(stitcher->K())),
      scheduler(MakeScheduler(kernel, threads, shape, m, t, tabled, length, std::move(more))),
      stitch(std::move(stitcher), *scheduler) {}

std::uint64_t ParallelEngine::MemoryNeed(std::int32_t m, std::int32_t t, int threads) {
    // A speculated block's record is its first draw and its hits; about one block in four at
    // the most is decoded and records its counts too.
    constexpr std::uint64_t kBlockRecordBytes = 2 * sizeof(std::uint32_t);
    constexpr std::uint64_t kDecodedShare = 4;
    // A worker's decoder tables and hit buffers, about those of the codec: 16 symbols a
    // position, and the hit buffers.
    constexpr std::uint64_t kWorkerBytesPerPosition = 64;
    constexpr std::uint64_t kWorkerHitBufferBytes = std::uint64_t{1} << 16;

    const SegmentSizes sizes = SegmentSizes::For(ChunkMaker::kDefaultChunkDraws, m, t, 0);
    const std::uint64_t draws = sizes.largest * ChunkMaker::kDefaultChunkDraws;
    const std::uint64_t n = (std::uint64_t{1} << m) - 1;
    const std::uint64_t blocks = draws / (2 * n - 2 * static_cast<std::uint64_t>(t));
    const std::uint64_t bitmapBytes = draws / CHAR_BIT;  // a bit a draw
    const std::uint64_t slot =
        bitmapBytes + blocks * (kBlockRecordBytes + sizeof(DecodedBlock) / kDecodedShare);
    const std::uint64_t worker = kWorkerBytesPerPosition * n + kWorkerHitBufferBytes;
    const auto count = static_cast<std::size_t>(std::max(threads, 1));
    return SegmentScheduler::SlotCount(count) * slot + slot * sizes.prefetched / sizes.largest +
           count * worker;
}

void ParallelEngine::BoundBlocks(std::int64_t maxBlocks) {
    blockBound = std::max<std::int64_t>(maxBlocks, 0);
}

std::uint64_t ParallelEngine::DrawBound(float P0) const {
    if (blockBound < 0) {
        return ~std::uint64_t{0};
    }
    // Each block takes k + n draws and one more per hit; the hits of the point are at most
    // their mean and twelve standard deviations, taking P0 as at most 1.
    const auto blocks = static_cast<double>(blockBound);
    const double p = std::clamp(static_cast<double>(P0), 0.0, 1.0);
    const double hits = blocks * n * p + 12.0 * std::sqrt(blocks * n * p * (1.0 - p));
    const double draws = blocks * static_cast<double>(emptyBlock) + std::ceil(hits);
    // A bound of 64-bit counts may pass what the draw index can hold: then there is none.
    if (!(draws < 0x1p63)) {
        return ~std::uint64_t{0};
    }
    return static_cast<std::uint64_t>(draws) + longestBlock;
}

void ParallelEngine::ExpectPointAt(float P0, PackedState start) {
    SegmentTask first;
    first.seeded = start;
    first.threshold = HitThreshold(static_cast<double>(P0));
    first.base = 0;
    const std::uint64_t chunkDraws = scheduler->ChunkDraws();
    const std::uint64_t bound = (DrawBound(P0) - 1) / chunkDraws + 1;
    first.end = std::min(scheduler->Sizes().prefetched, bound) * chunkDraws;
    // Blocks begin at the point's first draw, so a walk from there is the true one.
    first.speculated = first.threshold > kListedThreshold;
    scheduler->Expect(first);
}

void ParallelEngine::StartPointAt(float P0, PackedState start) {
    const PackedState seeded = start;
    const std::uint32_t threshold = HitThreshold(static_cast<double>(P0));
    scheduler->Start(seeded, threshold, DrawBound(P0));
    stitch.Start(seeded, threshold);
}

void ParallelEngine::RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) {
    stitch.RunBlocks(statistics, blockLimit);
}

ParallelEngine::Stitching ParallelEngine::Stitched() const {
    Stitching total = stitch.Stitched();
    total.prefetched = scheduler->Prefetched();
    total.waited = scheduler->Waited();
    return total;
}

}  // namespace rs
