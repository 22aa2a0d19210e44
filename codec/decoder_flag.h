#pragma once

#include <cstdint>

#include "field/galois_field.h"

namespace rs {

// What a practical decoder would flag, for both decoders. A root of the errata locator
// (errors times erasures) it could correct is at a position that was sent (positions
// 0..sentLength-1), with a nonzero value unless the position is an erasure, whose value may
// well be zero: its symbol came through right. The word is flagged as uncorrectable when its
// s erasures leave the error locator's degree e above the code's reach, 2e + s > 2t, or the
// errata locator, of degree e + s, has fewer such roots than its degree. The correction then
// yields no codeword within reach of the word. Without erasures: degree above t, or too few
// roots.
constexpr bool UsableRoot(std::int64_t position, std::int64_t sentLength, Symbol value,
                          bool erased = false) {
    return position < sentLength && (erased || value != 0);
}

constexpr bool DecodeFailureDetected(std::int32_t errorLocatorDegree, std::int32_t erasures,
                                     std::int32_t usableRoots, std::int32_t t) {
    return 2 * errorLocatorDegree + erasures > 2 * t || usableRoots < errorLocatorDegree + erasures;
}

}  // namespace rs
