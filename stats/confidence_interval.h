#pragma once

#include <cstdint>

namespace rs {

// A two-sided interval for a proportion.
struct Interval {
    double low;
    double high;
};

// The exact (Clopper-Pearson) two-sided interval at the given confidence for x successes out
// of trials: each tail holds at most (1 - confidence) / 2, so the interval covers the true
// proportion at least that often. x = 0 gives low = 0 and x = trials gives high = 1. With no
// trials there is no information: both ends are NaN.
Interval ClopperPearson(std::int64_t x, std::int64_t trials, double confidence = 0.95);

}  // namespace rs
