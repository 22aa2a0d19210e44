#pragma once

#include <Random123/philox.h>

#include <cstdint>

#include "base/contract.h"

namespace rs {

// The random numbers of one sampled error pattern, or of one frame: Philox4x32-10 keyed by
// (seed, weight) or (seed, point), its counter the sample's or frame's index, a lane and a block
// number. Each pattern's numbers are a function of those alone, so a study or a point gives the
// same numbers for any split of its work among threads or processes, and more samples or
// frames never change the earlier ones. Lanes keep a frame's channel and its data apart.
class PhiloxStream {
  public:
    using Generator = r123::Philox4x32;

    PhiloxStream(std::uint32_t seed, std::uint32_t weight, std::uint64_t sample,
                 std::uint32_t lane = 0)
        : key{{seed, weight}},
          counter{{static_cast<std::uint32_t>(sample), static_cast<std::uint32_t>(sample >> 32U), 0,
                   lane}} {}

    std::uint32_t Next() {
        if (used == kWordsPerBlock) {
            block = Generator()(counter, key);
            ++counter.v[2];
            used = 0;
        }
        return block.v[used++];
    }

    // Uniform in 0..bound-1 for bound >= 1, exactly: the high half of a 64-bit product, with
    // the few words that would favour some values drawn again (Lemire's method).
    std::uint32_t Below(std::uint32_t bound) {
        RS_ASSERT(bound >= 1, "a uniform draw needs a value to draw");
        std::uint64_t product = std::uint64_t{Next()} * bound;
        if (static_cast<std::uint32_t>(product) < bound) {
            const std::uint32_t threshold = (0U - bound) % bound;
            while (static_cast<std::uint32_t>(product) < threshold) {
                product = std::uint64_t{Next()} * bound;
            }
        }
        return static_cast<std::uint32_t>(product >> 32U);
    }

    // The word Next would return after index others on a fresh stream, without drawing them.
    std::uint32_t WordAt(std::uint64_t index) const {
        RS_ASSERT(index / kWordsPerBlock <= 0xFFFFFFFFU, "a stream has 2^34 words");
        Generator::ctr_type at = counter;
        at.v[2] = static_cast<std::uint32_t>(index / kWordsPerBlock);
        return Generator()(at, key).v[index % kWordsPerBlock];
    }
    // Uniform on (0, 1]: 53 random bits, never 0, so that its logarithm is finite.
    double UniformOpenBelow() {
        const std::uint64_t high = Next() >> 6U;  // 26 bits
        const std::uint64_t low = Next() >> 5U;   // 27 bits
        return static_cast<double>((high << 27U | low) + 1) * 0x1p-53;
    }

  private:
    static constexpr int kWordsPerBlock = 4;

    Generator::key_type key;
    Generator::ctr_type counter;
    Generator::ctr_type block{};
    int used = kWordsPerBlock;
};

}  // namespace rs
