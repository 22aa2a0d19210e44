#pragma once

#include <array>
#include <cstdint>

#include "random/packed_state.h"

namespace rs {

// The state right after Seed(seed): only the seed's low 21 bits take part.
constexpr PackedState SeededState(std::int32_t seed) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(seed)) & kLowMask) |
           (std::uint64_t{7799} << 21);
}

constexpr PackedState Step(PackedState state) {
    const std::uint64_t a = state & kLowMask;
    const std::uint64_t b = state >> 21;
    const std::uint64_t t = b ^ a;
    const std::uint64_t rotated = ((t << 10) | (t >> 21)) & kValueMask;
    return (b & kLowMask) | (rotated << 21);
}

// One draw is six steps; the value drawn is the current word afterwards.
constexpr PackedState Draw(PackedState state) {
    for (int i = 0; i < 6; ++i) {
        state = Step(state);
    }
    return state;
}

constexpr std::uint32_t DrawnValue(PackedState state) {
    return static_cast<std::uint32_t>(state >> 21);
}

// The generator's draws repeat after this many: the order of the draw map, (2^52 - 1) / 3 (a
// product of the primes 5, 53, 157, 1613, 2731 and 8191, so six steps a draw keep the step
// map's order). A point that takes more draws repeats its own errors.
inline constexpr std::uint64_t kDrawPeriod = ((std::uint64_t{1} << 52) - 1) / 3;
// With independent points, point i starts i x kPointLane draws into the seed's stream: a point
// that takes more runs into the next one's, and at most kDrawPeriod / kPointLane points fit.
inline constexpr std::uint64_t kPointLane = std::uint64_t{1} << 40;

// A 52x52 matrix over GF(2), kept by columns: column k is the image of state bit k.
struct BitMatrix {
    std::array<std::uint64_t, kStateBits> columns{};

    PackedState Apply(PackedState state) const {
        std::uint64_t result = 0;
        while (state != 0) {
            const int k = __builtin_ctzll(state);
            result ^= columns[static_cast<std::size_t>(k)];
            state &= state - 1;
        }
        return result;
    }
    // This matrix applied after other.
    BitMatrix After(const BitMatrix& other) const;
};

// The map of one draw, and of 2^i draws for every i, so that the state any number of draws
// ahead costs one matrix product per set bit of the distance, whatever the distance.
class JumpAhead {
  public:
    static const JumpAhead& Instance();

    // The state count draws after state.
    PackedState Advance(PackedState state, std::uint64_t count) const;
    // The map of count draws, as one matrix.
    BitMatrix Power(std::uint64_t count) const;

  private:
    JumpAhead();
    // powers[i] advances 2^i draws; nibbles[i] holds its images of every 4-bit group of the
    // state, so that applying it costs 13 lookups.
    static constexpr int kNibbles = (kStateBits + 3) / 4;
    using NibbleTable = std::array<std::uint64_t, kNibbles * 16>;
    std::array<BitMatrix, 64> powers;
    std::array<NibbleTable, 64> nibbles;
    // The short jumps the decoders' value draws take most: digits[l][d - 1] advances d 16^l
    // draws, so a distance below 16^kDigitLevels costs one product per nonzero hexadecimal
    // digit rather than per set bit.
    static constexpr int kDigitLevels = 3;
    std::array<std::array<NibbleTable, 15>, kDigitLevels> digits;
};

}  // namespace rs
