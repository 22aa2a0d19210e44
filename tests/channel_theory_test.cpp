#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "stats/bounded_distance.h"
#include "stats/channel_model.h"
#include "stats/channel_theory.h"

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

}  // namespace
}  // namespace rs
