#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "engine/point_statistics.h"
#include "stats/bounded_distance.h"
#include "stats/confidence_interval.h"
#include "stats/erasure_theory.h"

namespace rs {
namespace {

TEST(ClopperPearson, MatchesPublishedIntervals) {
    struct Case {
        std::int64_t x;
        std::int64_t n;
        double low;
        double high;
    };
    // Exact 95 % intervals as tabulated in the literature (four significant digits); the
    // extremes follow from the closed forms 1 - 0.025^(1/n) and 0.025^(1/n).
    const Case cases[] = {
        {0, 10, 0.0, 1.0 - std::pow(0.025, 0.1)},
        {10, 10, std::pow(0.025, 0.1), 1.0},
        {5, 10, 0.1871, 0.8129},
        {1, 100, 0.0002532, 0.05446},
        {50, 100, 0.3983, 0.6017},
        {0, 1, 0.0, 0.975},
        {1, 1, 0.025, 1.0},
    };
    for (const Case& c : cases) {
        const Interval interval = ClopperPearson(c.x, c.n);
        EXPECT_NEAR(interval.low, c.low, 5e-4 * c.low + 1e-12) << c.x << "/" << c.n;
        EXPECT_NEAR(interval.high, c.high, 5e-4 * c.high) << c.x << "/" << c.n;
    }
    const Interval none = ClopperPearson(0, 0);
    EXPECT_TRUE(std::isnan(none.low) && std::isnan(none.high));
}

// The tail summed term by term, for n small enough that nothing overflows.
double DirectTail(int n, int t, double p) {
    double sum = 0.0;
    for (int i = t + 1; i <= n; ++i) {
        sum += std::exp(std::lgamma(n + 1.0) - std::lgamma(i + 1.0) - std::lgamma(n - i + 1.0)) *
               std::pow(p, i) * std::pow(1.0 - p, n - i);
    }
    return sum;
}

// The SER's interval holds the true SER as often as it claims on blocks whose wrong symbols come
// together, as decoded blocks' do, run as the program runs them: up to a number of error blocks
// or of blocks. Each block (each frame of `frame` codewords, which share their channel) is wrong
// with probability `wrong`, and then each of its codewords has 1 + Binomial(k - 1, spread) wrong
// symbols with probability `inFrame`. Clopper-Pearson over the symbols, as if they were
// independent, holds far less often.
TEST(SymbolErrorInterval, HoldsTheTrueSerAsOftenAsItClaims) {
    struct Case {
        std::int32_t k;
        std::int32_t frame;
        double wrong;
        double inFrame;
        double spread;
        std::int64_t maxErrorBlocks;
        std::int64_t maxBlocks;
    };
    const Case cases[] = {
        {223, 1, 0.002, 1.0, 0.07, 100, 100000000},  // a deep RS(255,223) point
        {223, 1, 0.002, 1.0, 0.07, 8, 100000000},    // stopped after a few error blocks
        {11, 1, 0.6, 1.0, 0.3, 100000, 300},         // dense, stopped by blocks
        {223, 8, 0.01, 0.5, 0.07, 100, 100000000},   // interleaved frames hit by bursts
        {223, 1, 0.0001, 1.0, 0.07, 100, 3000},      // mostly no error at all
    };
    constexpr int kRepetitions = 2000;
    std::mt19937_64 rng(7);
    for (const Case& c : cases) {
        const double ser = c.wrong * c.inFrame * (1.0 + (c.k - 1) * c.spread) / c.k;
        std::geometric_distribution<std::int64_t> rightFrames(c.wrong);
        std::bernoulli_distribution inFrame(c.inFrame);
        std::binomial_distribution<std::int64_t> symbols(c.k - 1, c.spread);
        int held = 0;
        int plainHeld = 0;
        for (int r = 0; r < kRepetitions; ++r) {
            std::int64_t blocks = 0;
            std::int64_t errorBlocks = 0;
            std::int64_t errorSymbols = 0;
            std::int64_t squares = 0;
            while (blocks < c.maxBlocks && errorBlocks < c.maxErrorBlocks) {
                blocks = std::min(blocks + c.frame * rightFrames(rng), c.maxBlocks);
                std::int64_t inThisFrame = 0;
                for (std::int32_t i = 0;
                     i < c.frame && blocks < c.maxBlocks && errorBlocks < c.maxErrorBlocks; ++i) {
                    ++blocks;
                    if (inFrame(rng)) {
                        const std::int64_t x = 1 + symbols(rng);
                        ++errorBlocks;
                        errorSymbols += x;
                        squares += 2 * inThisFrame * x + x * x;
                        inThisFrame += x;
                    }
                }
            }
            const std::int64_t sent = blocks * c.k;
            const Interval interval =
                SymbolErrorInterval(errorSymbols, sent, squares, std::int64_t{c.k} * c.frame);
            const Interval plain = ClopperPearson(errorSymbols, sent);
            held += interval.low <= ser && ser <= interval.high ? 1 : 0;
            plainHeld += plain.low <= ser && ser <= plain.high ? 1 : 0;
        }
        const double coverage = 100.0 * held / kRepetitions;
        const double plainCoverage = 100.0 * plainHeld / kRepetitions;
        std::printf("k %d, frame %d, wrong %g: %.2f %% (Clopper-Pearson over symbols %.2f %%)\n",
                    c.k, c.frame, c.wrong, coverage, plainCoverage);
        EXPECT_GE(coverage, 93.0);
        // Where a run seldom sees an error, its bound over blocks is all it can say.
        if (c.wrong * c.maxBlocks > 1.0) {
            EXPECT_LE(coverage, 99.5);
            EXPECT_LT(plainCoverage, 80.0);
        }
    }
}

// The sum of squares stops at the largest 64-bit value rather than wrap, and the SER's interval
// then reads it as the widest spread, as it does a sum kept without squares.
TEST(SymbolErrorInterval, SaturatedOrMissingSquaresGiveTheWidestInterval) {
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    struct Case {
        std::int64_t sum, a, b, expected;
    };
    for (const Case& c : {Case{kMost - 6, 2, 3, kMost}, Case{kMost - 7, 2, 3, kMost - 1},
                          Case{5, kMost / 2, 3, kMost}, Case{0, 0, kMost, 0}}) {
        std::int64_t sum = c.sum;
        AddProduct(sum, c.a, c.b);
        EXPECT_EQ(sum, c.expected) << c.sum << " + " << c.a << " x " << c.b;
    }
    const Interval widest = SymbolErrorInterval(40, 223000, 40 * 223, 223);
    for (const std::int64_t squares : {kMost, std::int64_t{0}}) {
        const Interval interval = SymbolErrorInterval(40, 223000, squares, 223);
        EXPECT_EQ(interval.low, widest.low);
        EXPECT_EQ(interval.high, widest.high);
    }
    EXPECT_LT(SymbolErrorInterval(40, 223000, 40 * 20, 223).high, widest.high);
}

TEST(BoundedDistance, EqualsTheDirectSumForSmallCodes) {
    for (const auto& [n, t] :
         {std::pair{15, 2}, std::pair{255, 16}, std::pair{7, 3}, std::pair{63, 0}}) {
        for (const double p : {1e-4, 0.01, 0.03, 0.2, 0.5, 0.9}) {
            const double direct = DirectTail(n, t, p);
            EXPECT_NEAR(BoundedDistanceBlockErrorProbability(n, t, p), direct, 1e-10 * direct)
                << n << "," << t << " at " << p;
        }
    }
    EXPECT_EQ(BoundedDistanceBlockErrorProbability(255, 16, 0.0), 0.0);
    EXPECT_EQ(BoundedDistanceBlockErrorProbability(255, 16, -0.5), 0.0);
    EXPECT_EQ(BoundedDistanceBlockErrorProbability(255, 16, 1.5), 1.0);
    EXPECT_EQ(BoundedDistanceBlockErrorProbability(7, 7, 0.5), 0.0);  // never more than n hits
}

// The errors-and-erasures decoder's failure, against the trinomial summed term by term over
// every (e, s) with 2e + s > 2t, each term a product of its factors in long double.
TEST(ErasureTheory, EqualsTheTrinomialSummedTermByTerm) {
    struct Case {
        std::int64_t n, t, punctured;
        double pError, pErasure;
    };
    const Case cases[] = {
        {15, 2, 0, 0.1, 0.05}, {15, 2, 1, 0.02, 0.1},  {31, 2, 3, 0.01, 0.01},
        {15, 2, 4, 0.1, 0.2},  {63, 3, 0, 1e-6, 1e-5}, {255, 16, 2, 0.01, 0.03},
        {15, 2, 0, 0.0, 0.3},  {7, 3, 0, 0.2, 0.8},
    };
    for (const Case& c : cases) {
        const std::int64_t sent = c.n - c.punctured;
        const long double right = 1.0L - c.pError - c.pErasure;
        long double direct = 0;
        for (std::int64_t e = 0; e <= sent; ++e) {
            for (std::int64_t s = 0; e + s <= sent; ++s) {
                if (2 * e + s + c.punctured <= 2 * c.t) {
                    continue;
                }
                long double term = std::pow(static_cast<long double>(c.pError), e) *
                                   std::pow(static_cast<long double>(c.pErasure), s) *
                                   std::pow(right, sent - e - s);
                // sent! / (e! s! (sent - e - s)!) as a product of ratios.
                for (std::int64_t j = 1; j <= e; ++j) {
                    term *= static_cast<long double>(sent - e - s + j) / j;
                }
                for (std::int64_t j = 1; j <= s; ++j) {
                    term *= static_cast<long double>(sent - s + j) / j;
                }
                direct += term;
            }
        }
        const double logFailure =
            LogErasureBlockErrorProbability(c.n, c.t, c.punctured, c.pError, c.pErasure);
        EXPECT_NEAR(std::exp(logFailure), static_cast<double>(direct),
                    1e-10 * static_cast<double>(direct))
            << c.n << "," << c.t << " punctured " << c.punctured << " at " << c.pError << ", "
            << c.pErasure;
    }
    // Without erasures it is the errors-only decoder's; beyond the punctures' reach, certain.
    EXPECT_NEAR(std::exp(LogErasureBlockErrorProbability(255, 16, 0, 0.03, 0.0)),
                BoundedDistanceBlockErrorProbability(255, 16, 0.03), 1e-12);
    EXPECT_EQ(LogErasureBlockErrorProbability(15, 2, 5, 0.0, 0.0), 0.0);
}

// For n = 2^30 - 1 the terms are summed in log space: each term follows from the one before
// by the ratio (n-i)p / ((i+1)(1-p)), and the tail is far from 1 - (its complement), so a
// computation by subtraction would lose every digit.
TEST(BoundedDistance, StaysAccurateForTheLongestCode) {
    const std::int64_t n = (std::int64_t{1} << 30) - 1;
    for (const auto& [t, p] : {std::pair{std::int64_t{5}, 1e-12}, std::pair{std::int64_t{1}, 1e-9},
                               std::pair{std::int64_t{100}, 5e-8}}) {
        const long double logP = std::log(static_cast<long double>(p));
        const long double log1mP = std::log1p(-static_cast<long double>(p));
        // log C(n, t+1) as a sum of small logs: a difference of lgammas near 2e10 would carry
        // an error of 1e-9 by itself.
        long double logTerm = (t + 1) * logP + static_cast<long double>(n - t - 1) * log1mP;
        for (std::int64_t j = 0; j <= t; ++j) {
            logTerm += std::log(static_cast<long double>(n - j) / static_cast<long double>(j + 1));
        }
        const long double first = logTerm;
        long double sum = 0;  // relative to the first term
        for (std::int64_t i = t + 1; i < t + 200; ++i) {
            sum += std::exp(logTerm - first);
            logTerm += std::log(static_cast<long double>(n - i)) + logP -
                       std::log(static_cast<long double>(i + 1)) - log1mP;
        }
        const long double logTail = first + std::log(sum);
        const double tail = BoundedDistanceBlockErrorProbability(n, t, p);
        ASSERT_GT(tail, 0.0);
        EXPECT_NEAR(std::log(tail), static_cast<double>(logTail), 1e-9) << t << " at " << p;
    }
}

}  // namespace
}  // namespace rs
