#include "random/random_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace rs {
namespace {

std::vector<std::int32_t> RawDraws(std::int32_t seed, int count) {
    RandomGenerator generator;
    generator.Seed(seed);
    std::vector<std::int32_t> draws;
    for (int i = 0; i < count; ++i) {
        draws.push_back(generator.NextRaw());
    }
    return draws;
}

// --- Golden sequences ----------------------------------------------------------------------------

TEST(RandomGenerator, GoldenRawSequences) {
    struct Case {
        std::int32_t seed;
        std::vector<std::int32_t> first;
    };
    const Case cases[] = {
        {1234, {1185238184, 992158762, 500061319, 1640392388, 1933701136, 1168225800}},
        {0, {540862876, 835538279, 839110297}},
        {2097151, {3991651, 1177636327, 1341927801}},
        // A negative seed acts through its two's-complement bits, of which only the low 21 count.
        {-1, {3991651, 1177636327, 1341927801}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RawDraws(c.seed, static_cast<int>(c.first.size())), c.first) << c.seed;
    }
}

TEST(RandomGenerator, FirstDrawStepByStep) {
    RandomGenerator generator;
    generator.Seed(1234);
    EXPECT_EQ(generator.GetPrevious(), 1234U);
    EXPECT_EQ(generator.GetCurrent(), 7799U);
    struct State {
        std::uint32_t previous;
        std::uint32_t current;
    };
    const State states[] = {
        {7799, 6984704},   {693248, 707386371}, {646147, 220204369},
        {3409, 658851945}, {346217, 353689914}, {1368378, 1185238184},
    };
    for (const State& s : states) {
        generator.Step();
        EXPECT_EQ(generator.GetPrevious(), s.previous);
        EXPECT_EQ(generator.GetCurrent(), s.current);
    }
    // The six steps are exactly one draw: the next draw is the second value of the sequence.
    EXPECT_EQ(generator.NextRaw(), 992158762);
}

TEST(RandomGenerator, StateStaysWithinItsMasks) {
    RandomGenerator generator;
    generator.Seed(987654);
    for (int i = 0; i < 10000; ++i) {
        generator.Step();
        ASSERT_LE(generator.GetPrevious(), 0x1FFFFFU);
        ASSERT_LE(generator.GetCurrent(), 0x7FFFFFFFU);
        ASSERT_FALSE(generator.GetPrevious() == 0 && generator.GetCurrent() == 0) << i;
    }
}

TEST(RandomGenerator, UniformIsTheDrawOverTwoToTheThirtyOneMinusOne) {
    RandomGenerator generator;
    generator.Seed(1234);
    const double first = generator.NextUniform();
    const double second = generator.NextUniform();
    const double third = generator.NextUniform();
    EXPECT_EQ(first, 1185238184.0 / 2147483647.0);
    EXPECT_EQ(second, 992158762.0 / 2147483647.0);
    EXPECT_EQ(third, 500061319.0 / 2147483647.0);
    EXPECT_NEAR(first, 0.5519195388, 1e-10);
    EXPECT_NEAR(second, 0.4620099265, 1e-10);
    EXPECT_NEAR(third, 0.2328591976, 1e-10);
}

TEST(RandomGenerator, IntegerSequences) {
    struct Case {
        std::int32_t limit;
        std::vector<std::int32_t> values;
    };
    const Case cases[] = {
        {16, {8, 10, 7, 4, 0, 8, 8, 0}},
        {256, {168, 42, 135, 196, 16, 8, 136, 16}},
    };
    for (const Case& c : cases) {
        RandomGenerator generator;
        generator.Seed(1234);
        std::vector<std::int32_t> values;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            values.push_back(generator.NextInt(c.limit));
        }
        EXPECT_EQ(values, c.values) << "limit " << c.limit;
    }
}

// Each call takes the next draw, whichever kind it is.
TEST(RandomGenerator, InterleavedCallsShareOneStream) {
    RandomGenerator generator;
    generator.Seed(1234);
    EXPECT_EQ(generator.NextInt(256), 168);
    EXPECT_NEAR(generator.NextUniform(), 0.4620099265, 1e-10);
    EXPECT_EQ(generator.NextInt(255) + 1, 200);
}

