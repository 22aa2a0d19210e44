#pragma once

#include <cstdint>

namespace rs {

// What the decoded error patterns of one weight gave, summed over the patterns. Integer sums,
// so that any split of the patterns among threads adds up to the same tally.
struct WeightTally {
    std::int64_t patterns = 0;
    std::int64_t wrongBlocks = 0;          // patterns whose information came out wrong
    std::int64_t errorSymbols = 0;         // wrong information symbols
    std::int64_t errorSymbolsSquared = 0;  // their squares, pattern by pattern, for the spread
    std::int64_t bitErrors = 0;            // wrong information bits
    std::int64_t bitErrorsSquared = 0;
    std::int64_t failures = 0;        // patterns the decoder would have flagged
    std::int64_t miscorrections = 0;  // wrong patterns it would not have flagged

    WeightTally& operator+=(const WeightTally& other) {
        patterns += other.patterns;
        wrongBlocks += other.wrongBlocks;
        errorSymbols += other.errorSymbols;
        errorSymbolsSquared += other.errorSymbolsSquared;
        bitErrors += other.bitErrors;
        bitErrorsSquared += other.bitErrorsSquared;
        failures += other.failures;
        miscorrections += other.miscorrections;
        return *this;
    }
    bool operator==(const WeightTally&) const = default;
};

}  // namespace rs
