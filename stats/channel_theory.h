#pragma once

#include <cstdint>
#include <vector>

#include "stats/channel_model.h"

namespace rs {

// The distribution of w, the symbol errors in one codeword of n symbols over GF(2^m) sent
// interleave codewords to a frame: P(w = 0), ..., P(w = cap - 1) and, last, P(w >= cap)
// (cap + 1 numbers). On the memoryless channels w is binomial at the symbol error
// probability. On the Gilbert-Elliott chain it is exact: a forward pass over the codeword's
// symbols with the chain's state and min(w, cap), the chain carried across the other
// codewords' symbols between two of ours; it takes O(n cap) steps and sums only nonnegative
// terms, so tails far below 1e-16 keep their digits.
std::vector<double> SymbolErrorCountDistribution(const ChannelModel& model, std::int32_t m,
                                                 std::int32_t n, std::int32_t interleave,
                                                 std::int32_t cap);

// A bounded-distance decoder's block error probability on the channel, P(w > t): the binomial
// tail on the memoryless channels, the chain's exact tail otherwise (O(n t)).
double ChannelBlockErrorProbability(const ChannelModel& model, std::int32_t m, std::int32_t n,
                                    std::int32_t t, std::int32_t interleave);

}  // namespace rs
