// The bit-sliced draw kernel, included by one source file per instruction-set level. Each
// includer defines RS_KERNEL_NAMESPACE and RS_KERNEL_VECTOR (a machine word, or a GCC vector
// of them) before including, so that the copies compiled for different levels never merge.
// Nothing here calls a library function, for the same reason.
//
// One word per state bit holds that bit for every lane, so a step of all lanes is 21 XORs of
// words. The step's rotation and the swap of the two state words are renamings of the slots,
// resolved at compile time; the naming repeats after 26 draws, so a pass runs 26 rows.

#include <cstdint>
#include <utility>

namespace rs::RS_KERNEL_NAMESPACE {

using Word = RS_KERNEL_VECTOR;

struct SlicePlan {
    std::uint8_t target[26 * 126];  // per draw, per step, the 21 slots that take an XOR
    std::uint8_t source[26 * 126];
    std::uint8_t value[26][31];  // the slot of each bit of the value drawn, per draw
};

constexpr SlicePlan MakeSlicePlan() {
    SlicePlan plan{};
    std::uint8_t a[21] = {};
    std::uint8_t b[31] = {};
    for (int i = 0; i < 21; ++i) {
        a[i] = static_cast<std::uint8_t>(i);
    }
    for (int i = 0; i < 31; ++i) {
        b[i] = static_cast<std::uint8_t>(21 + i);
    }
    int pair = 0;
    for (int draw = 0; draw < 26; ++draw) {
        for (int step = 0; step < 6; ++step) {
            // t = b ^ a lands in a's slots; a' = b; b' = rotl31(t, 10).
            std::uint8_t nextA[21] = {};
            std::uint8_t nextB[31] = {};
            for (int i = 0; i < 21; ++i) {
                plan.target[pair] = a[i];
                plan.source[pair] = b[i];
                ++pair;
                nextA[i] = b[i];
            }
            for (int i = 0; i < 31; ++i) {
                nextB[(i + 10) % 31] = i < 21 ? a[i] : b[i];
            }
            for (int i = 0; i < 21; ++i) {
                a[i] = nextA[i];
            }
            for (int i = 0; i < 31; ++i) {
                b[i] = nextB[i];
            }
        }
        for (int i = 0; i < 31; ++i) {
            plan.value[draw][i] = b[i];
        }
    }
    return plan;
}

inline constexpr SlicePlan kSlicePlan = MakeSlicePlan();

template <int kDraw, std::size_t... kPair>
[[gnu::always_inline]] inline void StepsOfDraw(Word* slots, std::index_sequence<kPair...>) {
    ((slots[kSlicePlan.target[kDraw * 126 + kPair]] ^=
      slots[kSlicePlan.source[kDraw * 126 + kPair]]),
     ...);
}

// One row: every lane draws once, then the lanes whose value is below the threshold are
// marked. The threshold's bits from the top down to its lowest set bit decide; below that a
// lane that is still equal is not below.
template <int kDraw>
[[gnu::always_inline]] inline void Row(Word* slots, std::uint32_t threshold, int lowestBit,
                                       Word* mask) {
    StepsOfDraw<kDraw>(slots, std::make_index_sequence<126>{});
    Word below{};
    Word equal = ~Word{};
    for (int bit = 30; bit >= lowestBit; --bit) {
        const Word value = slots[kSlicePlan.value[kDraw][bit]];
        if (((threshold >> bit) & 1U) != 0) {
            below |= equal & ~value;
            equal &= value;
        } else {
            equal &= ~value;
        }
    }
    *mask = below;
}

template <std::size_t... kDraw>
[[gnu::always_inline]] inline void Period(Word* slots, std::uint32_t threshold, int lowestBit,
                                          Word* masks, std::index_sequence<kDraw...>) {
    (Row<static_cast<int>(kDraw)>(slots, threshold, lowestBit, masks + kDraw), ...);
}

// Runs periods x 26 rows; masks receives one word per row. threshold is in 1..2^31-1.
inline void RunRows(Word* slots, int periods, std::uint32_t threshold, Word* masks) {
    const int lowestBit = __builtin_ctz(threshold);
    for (int p = 0; p < periods; ++p) {
        Period(slots, threshold, lowestBit, masks + 26 * p, std::make_index_sequence<26>{});
    }
}

// Applies a linear map to every lane: out[i] is the XOR of in[k] over the pairs (i, k).
inline void ApplyMap(Word* slots, const std::uint8_t* pairs, int pairCount) {
    Word input[52];
    for (int i = 0; i < 52; ++i) {
        input[i] = slots[i];
        slots[i] = Word{};
    }
    for (int p = 0; p < pairCount; ++p) {
        slots[pairs[2 * p]] ^= input[pairs[2 * p + 1]];
    }
}

}  // namespace rs::RS_KERNEL_NAMESPACE
