#pragma once

#include <cstdint>
#include <limits>

namespace rs {

// The natural logarithm of a chance of 0.
inline constexpr double kLogZero = -std::numeric_limits<double>::infinity();

// The chance that n symbols, each hit independently with probability p, take exactly w hits,
// C(n,w) p^w (1-p)^(n-w), as its natural logarithm, so that it keeps its digits far below the
// range of a double (p = 1e-12 gives terms of 1e-178 and less). -infinity where it is 0: w
// outside 0..n, p = 0 with w > 0, p >= 1 with w < n.
double LogBinomialWeight(std::int64_t n, std::int64_t w, double p);

// The logarithm of the chance of at least w hits: the sum of the weights from w to n.
double LogBinomialTail(std::int64_t n, std::int64_t w, double p);

// ln(e^a + e^b) without overflow or loss, -infinity taken as 0.
double LogAdd(double a, double b);

}  // namespace rs
