#pragma once

#include <cstdint>

namespace rs {

// The natural logarithm of the block error probability of a bounded-distance errors-and-erasures
// decoder, which corrects e errors and s erasures whenever 2e + s <= 2t: the chance that
// 2e + s > 2t when punctured of the n symbols are never sent (erased for certain) and each
// of the n - punctured sent is an error with probability pError or an erasure with
// pErasure, never both. Summed over the erasures' binomial, each term times the errors'
// binomial tail among the symbols not erased, so that it keeps its digits far below the range
// of a double and costs about t tails rather than n^2 terms.
double LogErasureBlockErrorProbability(std::int64_t n, std::int64_t t, std::int64_t punctured,
                                       double pError, double pErasure);

// The natural logarithm of the chance that `sent` symbols, each an error with probability
// pError or an erasure with pErasure (never both), take exactly `errors` errors and `erasures`
// erasures: the trinomial C(sent; e, s) pError^e pErasure^s (1 - pError - pErasure)^(sent-e-s),
// as the erasures' binomial times the errors' among the symbols not erased, the same split the
// block error probability sums.
double LogTrinomialWeight(std::int64_t sent, std::int64_t errors, std::int64_t erasures,
                          double pError, double pErasure);

}  // namespace rs
