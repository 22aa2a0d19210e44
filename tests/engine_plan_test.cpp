// The engines' front door: which engine a request gets, what it needs, and that every engine it
// makes counts as the reference does.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "engine/engine_plan.h"
#include "engine/parallel/segment.h"

namespace rs {
namespace {

TEST(EnginePlan, ChoosesByEngineOptionFieldAndThreads) {
    // A filler elsewhere counts as a thread: it asks for segments.
    const RemoteFillers remote = [](std::int32_t, std::int32_t, std::int32_t, bool) {
        return std::vector<std::unique_ptr<SegmentFiller>>();
    };
    struct Case {
        EngineRequest request;
        EngineKind kind;
        bool tabled;
        int pointsAtOnce = 1;
    };
    const Case cases[] = {
        {{.m = 8, .t = 16, .reference = true, .threads = 4}, EngineKind::kReference, true},
        {{.m = 20, .t = 4, .reference = true}, EngineKind::kReference, true},
        {{.m = 8, .t = 16, .threads = 1}, EngineKind::kFast, true},
        {{.m = 8, .t = 16, .threads = 2}, EngineKind::kParallel, true},
        {{.m = 12, .t = 2, .threads = 2}, EngineKind::kParallel, true},
        {{.m = 18, .t = 2, .threads = 2}, EngineKind::kParallel, true},
        // Blocks too long for segments: one walk, whatever the threads.
        {{.m = 19, .t = 2, .threads = 8}, EngineKind::kFast, true},
        {{.m = 20, .t = 2, .threads = 1}, EngineKind::kFast, true},
        {{.m = 21, .t = 2, .threads = 1}, EngineKind::kFast, false},
        // Tables that would not fit the memory are left out.
        {{.m = 20, .t = 2, .threads = 1, .memoryBudget = 20U << 20}, EngineKind::kFast, false},
        {{.m = 20, .t = 2, .threads = 1, .memoryBudget = 60U << 20}, EngineKind::kFast, true},
        {{.m = 8, .t = 16, .threads = 1, .remoteFillers = remote}, EngineKind::kParallel, true},
        {{.m = 8, .t = 16, .threads = 1, .shape = {.prefetchCutChunks = 1}},
         EngineKind::kParallel,
         true},
        // Short points of a sweep run whole, as many at once as threads and points allow; a
        // lone point, long points (2^30 draws and more) and other processes take segments.
        {{.m = 8, .t = 16, .threads = 2, .points = 11, .pointBlocks = 100000},
         EngineKind::kFast,
         true,
         2},
        {{.m = 8, .t = 16, .threads = 8, .points = 3, .pointBlocks = 4210752},
         EngineKind::kFast,
         true,
         3},
        {{.m = 8, .t = 16, .threads = 8, .points = 3, .pointBlocks = 4210753},
         EngineKind::kParallel,
         true},
        {{.m = 8, .t = 16, .threads = 2, .points = 1, .pointBlocks = 100},
         EngineKind::kParallel,
         true},
        {{.m = 8, .t = 16, .threads = 1, .points = 11, .pointBlocks = 100},
         EngineKind::kFast,
         true},
        {{.m = 8, .t = 16, .threads = 2, .remoteFillers = remote, .points = 11, .pointBlocks = 100},
         EngineKind::kParallel,
         true},
        {{.m = 20, .t = 2, .threads = 2, .points = 5, .pointBlocks = 1024},
         EngineKind::kFast,
         true,
         2},
    };
    for (const Case& c : cases) {
        const EnginePlan plan = PlanEngine(c.request);
        EXPECT_EQ(plan.kind, c.kind) << plan.why;
        EXPECT_EQ(plan.tabled, c.tabled) << plan.why;
        EXPECT_EQ(plan.pointsAtOnce, c.pointsAtOnce) << plan.why;
        EXPECT_FALSE(plan.why.empty());
    }
}

TEST(EnginePlan, MemoryGrowsWithWhatTheEngineHolds) {
    const auto need = [](EngineRequest request) { return PlanEngine(request).memoryNeed; };
    // Tables from M = 13 on only for the reference engine; workers' segments with threads;
    // hit buffers with the largest P0.
    EXPECT_GT(need({.m = 21, .t = 4, .reference = true}), need({.m = 21, .t = 4}) + (64U << 20));
    EXPECT_GT(need({.m = 20, .t = 4}), need({.m = 21, .t = 4}) + (32U << 20));
    EXPECT_GT(need({.m = 8, .t = 16, .threads = 4}), need({.m = 8, .t = 16, .threads = 2}));
    EXPECT_GT(need({.m = 8, .t = 16, .threads = 2}), need({.m = 8, .t = 16, .threads = 1}));
    // Each point run at once holds its own tables.
    EXPECT_GT(need({.m = 20, .t = 4, .threads = 2, .points = 9, .pointBlocks = 100}),
              need({.m = 20, .t = 4}) + (32U << 20));
    EXPECT_GT(need({.m = 16, .t = 8, .largestP0 = 0.5F}), need({.m = 16, .t = 8}));
}

TEST(EnginePlan, EveryMadeEngineCountsAsTheReference) {
    struct Case {
        std::int32_t m;
        std::int32_t t;
        float P0;
        std::int32_t blocks;
        std::int32_t length = 0;  // shortened to this length; 0 for the full code
        bool tableFree = false;   // the fast engines without the field's tables
    };
    // Miscorrections are common at M = 4 and P0 = 0.3; M = 13 finds roots by algebra with the
    // tables, M = 21 without. Shortened codes: a small one where roots often fall on positions
    // not sent, and the standard RS(204,188) and RS(544,514).
    const Case cases[] = {
        {4, 2, 0.3F, 3000},        {8, 16, 0.06F, 400},       {13, 3, 0.0008F, 4},
        {21, 1, 2e-6F, 3},         {4, 2, 0.3F, 3000, 9},     {8, 8, 0.04F, 2000, 204},
        {10, 15, 0.02F, 300, 544}, {13, 3, 0.002F, 20, 1000}, {10, 15, 0.02F, 300, 544, true}};
    for (const Case& c : cases) {
        std::vector<PointStatistics> counts;
        const std::optional<std::uint64_t> budget =
            c.tableFree ? std::optional<std::uint64_t>(1) : std::nullopt;
        for (const EngineRequest& request :
             {EngineRequest{.m = c.m, .t = c.t, .length = c.length, .reference = true},
              EngineRequest{
                  .m = c.m, .t = c.t, .length = c.length, .threads = 1, .memoryBudget = budget},
              EngineRequest{
                  .m = c.m, .t = c.t, .length = c.length, .threads = 3, .memoryBudget = budget}}) {
            const EnginePlan plan = PlanEngine(request);
            EXPECT_EQ(plan.tabled,
                      request.reference || (!c.tableFree && c.m <= kLargestTabledField));
            MadeEngine made = plan.Make();
            ASSERT_NE(made.engine, nullptr) << made.error;
            PointStatistics statistics;
            made.engine->BoundBlocks(c.blocks);
            made.engine->StartPoint(c.P0, 1234);
            while (statistics.blocks < c.blocks) {
                made.engine->RunBlocks(statistics, c.blocks);
            }
            counts.push_back(statistics);
        }
        EXPECT_GT(counts[0].errorBlocks, 0) << "M=" << c.m << " length " << c.length;
        EXPECT_EQ(counts[1], counts[0]) << "M=" << c.m << " length " << c.length;
        EXPECT_EQ(counts[2], counts[0]) << "M=" << c.m << " length " << c.length;
    }
}

}  // namespace
}  // namespace rs
