#include "stats/stratified_estimate.h"

#include <algorithm>
#include <boost/math/distributions/normal.hpp>
#include <cmath>

#include "base/contract.h"
#include "stats/binomial_weights.h"
#include "stats/confidence_interval.h"

namespace rs {

namespace {

StratumRate BlockRate(std::int64_t x, std::int64_t patterns, double z) {
    const Interval interval = ClopperPearson(x, patterns, kConfidence);
    const double mean = static_cast<double>(x) / static_cast<double>(patterns);
    return {mean, (mean - interval.low) / z, (interval.high - mean) / z};
}

// The rate of a per-pattern count over `per` units (symbols or bits), given its sum and the
// sum of its squares.
StratumRate MeanRate(std::int64_t sum, std::int64_t squares, const WeightTally& tally,
                     const StratumRate& fer, double per) {
    const auto patterns = static_cast<double>(tally.patterns);
    const double mean = static_cast<double>(sum) / patterns;
    double spread = 0.0;
    if (tally.patterns > 1) {
        const double variance =
            (static_cast<double>(squares) - mean * static_cast<double>(sum)) / (patterns - 1.0);
        spread = std::sqrt(std::max(variance, 0.0) / patterns) / per;
    }
    const double perWrong = tally.wrongBlocks > 0 ? static_cast<double>(sum) /
                                                        static_cast<double>(tally.wrongBlocks) / per
                                                  : 1.0;
    return {mean / per, std::max(spread, fer.errorLow * perWrong),
            std::max(spread, fer.errorHigh * perWrong)};
}

}  // namespace

std::array<LogEstimate, kRateCount> CombineStrata(std::span<const double> logWeights,
                                                  std::span<const StratumRates> rates,
                                                  double logTail) {
    RS_ASSERT(logWeights.size() == rates.size(), "a weight for every stratum");
    double largest = kLogZero;
    for (const double logWeight : logWeights) {
        largest = std::max(largest, logWeight);
    }
    const double z = NormalQuantile(kConfidence);
    std::array<LogEstimate, kRateCount> estimates{};
    for (std::size_t r = 0; r < kRateCount; ++r) {
        if (largest == kLogZero) {
            // No stratum sampled can occur: the rate is whatever the tail holds, at most.
            estimates[r] = {kLogZero, kLogZero, logTail};
            continue;
        }
        double sum = 0.0;
        double varianceLow = 0.0;
        double varianceHigh = 0.0;
        for (std::size_t i = 0; i < rates.size(); ++i) {
            const double scale = std::exp(logWeights[i] - largest);
            const StratumRate& rate = rates[i][r];
            sum += scale * rate.mean;
            varianceLow += scale * scale * rate.errorLow * rate.errorLow;
            varianceHigh += scale * scale * rate.errorHigh * rate.errorHigh;
        }
        const double low = sum - z * std::sqrt(varianceLow);
        const double high = sum + z * std::sqrt(varianceHigh) + std::exp(logTail - largest);
        estimates[r] = {sum > 0.0 ? largest + std::log(sum) : kLogZero,
                        low > 0.0 ? largest + std::log(low) : kLogZero, largest + std::log(high)};
    }
    return estimates;
}

double NormalQuantile(double confidence) {
    return boost::math::quantile(boost::math::normal(), 0.5 + confidence / 2.0);
}

StratumRates SummarizeWeight(const WeightTally& tally, std::int32_t k, std::int32_t m) {
    RS_ASSERT(k >= 1 && m >= 1, "rates per symbol and per bit need a code with information");
    RS_ASSERT(tally.wrongBlocks <= tally.patterns && tally.failures <= tally.patterns &&
                  tally.miscorrections <= tally.wrongBlocks,
              "a tally counts each pattern at most once, and a miscorrection as a wrong one");
    StratumRates rates{};
    if (tally.patterns <= 0) {
        // Nothing known: anything from 0 to every block.
        rates.fill({0.0, 0.0, 1.0});
        return rates;
    }
    const double z = NormalQuantile(kConfidence);
    const StratumRate fer = BlockRate(tally.wrongBlocks, tally.patterns, z);
    rates[static_cast<std::size_t>(Rate::kFER)] = fer;
    rates[static_cast<std::size_t>(Rate::kSER)] =
        MeanRate(tally.errorSymbols, tally.errorSymbolsSquared, tally, fer, k);
    rates[static_cast<std::size_t>(Rate::kBER)] =
        MeanRate(tally.bitErrors, tally.bitErrorsSquared, tally, fer, static_cast<double>(k) * m);
    rates[static_cast<std::size_t>(Rate::kFailure)] = BlockRate(tally.failures, tally.patterns, z);
    rates[static_cast<std::size_t>(Rate::kMiscorrection)] =
        BlockRate(tally.miscorrections, tally.patterns, z);
    return rates;
}

StratifiedPoint EstimatePoint(double P0, std::int32_t n, std::int32_t t, std::int32_t firstWeight,
                              std::span<const StratumRates> rates) {
    RS_ASSERT(firstWeight > t, "weights up to t never err and are not sampled");
    StratifiedPoint point;
    point.P0 = P0;
    point.theoryFER = LogBinomialTail(n, std::int64_t{t} + 1, P0);
    point.tail =
        LogBinomialTail(n, std::int64_t{firstWeight} + static_cast<std::int64_t>(rates.size()), P0);
    for (std::int64_t w = std::int64_t{t} + 1; w < firstWeight; ++w) {
        point.tail = LogAdd(point.tail, LogBinomialWeight(n, w, P0));
    }
    // The weights below firstWeight are those up to t, which contribute nothing.
    std::vector<double> logWeights(rates.size());
    for (std::size_t i = 0; i < rates.size(); ++i) {
        logWeights[i] = LogBinomialWeight(n, firstWeight + static_cast<std::int64_t>(i), P0);
    }
    point.rates = CombineStrata(logWeights, rates, point.tail);
    return point;
}

}  // namespace rs
