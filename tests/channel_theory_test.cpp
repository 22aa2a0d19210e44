#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "stats/bounded_distance.h"
#include "stats/channel_model.h"
#include "stats/channel_theory.h"
#include "stats/confidence_interval.h"

namespace rs {
namespace {

struct Chain {
    double goodError;
    double badError;
    double goodToBad;
    double badToGood;
};

ChannelModel MarkovModel(const Chain& chain, bool bitLevel) {
    ChannelModel model;
    model.kind = ChannelModel::Kind::kMarkov;
    model.bitLevel = bitLevel;
    model.goodError = chain.goodError;
    model.badError = chain.badError;
    model.goodToBad = chain.goodToBad;
    model.badToGood = chain.badToGood;
    model.badShare = chain.goodToBad / (chain.goodToBad + chain.badToGood);
    return model;
}

// Every error pattern of the whole frame, each weighted by the chain's chance of it (summed over
// the hidden states step by step), sorted into each codeword's min(w, cap).
std::vector<std::vector<double>> EnumeratedDistributions(const ChannelModel& model, int m, int n,
                                                         int interleave, int cap) {
    const int symbolSteps = model.bitLevel ? m : 1;
    const int steps = n * interleave * symbolSteps;
    std::vector<std::vector<double>> distributions(interleave, std::vector<double>(cap + 1, 0.0));
    for (std::uint32_t pattern = 0; pattern < (std::uint32_t{1} << steps); ++pattern) {
        double good = 1.0 - model.badShare;
        double bad = model.badShare;
        for (int k = 0; k < steps; ++k) {
            if (k > 0) {
                const double nextGood = good * (1.0 - model.goodToBad) + bad * model.badToGood;
                bad = good * model.goodToBad + bad * (1.0 - model.badToGood);
                good = nextGood;
            }
            const bool wrong = ((pattern >> k) & 1U) != 0;
            good *= wrong ? model.goodError : 1.0 - model.goodError;
            bad *= wrong ? model.badError : 1.0 - model.badError;
        }
        const std::uint32_t symbolMask = (std::uint32_t{1} << symbolSteps) - 1;
        for (int i = 0; i < interleave; ++i) {
            int w = 0;
            for (int j = 0; j < n; ++j) {
                const int position = j * interleave + i;
                w += (pattern >> (position * symbolSteps) & symbolMask) != 0 ? 1 : 0;
            }
            distributions[i][std::min(w, cap)] += good + bad;
        }
    }
    return distributions;
}

TEST(SymbolErrorCountDistribution, EqualsEveryErrorPatternOfTheFrameSummed) {
    const Chain chains[] = {
        {0.05, 0.6, 0.2, 0.3},
        {0.0, 0.5, 1.0, 0.4},    // Good never lasts a second step
        {0.1, 0.9, 0.7, 0.9},    // the chain swings, so odd and even gaps differ
        {0.01, 0.3, 0.02, 0.1},  // long sojourns
    };
    struct Geometry {
        bool bitLevel;
        int m;
        int n;
        int interleave;
        int cap;
    };
    const Geometry geometries[] = {
        {true, 2, 3, 1, 4}, {true, 2, 3, 2, 4},  {true, 2, 3, 2, 1},
        {true, 3, 3, 2, 2}, {false, 3, 4, 3, 5}, {false, 3, 4, 3, 2},
    };
    for (const Chain& chain : chains) {
        for (const Geometry& g : geometries) {
            const ChannelModel model = MarkovModel(chain, g.bitLevel);
            const std::vector<double> got =
                SymbolErrorCountDistribution(model, g.m, g.n, g.interleave, g.cap);
            const auto want = EnumeratedDistributions(model, g.m, g.n, g.interleave, g.cap);
            ASSERT_EQ(got.size(), static_cast<std::size_t>(g.cap + 1));
            for (int i = 0; i < g.interleave; ++i) {
                for (int w = 0; w <= g.cap; ++w) {
                    EXPECT_NEAR(got[w], want[i][w], 1e-12 * want[i][w])
                        << "chain " << chain.goodError << "/" << chain.badError << " "
                        << (g.bitLevel ? "bit" : "symbol") << " m=" << g.m << " n=" << g.n
                        << " I=" << g.interleave << " codeword " << i << " w=" << w;
                }
            }
        }
    }
}

// P(w = 0..cap-1) and P(w >= cap), term by term.
std::vector<double> Binomial(int n, double p, int cap) {
    std::vector<double> distribution(cap + 1, 0.0);
    for (int w = 0; w <= n; ++w) {
        distribution[std::min(w, cap)] +=
            std::exp(std::lgamma(n + 1.0) - std::lgamma(w + 1.0) - std::lgamma(n - w + 1.0) +
                     w * std::log(p) + (n - w) * std::log1p(-p));
    }
    return distribution;
}

TEST(SymbolErrorCountDistribution, IsBinomialWhenErrorsDoNotDependOnTheState) {
    struct Case {
        ChannelModel::Kind kind;
        bool bitLevel;
        int m;
        int n;
        int interleave;
        int cap;
        double error;
        double goodToBad;
        double badToGood;
    };
    const Case cases[] = {
        {ChannelModel::Kind::kMarkov, true, 4, 15, 1, 16, 0.03, 0.1, 0.2},
        {ChannelModel::Kind::kMarkov, true, 4, 15, 3, 3, 0.03, 0.9, 0.6},
        {ChannelModel::Kind::kMarkov, false, 5, 31, 2, 6, 0.2, 0.01, 0.05},
        // A tail near 1e-46, which a subtraction from 1 could not hold.
        {ChannelModel::Kind::kMarkov, true, 8, 255, 3, 17, 1e-5, 0.001, 0.01},
        {ChannelModel::Kind::kBinary, true, 8, 255, 1, 17, 1e-5, 0.0, 1.0},
        {ChannelModel::Kind::kBinary, true, 4, 15, 1, 16, 0.03, 0.0, 1.0},
        {ChannelModel::Kind::kQarySymmetric, false, 5, 31, 1, 6, 0.2, 0.0, 1.0},
    };
    for (const Case& c : cases) {
        ChannelModel model = MarkovModel({c.error, c.error, c.goodToBad, c.badToGood}, c.bitLevel);
        model.kind = c.kind;
        model.errorRate = c.error;
        const double p = model.SymbolErrorProbability(c.m);
        const std::vector<double> want = Binomial(c.n, p, c.cap);
        const std::vector<double> got =
            SymbolErrorCountDistribution(model, c.m, c.n, c.interleave, c.cap);
        ASSERT_EQ(got.size(), want.size());
        for (int w = 0; w <= c.cap; ++w) {
            EXPECT_NEAR(got[w], want[w], 1e-9 * want[w])
                << "n=" << c.n << " e=" << c.error << " cap=" << c.cap << " w=" << w;
        }
        EXPECT_NEAR(ChannelBlockErrorProbability(model, c.m, c.n, c.cap - 1, c.interleave),
                    want.back(), 1e-9 * want.back());
    }
}

// RS(255,223) on a bursty bit channel: bursts of 100 bits in Bad (e_B = 0.5), none in Good, one
// bit in a thousand wrong in the long run.
TEST(ChannelBlockErrorProbability, BurstsDefeatTheBinomialAndInterleavingSpreadsThem) {
    const double bitError = 1e-3;
    const double badToGood = 0.01;
    const double badShare = bitError / 0.5;
    ChannelModel model =
        MarkovModel({0.0, 0.5, badShare / (1.0 - badShare) * badToGood, badToGood}, true);
    model.badShare = badShare;
    const int m = 8;
    const int n = 255;
    const int t = 16;
    const double binomial =
        BoundedDistanceBlockErrorProbability(n, t, model.SymbolErrorProbability(m));
    double previous = ChannelBlockErrorProbability(model, m, n, t, 1);
    std::printf("symbol error probability %.6g: binomial FER %.6g, chain FER at I=1 %.6g\n",
                model.SymbolErrorProbability(m), binomial, previous);
    EXPECT_GT(previous, 1e6 * binomial);
    for (const int interleave : {2, 4, 8}) {
        const double fer = ChannelBlockErrorProbability(model, m, n, t, interleave);
        std::printf("chain FER at I=%d %.6g\n", interleave, fer);
        EXPECT_LT(fer, previous) << "I=" << interleave;
        previous = fer;
    }
}

TEST(ClusteredInterval, ReducesToClopperPearsonOverBlocksOrFrames) {
    struct Case {
        std::int64_t errors;
        std::int64_t blocks;
    };
    for (const Case c : {Case{0, 0}, Case{0, 10}, Case{10, 10}, Case{5, 10}, Case{1, 7},
                         Case{13, 37}, Case{3, 1000}, Case{977, 1000000}}) {
        const Interval want = ClopperPearson(c.errors, c.blocks);
        const Interval got = ClusteredInterval(c.errors, c.blocks, c.errors, 1);
        if (c.blocks == 0) {
            EXPECT_TRUE(std::isnan(got.low) && std::isnan(got.high));
            continue;
        }
        EXPECT_EQ(got.low, want.low) << c.errors << "/" << c.blocks;
        EXPECT_EQ(got.high, want.high) << c.errors << "/" << c.blocks;
    }
    // Frames that spread less than independent blocks would (100 frames of 4 with 100 errors,
    // 20 of them with 2 and 20 with none) claim no more than the blocks themselves.
    const Interval even = ClusteredInterval(100, 400, 20 * 4 + 60 * 1, 4);
    const Interval blocks = ClopperPearson(100, 400);
    EXPECT_LE(even.low, blocks.low);
    EXPECT_GE(even.high, blocks.high);
    const Interval none = ClusteredInterval(0, 0, 0, 4);
    EXPECT_TRUE(std::isnan(none.low) && std::isnan(none.high));
    // Nothing or everything wrong in 50 frames of 4: whatever ties a frame's codewords, one
    // codeword per frame is 50 independent trials, whose exact ends are 0.025^(1/50) from 0 or 1.
    const double end = std::pow(0.025, 1.0 / 50.0);
    const Interval clean = ClusteredInterval(0, 200, 0, 4);
    EXPECT_EQ(clean.low, 0.0);
    EXPECT_NEAR(clean.high, 1.0 - end, 1e-12);
    const Interval wrong = ClusteredInterval(200, 200, 800, 4);
    EXPECT_NEAR(wrong.low, end, 1e-12);
    EXPECT_EQ(wrong.high, 1.0);
    // With the last frame short, 2 codewords, the frames are 50 trials at most and 49 at least.
    const Interval shortClean = ClusteredInterval(0, 198, 0, 4);
    EXPECT_GE(shortClean.high, 1.0 - end);
    EXPECT_LE(shortClean.high, 1.0 - std::pow(0.025, 1.0 / 49.0));
}

// Frames of 4 codewords: a frame is hit with chance hit, its codewords then failing each with
// chance inHit, else with chance outside. The true FER is hit inHit + (1 - hit) outside.
struct Operating {
    int frames;
    int shortBy;  // codewords missing from the last frame
    double hit;
    double inHit;
    double outside;
};

struct Coverage {
    double clustered;
    double plain;
};

Coverage Cover(const Operating& point, std::uint64_t seed) {
    constexpr int kSize = 4;
    constexpr int kRepetitions = 2000;
    const double fer = point.hit * point.inHit + (1.0 - point.hit) * point.outside;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    int clusteredHeld = 0;
    int plainHeld = 0;
    for (int r = 0; r < kRepetitions; ++r) {
        std::int64_t errors = 0;
        std::int64_t squares = 0;
        std::int64_t blocks = 0;
        for (int f = 0; f < point.frames; ++f) {
            const int size = f + 1 == point.frames ? kSize - point.shortBy : kSize;
            const double chance = uniform(rng) < point.hit ? point.inHit : point.outside;
            std::int64_t y = 0;
            for (int i = 0; i < size; ++i) {
                y += uniform(rng) < chance ? 1 : 0;
            }
            errors += y;
            squares += y * y;
            blocks += size;
        }
        const Interval clustered = ClusteredInterval(errors, blocks, squares, kSize);
        const Interval plain = ClopperPearson(errors, blocks);
        clusteredHeld += clustered.low <= fer && fer <= clustered.high ? 1 : 0;
        plainHeld += plain.low <= fer && fer <= plain.high ? 1 : 0;
    }
    return {100.0 * clusteredHeld / kRepetitions, 100.0 * plainHeld / kRepetitions};
}

TEST(ClusteredInterval, HoldsTheTrueFerAsOftenAsItClaimsWhereClopperPearsonDoesNot) {
    struct Case {
        Operating point;
        bool clustered;
    };
    const Case cases[] = {
        {{800, 2, 0.01, 0.9, 0.0}, true},     // about 29 error blocks in 8 frames
        {{2000, 0, 0.04, 0.6, 0.002}, true},  // about 207 error blocks
        {{1000, 1, 0.0, 0.0, 0.02}, false},   // independent codewords, about 80
        {{300, 3, 0.3, 0.6, 0.2}, false},     // mild clustering at an FER of 0.32
    };
    std::uint64_t seed = 1;
    for (const Case& c : cases) {
        const Coverage coverage = Cover(c.point, seed++);
        std::printf("%d frames, hit %g: clustered %.2f %%, Clopper-Pearson %.2f %%\n",
                    c.point.frames, c.point.hit, coverage.clustered, coverage.plain);
        EXPECT_GE(coverage.clustered, 93.0);
        EXPECT_LE(coverage.clustered, 99.0);
        if (c.clustered) {
            EXPECT_LT(coverage.plain, 90.0);
        }
    }
}

}  // namespace
}  // namespace rs
