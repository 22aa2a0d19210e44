#include "stats/bounded_distance.h"

#include <boost/math/distributions/binomial.hpp>

namespace rs {

double BoundedDistanceBlockErrorProbability(std::int64_t n, std::int64_t t, double p) {
    if (t >= n || !(p > 0.0)) {
        return 0.0;  // also a NaN p: no channel, no error
    }
    if (p >= 1.0) {
        return 1.0;
    }
    if (t < 0) {
        return 1.0;
    }
    const boost::math::binomial_distribution<> hits(static_cast<double>(n), p);
    // P(X > t), computed directly as the complement, never as 1 - P(X <= t).
    return boost::math::cdf(boost::math::complement(hits, static_cast<double>(t)));
}

}  // namespace rs