TEST(RandomGenerator, OnlyTheLowTwentyOneSeedBitsMatter) {
    const std::vector<std::int32_t> base = RawDraws(1234, 20);
    EXPECT_EQ(RawDraws(1234 + (1 << 21), 20), base);
    EXPECT_EQ(RawDraws(1234 + (1 << 30), 20), base);
    EXPECT_NE(RawDraws(1234 + (1 << 20), 20), base);
    EXPECT_EQ(RawDraws(-1, 20), RawDraws(2097151, 20));
}

TEST(RandomGenerator, SeedingAgainRestartsTheSequence) {
    RandomGenerator generator;
    generator.Seed(1234);
    for (int i = 0; i < 17; ++i) {
        generator.NextRaw();
    }
    generator.NextUniform();
    generator.Seed(1234);
    std::vector<std::int32_t> again;
    for (int i = 0; i < 6; ++i) {
        again.push_back(generator.NextRaw());
    }
    EXPECT_EQ(again, RawDraws(1234, 6));
}

TEST(RandomGenerator, IntOfOneIsZeroAndStillConsumesADraw) {
    RandomGenerator generator;
    generator.Seed(1234);
    EXPECT_EQ(generator.NextInt(1), 0);
    EXPECT_EQ(generator.NextInt(1), 0);
    EXPECT_EQ(generator.NextRaw(), 500061319);
}

// --- The channel's use of the generator ----------------------------------------------------------

// A symbol error is NextUniform() < p. Over N draws the count of hits is binomial(N, p); with a
// fixed seed the outcome is fixed, and it must lie within 5 standard deviations of N p, which a
// fair stream misses with probability below 1e-6.
TEST(RandomGeneratorStatistics, ErrorDecisionsHitAtRateP) {
    RandomGenerator generator;
    generator.Seed(1234);
    const int draws = 200000;
    for (const double p : {0.5, 0.1, 0.01, 0.001}) {
        int hits = 0;
        for (int i = 0; i < draws; ++i) {
            if (generator.NextUniform() < p) {
                ++hits;
            }
        }
        const double mean = draws * p;
        const double sigma = std::sqrt(draws * p * (1.0 - p));
        EXPECT_NEAR(hits, mean, 5.0 * sigma) << "p = " << p;
    }
}

TEST(RandomGeneratorStatistics, UniformCoversItsRange) {
    RandomGenerator generator;
    generator.Seed(2024);
    double low = 1.0;
    double high = 0.0;
    double sum = 0.0;
    const int draws = 100000;
    for (int i = 0; i < draws; ++i) {
        const double u = generator.NextUniform();
        ASSERT_GE(u, 0.0);
        ASSERT_LE(u, 1.0);
        low = std::min(low, u);
        high = std::max(high, u);
        sum += u;
    }
    EXPECT_LT(low, 1e-3);
    EXPECT_GT(high, 1.0 - 1e-3);
    // The mean of N uniforms has standard deviation sqrt(1/12 / N) ~ 0.0009; allow 5 of them.
    EXPECT_NEAR(sum / draws, 0.5, 5.0 * std::sqrt(1.0 / 12.0 / draws));
}

// Error values are NextInt(q - 1) + 1. Counted over q - 1 bins, the chi-square statistic has
// q - 2 degrees of freedom (mean q - 2, variance 2(q - 2)); the bound of mean + 6 standard
// deviations is exceeded by a fair stream with probability below 1e-3 for these sizes (the
// loosest being q = 4, with 2 degrees of freedom: exp(-7)). The
// remainder bias of at most 1 in 2^31 / (q - 1) per value is far below what these counts see.
TEST(RandomGeneratorStatistics, ErrorValuesAreUniformOverNonzeroSymbols) {
    for (const int q : {4, 16, 256}) {
        RandomGenerator generator;
        generator.Seed(1234);
        const int bins = q - 1;
        const int draws = 400 * bins;
        std::vector<int> counts(static_cast<std::size_t>(q), 0);
        for (int i = 0; i < draws; ++i) {
            const std::int32_t value = generator.NextInt(q - 1) + 1;
            ASSERT_GE(value, 1);
            ASSERT_LE(value, q - 1);
            ++counts[static_cast<std::size_t>(value)];
        }
        const double expected = static_cast<double>(draws) / bins;
        double chiSquare = 0.0;
        for (int v = 1; v < q; ++v) {
            const double d = counts[static_cast<std::size_t>(v)] - expected;
            chiSquare += d * d / expected;
        }
        const double degrees = bins - 1;
        EXPECT_LT(chiSquare, degrees + 6.0 * std::sqrt(2.0 * degrees)) << "q = " << q;
    }
}

}  // namespace
}  // namespace rs
