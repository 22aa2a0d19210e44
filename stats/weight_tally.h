#pragma once

#include "rs_sim/results.h"

namespace rs_sim {

// Integer sums, so that any split of the patterns among threads adds up to the same tally.
inline WeightTally& operator+=(WeightTally& sum, const WeightTally& other) {
    sum.patterns += other.patterns;
    sum.wrongBlocks += other.wrongBlocks;
    sum.errorSymbols += other.errorSymbols;
    sum.errorSymbolsSquared += other.errorSymbolsSquared;
    sum.bitErrors += other.bitErrors;
    sum.bitErrorsSquared += other.bitErrorsSquared;
    sum.failures += other.failures;
    sum.miscorrections += other.miscorrections;
    return sum;
}

}  // namespace rs_sim

namespace rs {

// What the decoded error patterns of one weight gave, summed over the patterns: the public
// results' own (rs_sim/results.h).
using rs_sim::WeightTally;

}  // namespace rs
