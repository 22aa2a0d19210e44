// The parallel engine's edges, forced by its hooks rather than left to timing: a point's
// first segment made ahead and cut after one chunk, made for a point that does not come
// next, blocks across three segments, and the stitch's view of listed segments.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/fast_engine.h"
#include "engine/hit_search/candidate_stream.h"
#include "engine/hit_search/hit_threshold.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel/segment_maker.h"
#include "engine/parallel/stitch_candidates.h"
#include "engine/parallel_engine.h"

namespace rs {
namespace {

// Each point runs on one thread and on two, whose next point's first segment is made ahead
// whenever one is expected and always cut after one chunk: 64-row chunks, shorter than a
// block of GF(2^16), so that the first blocks span three segments.
TEST(ParallelEngine, PointsMadeAheadAndCutCountAsOnOneThread) {
    constexpr std::int32_t kM = 16;
    constexpr std::int32_t kT = 2;
    const DrawKernel& kernel = BestKernel();
    FastEngine one(kM, kT, kernel);
    ParallelEngine many(kM, kT, kernel, 2, SegmentShape{64, 0, 1});
    struct Step {
        float p0;
        std::int32_t seed;
        std::int32_t blocks;
        // The point expected after this one: a P0 of 0 for none.
        float nextP0 = 0.0F;
        std::int32_t nextSeed = 5;
    };
    // Sparse (listed) and dense candidates; expected points that come, and ones that do not
    // by P0 or by seed alone.
    const Step steps[] = {{0.003F, 5, 12, 0.0035F},          {0.0035F, 5, 12, 0.002F},
                          {0.0025F, 5, 12, 0.0025F, 6},      {0.0025F, 5, 12, 0.01F},
                          {0.01F, 5, 6, 0.0039F, 9},         {0.0039F, 9, 12, 0.00390625F},
                          {0.00390625F, 9, 12, 0.00390625F}, {0.00390625F, 9, 12}};
    std::int64_t expectedPrefetches = 0;
    for (std::size_t s = 0; s < std::size(steps); ++s) {
        const Step& step = steps[s];
        one.StartPoint(step.p0, step.seed);
        many.StartPoint(step.p0, step.seed);
        if (step.nextP0 != 0.0F) {
            many.ExpectPoint(step.nextP0, step.nextSeed);
            const Step& next = steps[s + 1];
            expectedPrefetches += next.p0 == step.nextP0 && next.seed == step.nextSeed ? 1 : 0;
        }
        PointStatistics alone;
        PointStatistics together;
        while (alone.blocks < step.blocks) {
            one.RunBlocks(alone, step.blocks);
            many.RunBlocks(together, step.blocks);
            ASSERT_EQ(together, alone) << "step " << s;
        }
    }
    // The hook makes every expected point that comes start from its made-ahead segment.
    EXPECT_EQ(many.Stitched().prefetched, expectedPrefetches);
    EXPECT_GE(many.Stitched().widestBlock, 3);
}

// Blocks near a listed segment's end that would fit in it without their hits, and reach past
// it with them: these codes put such blocks at the end of some of their segments, which the
// hook makes all of one size (found by search; the layout depends on no kernel).
TEST(ParallelEngine, ListedBlocksThatReachPastTheirSegmentCountAsOnOneThread) {
    const DrawKernel& kernel = BestKernel();
    for (const std::int32_t t : {51, 57}) {
        FastEngine one(15, t, kernel);
        ParallelEngine many(15, t, kernel, 2, SegmentShape{0, 1, 0});
        one.StartPoint(0.0038F, 5);
        many.StartPoint(0.0038F, 5);
        PointStatistics alone;
        PointStatistics together;
        while (alone.blocks < 40) {
            one.RunBlocks(alone, 40);
            many.RunBlocks(together, 40);
        }
        EXPECT_EQ(together, alone) << "t " << t;
    }
}

// The segments' candidates in order, as the stitch reads them.
struct MadeSegments {
    std::vector<MadeSegment> made;
    const MadeSegment& WaitFor(std::int64_t s) { return made.at(static_cast<std::size_t>(s)); }
};

// Across segments of one to three chunks, the stitch's view gives every word as the stream
// of one walk does: from lists at and below P0 = 1/256, from bitmaps above.
TEST(StitchCandidates, GiveTheWordsOfOneStreamAtEverySegmentEdge) {
    const DrawKernel& kernel = BestKernel();
    const std::uint64_t chunk = 64 * static_cast<std::uint64_t>(kernel.words) * 64;
    for (const double p0 : {1.0 / 300, 1.0 / 256, 0.02}) {
        const std::uint32_t threshold = HitThreshold(p0);
        SegmentMaker maker(kernel, 64, 4, 1, false);
        MadeSegments segments;
        std::uint64_t base = 0;
        for (const std::uint64_t chunks : {1, 2, 1, 3, 1, 1}) {
            MadeSegment made;
            made.task = {SeededState(3), threshold, base, base + chunks * chunk, false};
            ASSERT_TRUE(maker.Fill(made.task, made.segment, [] { return false; }));
            segments.made.push_back(std::move(made));
            base += chunks * chunk;
        }
        StitchCandidates<MadeSegments> view(segments);
        view.Start(threshold);
        view.ShowAtLeast(0);
        CandidateStream stream(kernel, 1, 64);
        stream.Start(SeededState(3), threshold);
        for (std::uint64_t w = 0; w < base / 64; ++w) {
            ASSERT_EQ(view.Word(w), stream.Word(w)) << "P0 " << p0 << ", word " << w;
        }
    }
}

}  // namespace
}  // namespace rs
