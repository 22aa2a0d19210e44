#include "stats/confidence_interval.h"

#include <boost/math/distributions/beta.hpp>
#include <limits>

namespace rs {

Interval ClopperPearson(std::int64_t x, std::int64_t trials, double confidence) {
    if (trials <= 0 || x < 0 || x > trials) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    const double tail = (1.0 - confidence) / 2.0;
    const auto successes = static_cast<double>(x);
    const auto failures = static_cast<double>(trials - x);
    // The ends are the beta quantiles Beta(x, N-x+1) at tail and Beta(x+1, N-x) at 1-tail;
    // a beta with a zero shape is a point mass, which is why the extremes are set directly.
    const double low = x == 0
                           ? 0.0
                           : boost::math::quantile(
                                 boost::math::beta_distribution<>(successes, failures + 1.0), tail);
    const double high =
        x == trials ? 1.0
                    : boost::math::quantile(
                          boost::math::beta_distribution<>(successes + 1.0, failures), 1.0 - tail);
    return {low, high};
}

}  // namespace rs
