#pragma once

#include <cstdint>

#include "base/contract.h"

namespace rs {

// Deterministic shift-and-XOR generator of 31-bit values over two 32-bit state words. Every
// draw is six steps; NextRaw, NextUniform and NextInt each consume exactly one draw, so the
// order of calls fixes every value that follows. Only the low 21 bits of a seed matter.
class RandomGenerator {
  public:
    // Seed must run before the first draw.
    RandomGenerator() = default;

    void Seed(std::int32_t value) {
        lowMask = 0x1FFFFFU;
        valueMask = 0x7FFFFFFFU;
        previous = static_cast<std::uint32_t>(value);
        current = 7799U;
    }

    // One step: the new lagged word is the low 21 bits of the current one; the new current
    // word takes bits 21..30 of the old one at the bottom and bits 0..20 of
    // (previous XOR current) above them.
    void Step() {
        const std::uint32_t a = previous;
        const std::uint32_t b = current;
        previous = b & lowMask;
        current = (((a ^ b) << 10U) ^ (b >> 21U)) & valueMask;
    }

    // In 0..2147483647.
    std::int32_t NextRaw() {
        for (int i = 0; i < 6; ++i) {
            Step();
        }
        return static_cast<std::int32_t>(current);
    }

    // In [0, 1], both ends included, spaced 1/2147483647 apart.
    double NextUniform() {
        NextRaw();
        return static_cast<double>(current) / static_cast<double>(valueMask);
    }

    // In 0..limit-1 for limit >= 1, by plain remainder: no rejection, so when limit does not
    // divide 2^31 the smaller residues are marginally more likely.
    std::int32_t NextInt(std::int32_t limit) {
        RS_ASSERT(limit >= 1, "a uniform draw needs a value to draw");
        return NextRaw() % limit;
    }

    // The state a packed state (the fast engines' form: the lagged word's low 21 bits, then
    // the current word) stands for; SetState(SeededState(s)) draws as Seed(s) does.
    void SetState(std::uint64_t packed) {
        lowMask = 0x1FFFFFU;
        valueMask = 0x7FFFFFFFU;
        previous = static_cast<std::uint32_t>(packed & lowMask);
        current = static_cast<std::uint32_t>(packed >> 21U) & valueMask;
    }

    std::uint32_t GetPrevious() const { return previous; }
    std::uint32_t GetCurrent() const { return current; }

  private:
    // Zero until Seed: an unseeded generator is stuck at 0 rather than reading garbage.
    std::uint32_t lowMask = 0;
    std::uint32_t valueMask = 0;
    std::uint32_t previous = 0;
    std::uint32_t current = 0;
};

}  // namespace rs
