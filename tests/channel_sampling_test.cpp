// The sampling rule of the channels that send frames, against the channel's exact probabilities:
// gaps, bursts and the stationary start by chi-square, error frequencies per position, and the
// bits a binary channel flips per wrong symbol.
#include <gtest/gtest.h>

#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "engine/channel/frame_errors.h"
#include "rs_sim/simulator.h"

namespace rs {
namespace {

// A correct sampler exceeds this bound with probability 1e-6.
double ChiSquareBound(std::size_t bins) {
    return boost::math::quantile(
        boost::math::complement(boost::math::chi_squared(static_cast<double>(bins - 1)), 1e-6));
}

// Chi-square of observed lengths (1 and up) against 1 + Geometric(p), in bins of at least 20
// expected, the last open.
double GeometricChiSquare(const std::map<std::uint64_t, std::int64_t>& lengths, double p,
                          std::size_t& bins) {
    std::int64_t total = 0;
    for (const auto& [length, count] : lengths) {
        total += count;
    }
    double chiSquare = 0.0;
    bins = 0;
    std::uint64_t from = 1;
    double observed = 0.0;
    double expected = 0.0;
    for (std::uint64_t length = 1;; ++length) {
        const auto found = lengths.find(length);
        observed += found != lengths.end() ? static_cast<double>(found->second) : 0.0;
        expected +=
            static_cast<double>(total) * p * std::pow(1.0 - p, static_cast<double>(length - 1));
        const double rest =
            static_cast<double>(total) * std::pow(1.0 - p, static_cast<double>(length));
        if (expected >= 20.0 && rest >= 20.0) {
            chiSquare += (observed - expected) * (observed - expected) / expected;
            ++bins;
            observed = 0.0;
            expected = 0.0;
            from = length + 1;
        } else if (rest < 20.0) {
            // The open last bin: every length from here on.
            double last = 0.0;
            for (auto it = lengths.lower_bound(from); it != lengths.end(); ++it) {
                last += static_cast<double>(it->second);
            }
            const double tail =
                static_cast<double>(total) * std::pow(1.0 - p, static_cast<double>(from - 1));
            chiSquare += (last - tail) * (last - tail) / tail;
            ++bins;
            return chiSquare;
        }
    }
}

TEST(ChannelSampling, GapsBetweenErrorsAreGeometric) {
    ChannelModel model;
    model.kind = ChannelModel::Kind::kBinary;
    model.bitLevel = true;
    model.errorRate = 0.013;
    FrameErrors errors;
    std::map<std::uint64_t, std::int64_t> gaps;  // one more than the errorless steps between
    for (std::uint64_t frame = 0; frame < 400; ++frame) {
        PhiloxStream stream = ChannelStream(5, 1, frame);
        SampleFrame(model, 8, 20000, stream, errors);
        std::uint64_t previous = ~std::uint64_t{0};  // the step before the frame
        for (const std::uint64_t step : errors.steps) {
            ++gaps[step - previous];
            previous = step;
        }
    }
    std::size_t bins = 0;
    const double chiSquare = GeometricChiSquare(gaps, model.errorRate, bins);
    EXPECT_LT(chiSquare, ChiSquareBound(bins)) << bins << " bins";
    EXPECT_GT(bins, 20U);
}

// With errors in every Bad step and none in Good, runs of errors are the Bad sojourns and the
// gaps between them the Good ones: both 1 + geometric, at 1/B and at P(Good -> Bad).
TEST(ChannelSampling, BurstsAndTheirGapsAreGeometricAndFramesStartStationary) {
    rs_sim::GilbertElliottChannel channel{rs_sim::GilbertElliottChannel::Level::kBit, 0.0, 1.0,
                                          7.0};
    const ChannelAt at = ModelChannel(channel, {4, 15, 2, 0}, 0.2);
    ASSERT_TRUE(at.model);
    const ChannelModel& model = *at.model;
    FrameErrors errors;
    std::map<std::uint64_t, std::int64_t> bursts;
    std::map<std::uint64_t, std::int64_t> goodRuns;
    std::int64_t startsBad = 0;
    constexpr int kFrames = 4000;
    constexpr std::uint64_t kSteps = 2000;
    for (std::uint64_t frame = 0; frame < kFrames; ++frame) {
        PhiloxStream stream = ChannelStream(9, 2, frame);
        SampleFrame(model, 4, kSteps, stream, errors);
        startsBad += !errors.steps.empty() && errors.steps.front() == 0 ? 1 : 0;
        // Runs that touch neither end of the frame are whole Bad sojourns; the gap between two
        // runs is always a whole Good one.
        std::uint64_t runStart = 0;
        std::optional<std::uint64_t> previousEnd;
        for (std::size_t e = 0; e < errors.steps.size(); ++e) {
            const std::uint64_t step = errors.steps[e];
            if (e == 0 || step != errors.steps[e - 1] + 1) {
                runStart = step;
            }
            if (e + 1 < errors.steps.size() && errors.steps[e + 1] == step + 1) {
                continue;
            }
            if (runStart > 0 && step + 1 < kSteps) {
                ++bursts[step + 1 - runStart];
            }
            if (previousEnd) {
                ++goodRuns[runStart - *previousEnd];
            }
            previousEnd = step + 1;
        }
    }
    std::size_t bins = 0;
    const double burstChi = GeometricChiSquare(bursts, model.badToGood, bins);
    EXPECT_LT(burstChi, ChiSquareBound(bins)) << "bursts, " << bins << " bins";
    const double goodChi = GeometricChiSquare(goodRuns, model.goodToBad, bins);
    EXPECT_LT(goodChi, ChiSquareBound(bins)) << "good runs, " << bins << " bins";
    // The first step is Bad with the stationary share: within 5 standard deviations.
    const double sd = std::sqrt(kFrames * model.badShare * (1.0 - model.badShare));
    EXPECT_NEAR(static_cast<double>(startsBad), kFrames * model.badShare, 5.0 * sd);
}

// Frames are independent, so each position's errors over F frames are binomial(F, P0) at any
// position of a stationary chain, whatever the bursts.
TEST(ChannelSampling, EveryPositionErrsAtTheLongRunRate) {
    using Level = rs_sim::GilbertElliottChannel::Level;
    const rs_sim::Channel channels[] = {
        rs_sim::BinarySymmetricChannel{},
        rs_sim::GilbertElliottChannel{Level::kBit, 0.01, 0.4, 10.0},
        rs_sim::GilbertElliottChannel{Level::kSymbol, 0.0, 0.5, 3.0},
    };
    constexpr std::uint64_t kSteps = 96;
    constexpr int kFrames = 100000;
    constexpr double kP0 = 0.05;
    for (const rs_sim::Channel& channel : channels) {
        const ChannelAt at = ModelChannel(channel, {4, 15, 2, 0}, kP0);
        ASSERT_TRUE(at.model);
        std::vector<std::int64_t> counts(kSteps);
        FrameErrors errors;
        for (std::uint64_t frame = 0; frame < kFrames; ++frame) {
            PhiloxStream stream = ChannelStream(3, 4, frame);
            SampleFrame(*at.model, 4, kSteps, stream, errors);
            for (std::size_t e = 0; e < errors.steps.size(); ++e) {
                ++counts[errors.steps[e]];
                if (!errors.bitLevel) {
                    ASSERT_TRUE(errors.values[e] >= 1 && errors.values[e] < 16);
                }
            }
        }
        // 96 positions at 5 standard deviations: a correct sampler fails about once in 10^4.
        const double sd = std::sqrt(kFrames * kP0 * (1.0 - kP0));
        for (std::uint64_t step = 0; step < kSteps; ++step) {
            EXPECT_NEAR(static_cast<double>(counts[step]), kFrames * kP0, 5.0 * sd)
                << rs_sim::ChannelName(channel) << " step " << step;
        }
    }
}

// A symbol of m bits that the binary channel hits has m p / (1 - (1 - p)^m) bits flipped on
// average; the counts of a run say so within 5 standard errors of that closed form.
TEST(ChannelSampling, BinaryChannelFlipsTheExpectedBitsPerWrongSymbol) {
    rs_sim::Experiment experiment;
    experiment.code = {8, 16, {}};
    experiment.channel = rs_sim::BinarySymmetricChannel{};
    experiment.points = rs_sim::Points::Values({0.02F, 0.2F});
    experiment.stop = {2000, 2000};
    const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
    ASSERT_TRUE(results) << results.error;
    const double m = 8.0;
    for (const rs_sim::PointResult& point : results.value->points) {
        const double p = static_cast<double>(point.P0);
        const double hit = 1.0 - std::pow(1.0 - p, m);
        const double mean = m * p / hit;
        const double variance = (m * p * (1.0 - p) + m * m * p * p) / hit - mean * mean;
        const auto symbols = static_cast<double>(point.counts.channelErrors);
        const double measured = static_cast<double>(point.counts.channelBitErrors) / symbols;
        EXPECT_NEAR(measured, mean, 5.0 * std::sqrt(variance / symbols)) << "p " << p;
    }
}

}  // namespace
}  // namespace rs
