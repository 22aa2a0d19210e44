// Tiny random experiments: the fast engine, with and without tables, and the parallel engine
// on small segments, its first made ahead or not, against the reference engine, block by
// block through the same limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/fast_engine.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel_engine.h"
#include "engine/reference_engine.h"

namespace {

rs::PointStatistics RunPoint(rs::Engine& engine, float p0, std::int32_t seed,
                             std::int32_t maxBlocks, std::int32_t maxErrorBlocks) {
    rs::PointStatistics statistics;
    engine.StartPoint(p0, seed);
    while (statistics.blocks < maxBlocks && statistics.errorBlocks < maxErrorBlocks) {
        engine.RunBlocks(statistics, maxBlocks);
    }
    return statistics;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 12) {
        return 0;
    }
    const std::int32_t m = 1 + data[0] % 5;  // GF(2) to GF(32)
    const std::int32_t n = (1 << m) - 1;
    const std::int32_t t = data[1] % (n / 2 + 1);
    std::uint32_t bits = 0;
    std::memcpy(&bits, data + 2, sizeof bits);
    float p0 = 0.0F;
    std::memcpy(&p0, &bits, sizeof p0);
    if (!(p0 == p0)) {
        return 0;  // the experiment file never gives NaN
    }
    std::int32_t seed = 0;
    std::memcpy(&seed, data + 6, sizeof seed);
    // Some points run past the first segments, where the parallel engine's workers come in.
    const std::int32_t maxBlocks = data[10] % 40 + (data[10] >= 160 ? 3000 : 0);
    const std::int32_t maxErrorBlocks = data[11] % 20;

    rs::ReedSolomonCodec codec;
    codec.Configure(m, t);
    rs::RandomGenerator generator;
    rs::ReferenceEngine reference(codec, generator, rs::BlockArrays(n, n - 2 * t), 1 << m);
    const rs::DrawKernel& kernel = rs::BestKernel();
    rs::FastEngine fast(codec, m, kernel);
    const rs::PointStatistics expected = RunPoint(reference, p0, seed, maxBlocks, maxErrorBlocks);
    if (!(RunPoint(fast, p0, seed, maxBlocks, maxErrorBlocks) == expected)) {
        std::abort();
    }
    rs::ParallelEngine parallel(codec, m, kernel, 2, rs::SegmentShape{64, 2});
    parallel.BoundBlocks(maxBlocks);
    // A point before, during which workers may make this one's first segment.
    parallel.StartPoint(p0 / 2, seed);
    parallel.ExpectPoint(p0, seed);
    rs::PointStatistics before;
    parallel.RunBlocks(before, maxBlocks / 2);
    if (!(RunPoint(parallel, p0, seed, maxBlocks, maxErrorBlocks) == expected)) {
        std::abort();
    }
    if (m >= 2) {
        rs::FastEngine algebraic(m, t, kernel);
        if (!(RunPoint(algebraic, p0, seed, maxBlocks, maxErrorBlocks) == expected)) {
            std::abort();
        }
    }
    return 0;
}
