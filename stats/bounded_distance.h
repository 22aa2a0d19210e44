#pragma once

#include <cstdint>

namespace rs {

// The block error probability of a bounded-distance decoder on a channel that hits each of n
// symbols independently with probability p: the chance of more than t hits,
// sum over i > t of C(n,i) p^i (1-p)^(n-i). Taken as a binomial upper tail, so it stays
// accurate without overflow or cancellation for n up to 2^30 - 1 and p near 0 or 1.
// p at or below 0 gives 0; p at or above 1 gives 1 when t < n (every symbol is hit).
double BoundedDistanceBlockErrorProbability(std::int64_t n, std::int64_t t, double p);

}  // namespace rs
