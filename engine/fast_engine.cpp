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

void FastEngine::RunBlocks(PointStatistics& statistics, std::int32_t blockLimit) {
    RunWithBestPopcount([&] {
        if (counter.ShortBlocks() && candidates.Threshold() != 0 &&
            candidates.Threshold() <= kValueMask) {
            while (statistics.blocks < blockLimit) {
                if (AddBlock(statistics, counter.WalkShort(candidates, blockStart))) {
                    return;
                }
            }
            return;
        }
        while (statistics.blocks < blockLimit) {
            if (AddBlock(statistics, counter.Walk(candidates, blockStart))) {
                return;
            }
        }
    });
}

}  // namespace rs
