#include "random/jump_ahead.h"

namespace rs {

BitMatrix BitMatrix::After(const BitMatrix& other) const {
    BitMatrix product;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        product.columns[k] = Apply(other.columns[k]);
    }
    return product;
}

JumpAhead::JumpAhead() {
    for (std::size_t k = 0; k < kStateBits; ++k) {
        powers[0].columns[k] = Draw(std::uint64_t{1} << k);
    }
    for (std::size_t i = 1; i < powers.size(); ++i) {
        powers[i] = powers[i - 1].After(powers[i - 1]);
    }
    for (std::size_t i = 0; i < powers.size(); ++i) {
        for (std::size_t group = 0; group < kNibbles; ++group) {
            for (std::uint64_t value = 0; value < 16; ++value) {
                nibbles[i][group * 16 + value] = powers[i].Apply(value << (4 * group));
            }
        }
    }
}

const JumpAhead& JumpAhead::Instance() {
    static const JumpAhead instance;
    return instance;
}

PackedState JumpAhead::Advance(PackedState state, std::uint64_t count) const {
    for (std::size_t i = 0; count != 0; ++i, count >>= 1) {
        if ((count & 1U) != 0) {
            const std::uint64_t* table = nibbles[i].data();
            std::uint64_t next = 0;
            for (std::size_t group = 0; group < kNibbles; ++group) {
                next ^= table[group * 16 + ((state >> (4 * group)) & 15U)];
            }
            state = next;
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
