#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "rs_sim/results.h"
#include "stats/weight_tally.h"

namespace rs {

// The rates a stratified study estimates, per block sent: blocks with wrong information,
// wrong information symbols over the k sent, wrong information bits over the k m, blocks the
// decoder would have flagged, and wrong blocks it would not have.
using Rate = rs_sim::Rate;
using rs_sim::kRateCount;

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

// A nonnegative estimate with its 95 % interval, each as a natural logarithm, and the estimates
// at one P0: the public results' own (rs_sim/results.h).
using rs_sim::LogEstimate;
using rs_sim::StratifiedPoint;

// Combines strata, each with its rates and the natural logarithm of its probability, into a
// point's estimates: each the weighted sum of the means, each side of its interval the normal
// quantile times the weighted errors added in quadrature, the upper end widened by what the
// strata left out could hold (logTail).
std::array<LogEstimate, kRateCount> CombineStrata(std::span<const double> logWeights,
                                                  std::span<const StratumRates> rates,
                                                  double logTail);

// Combines the rates of weights firstWeight .. firstWeight + rates.size() - 1 (firstWeight > t)
// of a code of length n correcting t by their binomial weights at P0: each estimate is the
// weighted sum of the means, and each side of its interval the normal quantile times the
// weighted errors added in quadrature. For a single weight that is its Clopper-Pearson
// interval; for many, the normal interval of a stratified mean. Weights up to t never err;
// the others left out only widen the upper end.
StratifiedPoint EstimatePoint(double P0, std::int32_t n, std::int32_t t, std::int32_t firstWeight,
                              std::span<const StratumRates> rates);

}  // namespace rs
