#include "stats/binomial_weights.h"

#include <algorithm>
#include <boost/math/special_functions/gamma.hpp>
#include <cmath>

namespace rs {

namespace {

// Terms past the mode this far below the largest add less than e^-45 of the sum.
constexpr double kNegligible = 45.0;

}  // namespace

double LogAdd(double a, double b) {
    if (a < b) {
        std::swap(a, b);
    }
    if (b == kLogZero) {
        return a;
    }
    return a + std::log1p(std::exp(b - a));
}

double LogBinomialWeight(std::int64_t n, std::int64_t w, double p) {
    if (w < 0 || w > n || std::isnan(p)) {
        return kLogZero;
    }
    if (p <= 0.0) {
        return w == 0 ? 0.0 : kLogZero;
    }
    if (p >= 1.0) {
        return w == n ? 0.0 : kLogZero;
    }
    const auto nd = static_cast<double>(n);
    const auto wd = static_cast<double>(w);
    const double choose = boost::math::lgamma(nd + 1.0) - boost::math::lgamma(wd + 1.0) -
                          boost::math::lgamma(nd - wd + 1.0);
    return choose + wd * std::log(p) + (nd - wd) * std::log1p(-p);
}

double LogBinomialTail(std::int64_t n, std::int64_t w, double p) {
    const std::int64_t from = std::max<std::int64_t>(w, 0);
    if (from > n || std::isnan(p)) {
        return kLogZero;
    }
    if (p <= 0.0 || p >= 1.0) {
        return LogBinomialWeight(n, p <= 0.0 ? from : n, p);  // all the mass on 0 or n hits
    }
    const auto mode = static_cast<std::int64_t>(std::floor((static_cast<double>(n) + 1.0) * p));
    double sum = kLogZero;
    double largest = kLogZero;
    for (std::int64_t i = from; i <= n; ++i) {
        const double term = LogBinomialWeight(n, i, p);
        largest = std::max(largest, term);
        sum = LogAdd(sum, term);
        // Beyond the mode the terms fall faster than geometrically.
        if (i > mode && term < largest - kNegligible) {
            break;
        }
    }
    return sum;
}

}  // namespace rs
