#include "system/cpu_count.h"

#include <sched.h>

#include <gtest/gtest.h>

#include <optional>

#include "pinned_cpu.h"

namespace rs {
namespace {

TEST(CpuCount, CpuMaxTextGivesQuotaRoundedUp) {
    struct Case {
        const char* cpuMax;
        std::optional<std::int32_t> cap;
    };
    const Case cases[] = {
        {"max 100000\n", std::nullopt},
        {"150000 100000\n", 2},
        {"50000 100000\n", 1},
        {"200000 100000\n", 2},
        {"200001 100000", 3},
        {"0 100000\n", std::nullopt},  // no time at all is no quota the kernel accepts
        {"-1 100000\n", std::nullopt},
        {"150000 0\n", std::nullopt},
        {"150000\n", std::nullopt},
        {"150000 100000 7\n", std::nullopt},
        {"1.5 100000\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CpuMaxCap(c.cpuMax), c.cap) << '"' << c.cpuMax << '"';
    }
    EXPECT_EQ(CfsQuotaCap(-1, 100000), std::nullopt);
    EXPECT_EQ(CfsQuotaCap(250000, 100000), 3);
}

TEST(CpuCount, CapHoldsTheAffinityCountDownToOne) {
    EXPECT_EQ(CappedCpuCount(4, std::nullopt), 4);
    EXPECT_EQ(CappedCpuCount(4, 2), 2);
    EXPECT_EQ(CappedCpuCount(2, 8), 2);
    EXPECT_EQ(CappedCpuCount(0, std::nullopt), 1);
}

TEST(CpuCount, FollowsTheAffinityMask) {
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    const std::int32_t affinity = CPU_COUNT(&saved);
    EXPECT_EQ(AffinityCpuCount(), affinity);
    EXPECT_EQ(UsableCpuCount(), CappedCpuCount(affinity, CgroupCpuCap()));

    // Pinned to its first allowed CPU, the thread may use that one alone.
    std::int32_t pinned = 0;
    {
        const testing::PinnedToOneCpu pin;
        ASSERT_TRUE(pin.Pinned());
        pinned = UsableCpuCount();
    }
    EXPECT_EQ(pinned, 1);
}

}  // namespace
}  // namespace rs
