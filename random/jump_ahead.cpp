#include "random/jump_ahead.h"

namespace rs {

BitMatrix BitMatrix::After(const BitMatrix& other) const {
    BitMatrix product;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        product.columns[k] = Apply(other.columns[k]);
    }
    return product;
}

namespace {

// The images of every 4-bit group of the state under map.
template <typename Table>
void FillNibbles(const BitMatrix& map, Table& table, int groups) {
    for (int group = 0; group < groups; ++group) {
        for (std::uint64_t value = 0; value < 16; ++value) {
            table[static_cast<std::size_t>(group) * 16 + value] = map.Apply(value << (4 * group));
        }
    }
}

template <typename Table>
PackedState ApplyNibbles(const Table& table, PackedState state, int groups) {
    std::uint64_t next = 0;
    for (int group = 0; group < groups; ++group) {
        next ^= table[static_cast<std::size_t>(group) * 16 + ((state >> (4 * group)) & 15U)];
    }
    return next;
}

}  // namespace

JumpAhead::JumpAhead() {
    for (std::size_t k = 0; k < kStateBits; ++k) {
        powers[0].columns[k] = Draw(std::uint64_t{1} << k);
    }
    for (std::size_t i = 1; i < powers.size(); ++i) {
        powers[i] = powers[i - 1].After(powers[i - 1]);
    }
    for (std::size_t i = 0; i < powers.size(); ++i) {
        FillNibbles(powers[i], nibbles[i], kNibbles);
    }
    for (int level = 0; level < kDigitLevels; ++level) {
        for (std::uint64_t d = 1; d < 16; ++d) {
            FillNibbles(Power(d << (4 * level)), digits[static_cast<std::size_t>(level)][d - 1],
                        kNibbles);
        }
    }
}

const JumpAhead& JumpAhead::Instance() {
    static const JumpAhead instance;
    return instance;
}

PackedState JumpAhead::Advance(PackedState state, std::uint64_t count) const {
    for (int level = 0; level < kDigitLevels; ++level) {
        const std::uint64_t d = (count >> (4 * level)) & 15U;
        if (d != 0) {
            state = ApplyNibbles(digits[static_cast<std::size_t>(level)][d - 1], state, kNibbles);
        }
    }
    count >>= 4 * kDigitLevels;
    for (std::size_t i = 4 * kDigitLevels; count != 0; ++i, count >>= 1) {
        if ((count & 1U) != 0) {
            state = ApplyNibbles(nibbles[i], state, kNibbles);
        }
    }
    return state;
}

BitMatrix JumpAhead::Power(std::uint64_t count) const {
    BitMatrix result;
    for (std::size_t k = 0; k < kStateBits; ++k) {
        result.columns[k] = std::uint64_t{1} << k;
    }
    for (std::size_t i = 0; count != 0; ++i, count >>= 1) {
        if ((count & 1U) != 0) {
            result = powers[i].After(result);
        }
    }
    return result;
}

}  // namespace rs
