#pragma once

#include <cstdint>

#include "field/galois_field.h"

namespace rs {

// What a practical decoder would flag, for both decoders: a root of the locator it could
// correct is at a position that was sent (positions 0..sentLength-1), with a nonzero value;
// the word is flagged as uncorrectable when the locator's degree exceeds t or it has fewer
// such roots than its degree. The correction then yields no codeword within t of the word.
constexpr bool UsableRoot(std::int64_t position, std::int64_t sentLength, Symbol value) {
    return position < sentLength && value != 0;
}

constexpr bool DecodeFailureDetected(std::int32_t locatorDegree, std::int32_t usableRoots,
                                     std::int32_t t) {
    return locatorDegree > t || usableRoots < locatorDegree;
}

}  // namespace rs
