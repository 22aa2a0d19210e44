#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "base/contract.h"

namespace rs {

// Scans a candidate bitmap whose bit i of word w is draw base + 64 w + i. Returns the first
// candidate at or after from (base <= from < the bitmap's end); a result at or past limit
// only says there is none below limit, and the bitmap's end says there is none in it.
inline std::uint64_t FirstCandidate(const std::uint64_t* bitmap, std::size_t words,
                                    std::uint64_t base, std::uint64_t from, std::uint64_t limit) {
    RS_ASSERT(from >= base && from - base < 64 * words, "the scan starts inside the bitmap");
    const std::uint64_t start = from - base;
    const std::uint64_t stop = limit > base ? limit - base : 0;
    std::size_t word = static_cast<std::size_t>(start / 64);
    std::uint64_t bits = bitmap[word] & (~std::uint64_t{0} << (start % 64));
    while (bits == 0) {
        if (++word == words || 64 * word >= stop) {
            return base + 64 * word;
        }
        bits = bitmap[word];
    }
    return base + 64 * word + static_cast<std::uint64_t>(std::countr_zero(bits));
}

}  // namespace rs
