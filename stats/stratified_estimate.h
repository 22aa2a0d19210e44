#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "stats/weight_tally.h"

namespace rs {

// The rates a stratified study estimates, per block sent: blocks with wrong information,
// wrong information symbols over the k sent, wrong information bits over the k m, blocks the
// decoder would have flagged, and wrong blocks it would not have.
enum class Rate : std::uint8_t { kFER, kSER, kBER, kFailure, kMiscorrection };
inline constexpr std::size_t kRateCount = 5;

// One weight's mean of a rate, with its standard error below and above the mean.
struct StratumRate {
    double mean = 0.0;
    double errorLow = 0.0;
    double errorHigh = 0.0;
};
using StratumRates = std::array<StratumRate, kRateCount>;

// The two-sided 95 % confidence of the reports, and its normal quantile.
inline constexpr double kConfidence = 0.95;
double NormalQuantile(double confidence);

// One weight's rates from its tally, for a code of k information symbols of m bits. Block
// rates (FER, failures, miscorrections) take their errors from the exact Clopper-Pearson
// interval, one side each: the half-width of a side over the normal quantile. Symbol and bit
// rates take the standard error of the patterns' mean, and at least the FER's error times
// their mean over the wrong blocks (the whole block when none was wrong), so that a weight
// with too few patterns to show a spread still gets an honest one.
StratumRates SummarizeWeight(const WeightTally& tally, std::int32_t k, std::int32_t m);

// A nonnegative estimate with its 95 % interval, each as a natural logarithm (-infinity for 0),
// so that rates of 1e-400 and beyond keep their digits.
struct LogEstimate {
    double value;
    double low;
    double high;
};

// The estimates at one P0.
struct StratifiedPoint {
    double P0 = 0.0;
    std::array<LogEstimate, kRateCount> rates{};
    // ln of the chance of more than t hits, the bounded-distance decoder's FER.
    double theoryFER = 0.0;
    // ln of the chance of more than t hits but a weight not sampled (below the first or above
    // the last): a bound on what the weights left out add to any rate, which each interval's
    // upper end includes.
    double tail = 0.0;
};

// Combines the rates of weights firstWeight .. firstWeight + rates.size() - 1 (firstWeight > t)
// of a code of length n correcting t by their binomial weights at P0: each estimate is the
// weighted sum of the means, and each side of its interval the normal quantile times the
// weighted errors added in quadrature. For a single weight that is its Clopper-Pearson
// interval; for many, the normal interval of a stratified mean. Weights up to t never err;
// the others left out only widen the upper end.
StratifiedPoint EstimatePoint(double P0, std::int32_t n, std::int32_t t, std::int32_t firstWeight,
                              std::span<const StratumRates> rates);

}  // namespace rs
