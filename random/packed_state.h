#pragma once

#include <cstdint>

namespace rs {

// The generator's live state packed in 52 bits: the low 21 bits of the lagged word in bits
// 0..20 and the 31-bit current word in bits 21..51. Only these bits ever influence a draw:
// one step is a' = b & 0x1FFFFF, b' = rotl31(b ^ a, 10), linear over GF(2).
//
// Constants only: the draw kernels, compiled once per instruction set, include this, and an
// inline function here would be merged across those copies.
using PackedState = std::uint64_t;

inline constexpr int kStateBits = 52;
inline constexpr std::uint64_t kLowMask = 0x1FFFFF;
inline constexpr std::uint64_t kValueMask = 0x7FFFFFFF;

}  // namespace rs
