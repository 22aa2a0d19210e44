// Segments through the words that carry them between ranks.
#include <gtest/gtest.h>

#include "engine/remote/segment_message.h"

namespace rs {
namespace {

TEST(SegmentMessage, SegmentsArriveAsTheyWereMade) {
    // Dense: the bitmap travels with an odd number of speculated blocks. Sparse: only the list.
    const SegmentTask dense{SeededState(7), kListedThreshold + 1, 1 << 16, 3 << 16, true};
    const SegmentTask sparse{SeededState(7), kListedThreshold, 1 << 16, 3 << 16, false};
    for (const SegmentTask& task : {dense, sparse}) {
        Segment made;
        for (const std::uint32_t candidate : {0U, 63U, 64U, 70000U, 131071U}) {
            if (task.threshold <= kListedThreshold) {
                made.candidates.push_back(candidate);
            } else {
                made.bitmap.resize((task.end - task.base) / 64);
                made.bitmap[candidate / 64] |= std::uint64_t{1} << (candidate % 64);
            }
        }
        if (task.speculated) {
            made.starts = {0, 480, 977};
            made.hits = {7, 17, 0xFFFFFFFF};
            made.decoded = {{1, {17, 3, 9, true}}, {2, {-1, 0, 1LL << 40, false}}};
            made.exit = task.base + 1500;
        } else {
            made.exit = task.base;
        }
        MessageWords words;
        PackSegment(task, made, words);
        Segment arrived;
        ASSERT_TRUE(UnpackSegment(task, words, arrived));
        EXPECT_EQ(arrived.bitmap, made.bitmap);
        EXPECT_EQ(arrived.candidates, made.candidates);
        EXPECT_EQ(arrived.starts, made.starts);
        EXPECT_EQ(arrived.hits, made.hits);
        EXPECT_EQ(arrived.decoded, made.decoded);
        EXPECT_EQ(arrived.exit, made.exit);

        // Cut short, or for another task: refused.
        words.pop_back();
        EXPECT_FALSE(UnpackSegment(task, words, arrived));
        PackSegment(task, made, words);
        SegmentTask other = task;
        other.base += 64;
        EXPECT_FALSE(UnpackSegment(other, words, arrived));
    }
}

TEST(SegmentMessage, TasksAndStops) {
    const SegmentTask task{SeededState(-77), 12345, 1ULL << 40, (1ULL << 40) + 65536, true};
    SegmentTask arrived;
    ASSERT_TRUE(UnpackTask(PackTask(task), arrived));
    EXPECT_EQ(arrived.seeded, task.seeded);
    EXPECT_EQ(arrived.threshold, task.threshold);
    EXPECT_EQ(arrived.base, task.base);
    EXPECT_EQ(arrived.end, task.end);
    EXPECT_TRUE(arrived.speculated);
    EXPECT_FALSE(UnpackTask(PackStop(), arrived));
}

}  // namespace
}  // namespace rs
