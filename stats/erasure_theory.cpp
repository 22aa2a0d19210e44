#include "stats/erasure_theory.h"

#include <algorithm>

#include "base/contract.h"
#include "stats/binomial_weights.h"

namespace rs {

namespace {

// An error among the symbols not erased, given that they are not.
double ErrorAmongKept(double pError, double pErasure) {
    return pErasure < 1.0 ? std::min(1.0, pError / (1.0 - pErasure)) : 0.0;
}

}  // namespace

double LogErasureBlockErrorProbability(std::int64_t n, std::int64_t t, std::int64_t punctured,
                                       double pError, double pErasure) {
    RS_ASSERT(n >= 1 && t >= 0 && punctured >= 0 && punctured <= n, "a code and its punctures");
    RS_ASSERT(pError >= 0.0 && pErasure >= 0.0 && pError + pErasure <= 1.0 + 1e-12,
              "an error and an erasure are exclusive");
    const std::int64_t sent = n - punctured;
    // What the erasures on the channel leave of the 2t a decoder can spend.
    const std::int64_t budget = 2 * t - punctured;
    if (budget < 0) {
        return 0.0;  // the punctures alone exceed it
    }
    const double conditional = ErrorAmongKept(pError, pErasure);
    double sum = LogBinomialTail(sent, budget + 1, pErasure);
    for (std::int64_t s = 0; s <= std::min(budget, sent); ++s) {
        // With s erasures, more than (budget - s) / 2 errors fail.
        const std::int64_t failing = (budget - s) / 2 + 1;
        sum = LogAdd(sum, LogBinomialWeight(sent, s, pErasure) +
                              LogBinomialTail(sent - s, failing, conditional));
    }
    return std::min(sum, 0.0);
}

double LogTrinomialWeight(std::int64_t sent, std::int64_t errors, std::int64_t erasures,
                          double pError, double pErasure) {
    if (errors < 0 || erasures < 0 || errors + erasures > sent) {
        return kLogZero;
    }
    return LogBinomialWeight(sent, erasures, pErasure) +
           LogBinomialWeight(sent - erasures, errors, ErrorAmongKept(pError, pErasure));
}

}  // namespace rs
