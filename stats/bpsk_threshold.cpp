#include "stats/bpsk_threshold.h"

#include <algorithm>
#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/special_functions/erf.hpp>
#include <boost/math/tools/minima.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "base/contract.h"
#include "stats/channel_model.h"
#include "stats/erasure_theory.h"

namespace rs {

namespace {

// P(centre - half < Z < centre + half) for a standard normal Z, centre and half not negative,
// without cancellation: across 0 as a sum of two positive erf values; over a short interval by
// quadrature of the density, since the tails' difference would lose the digits users go deep
// for (and the interval's ends, rounded, would lose its width); else the tails' difference,
// which then loses at most a factor e / (e - 1).
double NormalInterval(double centre, double half) {
    constexpr double kRoot2 = std::numbers::sqrt2;
    if (half == 0.0) {
        return 0.0;
    }
    if (half > centre) {
        return 0.5 * (boost::math::erf((centre + half) / kRoot2) +
                      boost::math::erf((half - centre) / kRoot2));
    }
    // The density's exponent changes by at most 2 over the interval: 20 Gauss-Legendre nodes
    // integrate it to the last digit.
    if (half * (centre + half) <= 1.0) {
        const auto density = [centre](double u) {
            const double x = centre + u;
            return std::exp(-0.5 * x * x) * (0.5 * std::numbers::inv_sqrtpi * kRoot2);
        };
        return boost::math::quadrature::gauss<double, 20>::integrate(density, -half, half);
    }
    return 0.5 * (boost::math::erfc((centre - half) / kRoot2) -
                  boost::math::erfc((centre + half) / kRoot2));
}

}  // namespace

BitCategories BpskCategories(double ebN0Db, double rate, double threshold) {
    RS_ASSERT(threshold >= 0.0 && std::isfinite(threshold), "a finite threshold, 0 or more");
    // 1 / sigma, computed as the hard-decision probability computes it so that threshold 0 is
    // that channel to the last bit.
    const double inverse = std::sqrt(2.0 * rate * std::pow(10.0, ebN0Db / 10.0));
    BitCategories bits;
    bits.wrong = NormalTail((1.0 + threshold) * inverse);
    bits.unreliable = NormalInterval(inverse, threshold * inverse);
    return bits;
}

SymbolCategories SymbolsOf(const BitCategories& bits, std::int32_t m) {
    // (1 - b)^m and 1 - (1 - a / (1 - b))^m by logarithms, so that small rates keep their digits.
    const double logReliable = m * std::log1p(-bits.unreliable);
    SymbolCategories symbols;
    symbols.erasure = -std::expm1(logReliable);
    const double wrongGivenReliable =
        bits.unreliable < 1.0 ? std::fmin(1.0, bits.wrong / (1.0 - bits.unreliable)) : 0.0;
    symbols.error = std::exp(logReliable) * -std::expm1(m * std::log1p(-wrongGivenReliable));
    return symbols;
}

double LogThresholdBlockErrorProbability(double ebN0Db, double rate, double threshold,
                                         std::int32_t m, std::int32_t n, std::int32_t t,
                                         std::int32_t punctured) {
    const SymbolCategories symbols = SymbolsOf(BpskCategories(ebN0Db, rate, threshold), m);
    return LogErasureBlockErrorProbability(n, t, punctured, symbols.error, symbols.erasure);
}

double BestErasureThreshold(double ebN0Db, double rate, std::int32_t m, std::int32_t n,
                            std::int32_t t, std::int32_t punctured) {
    const auto logFer = [&](double threshold) {
        return LogThresholdBlockErrorProbability(ebN0Db, rate, threshold, m, n, t, punctured);
    };
    // The FER falls a little from 0 to its minimum, often at a few hundredths, and then rises to
    // a plateau where every block fails, on which Brent's search alone could settle: a coarse
    // scan brackets the least point first, and Brent's search refines it within the bracket.
    constexpr int kScan = 100;
    int least = 0;
    double leastValue = logFer(0.0);
    for (int i = 1; i <= kScan; ++i) {
        const double value = logFer(kLargestBestThreshold * i / kScan);
        if (value < leastValue) {
            least = i;
            leastValue = value;
        }
    }
    if (least == 0 && !(logFer(kLargestBestThreshold / kScan) > leastValue)) {
        return 0.0;  // flat from 0: every block fails, or none can
    }
    const double low = kLargestBestThreshold * std::max(least - 1, 0) / kScan;
    const double high = kLargestBestThreshold * std::min(least + 1, kScan) / kScan;
    // Half the digits of a double are all a minimum's abscissa can have.
    constexpr int kBits = std::numeric_limits<double>::digits / 2;
    std::uintmax_t iterations = 200;
    const auto [best, value] =
        boost::math::tools::brent_find_minima(logFer, low, high, kBits, iterations);
    // The search's point where it does better than the scan's; either only where it lowers the
    // FER by more than rounding can (a relative 1e-12), so that a flat FER keeps 0.
    const double chosen = value < leastValue ? best : kLargestBestThreshold * least / kScan;
    constexpr double kGain = 1e-12;
    return std::min(value, leastValue) < logFer(0.0) - kGain ? chosen : 0.0;
}

}  // namespace rs
