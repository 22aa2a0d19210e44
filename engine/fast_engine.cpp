#include "engine/fast_engine.h"

#include "engine/hit_search/hit_threshold.h"
#include "engine/kernel/popcount_dispatch.h"

namespace rs {

FastEngine::FastEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel,
                       int threads, int rowsPerLane, std::int32_t length)
    : counter(codec, m, kernel, length), candidates(kernel, threads, rowsPerLane) {}

FastEngine::FastEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel, int threads,
                       int rowsPerLane, std::int32_t length)
    : counter(m, t, length), candidates(kernel, threads, rowsPerLane) {}

void FastEngine::StartPointAt(float P0, PackedState start) {
    candidates.Start(start, HitThreshold(static_cast<double>(P0)));
    counter.Restart(start);
    blockStart = 0;
}

void FastEngine::RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) {
    const bool drawn = candidates.Threshold() != 0 && candidates.Threshold() <= kValueMask;
    RunWithBestPopcount([&] {
        // The counts and the walk's place live in the walk's own locals until it returns:
        // stores through the caller's counts or this engine's members could alias the
        // candidate words it reads, and would keep every block's counts in memory.
        PointStatistics counts = statistics;
        std::uint64_t start = blockStart;
        if (counter.ShortBlocks() && drawn) {
            while (counts.blocks < blockLimit) {
                if (AddBlock(counts, counter.WalkShort(candidates, start))) {
                    break;
                }
            }
        } else {
            while (counts.blocks < blockLimit) {
                if (AddBlock(counts, counter.Walk(candidates, start))) {
                    break;
                }
            }
        }
        statistics = counts;
        blockStart = start;
    });
}

}  // namespace rs
