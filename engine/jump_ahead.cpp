#include "engine/jump_ahead.h"

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
}

const JumpAhead& JumpAhead::Instance() {
    static const JumpAhead instance;
    return instance;
}

PackedState JumpAhead::Advance(PackedState state, std::uint64_t count) const {
    for (std::size_t i = 0; count != 0; ++i, count >>= 1) {
        if ((count & 1U) != 0) {
            state = powers[i].Apply(state);
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
