// The draw kernel in plain 64-bit words, one state bit of 64 lanes a word: the twin that every
// target's kernel (draw_kernel_targets.cpp) is tested against. It is written apart from that
// source on purpose, with plain operators, so that a fault there does not hide here.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/contract.h"
#include "codec/berlekamp_massey.h"
#include "engine/kernel/draw_kernels.h"
#include "random/packed_state.h"

namespace rs {

namespace {

using Word = std::uint64_t;

struct Ring {
    Word w[4][21];
};

template <int kStep, int kBit>
void NewBit(Ring& r) {
    constexpr int cur = kStep % 4;
    constexpr int p1 = (kStep + 3) % 4;
    constexpr int p2 = (kStep + 2) % 4;
    constexpr int p3 = (kStep + 1) % 4;
    if constexpr (kBit >= 10) {
        r.w[cur][kBit] = r.w[p1][kBit - 10] ^ r.w[p2][kBit - 10];
    } else {
        r.w[cur][kBit] = r.w[p2][kBit + 11] ^ r.w[p3][kBit + 11];
    }
}

template <int kStep, std::size_t... kBit>
void StepAll(Ring& r, std::index_sequence<kBit...>) {
    (NewBit<kStep, static_cast<int>(kBit)>(r), ...);
}

// Bit j of the current word after step kStep.
template <int kStep>
Word ValueBit(const Ring& r, int j) {
    return j >= 10 ? r.w[kStep % 4][j - 10] : r.w[(kStep + 3) % 4][j + 11];
}

// The lanes whose value is below the threshold. Above its highest set bit a lane must be all
// zeros; below that the bits are compared from the top down, a lane staying undecided while
// it equals the threshold. After eight such bits hardly any lane is undecided, so the rest is
// skipped when none is.
struct Comparison {
    std::uint32_t threshold;
    int lowest;  // the threshold's lowest set bit
    int top;     // its highest set bit
};

template <int kStep>
Word Below(const Ring& r, const Comparison& c) {
    Word any{};
    for (int bit = 30; bit > c.top; --bit) {
        any |= ValueBit<kStep>(r, bit);
    }
    Word equal = ~any;
    Word below{};
    const auto compare = [&](int bit) {
        const Word value = ValueBit<kStep>(r, bit);
        if (((c.threshold >> bit) & 1U) != 0) {
            below |= equal & ~value;
            equal &= value;
        } else {
            equal &= ~value;
        }
    };
    const int settled = c.top - 8 > c.lowest ? c.top - 8 : c.lowest;
    int bit = c.top;
    for (; bit >= settled; --bit) {
        compare(bit);
    }
    if (equal != 0) {
        for (; bit >= c.lowest; --bit) {
            compare(bit);
        }
    }
    return below;
}

template <std::size_t... kStep>
void Steps(Ring& r, std::index_sequence<kStep...>) {
    (StepAll<static_cast<int>(kStep)>(r, std::make_index_sequence<21>{}), ...);
}

// Runs an even number of rows; masks receives one word per row. threshold is in 1..2^31-1. The
// state moves between the slots (a_0..a_20, then b_0..b_30) and a local ring, which nothing
// else can alias.
void RunRows(Word* slots, int rows, std::uint32_t threshold, Word* masks) {
    RS_ASSERT(rows >= 0 && rows % 2 == 0 && threshold >= 1 && threshold <= kValueMask,
              "the draw kernel runs rows in pairs, for a threshold that draws");
    Comparison c{};
    c.threshold = threshold;
    c.lowest = std::countr_zero(threshold);
    c.top = 31 - std::countl_zero(threshold);
    // The state after a step whose ring index is 3: W[3] = W_n, W[2] = W_(n-1), and
    // W[1][11..20] = W_(n-2)[11..20].
    Ring r;
    const Word* a = slots;
    const Word* b = slots + 21;
    for (int j = 10; j <= 30; ++j) {
        r.w[3][j - 10] = b[j];
    }
    for (int j = 0; j < 10; ++j) {
        r.w[2][j + 11] = b[j];
        r.w[1][j + 11] = a[j];
    }
    for (int i = 10; i <= 20; ++i) {
        r.w[2][i - 10] = a[i];
    }
    const int pairs = rows / 2;
    for (int pair = 0; pair < pairs; ++pair) {
        Steps(r, std::index_sequence<0, 1, 2, 3, 4, 5>{});
        masks[2 * pair] = Below<5>(r, c);
        Steps(r, std::index_sequence<6, 7, 8, 9, 10, 11>{});
        masks[2 * pair + 1] = Below<11>(r, c);
    }
    Word* outA = slots;
    Word* outB = slots + 21;
    for (int j = 10; j <= 30; ++j) {
        outB[j] = r.w[3][j - 10];
    }
    for (int j = 0; j < 10; ++j) {
        outB[j] = r.w[2][j + 11];
        outA[j] = r.w[1][j + 11];
    }
    for (int i = 10; i <= 20; ++i) {
        outA[i] = r.w[2][i - 10];
    }
}

// From row masks (`words` words a row) to lane bits (rows / 64 words a lane, bit i of word b
// for row 64 b + i), bit by bit: slow, and unlike the targets' transposes, so that it checks
// them.
void LanesFromRows(const std::uint64_t* masks, int rows, int words, std::uint64_t* laneBits) {
    RS_ASSERT(rows >= 0 && rows % 64 == 0, "lane bits come in words of 64 rows");
    const int rowBlocks = rows / 64;
    std::fill(laneBits, laneBits + static_cast<std::ptrdiff_t>(64 * words * rowBlocks),
              std::uint64_t{0});
    for (int row = 0; row < rows; ++row) {
        for (int lane = 0; lane < 64 * words; ++lane) {
            const std::uint64_t bit = (masks[row * words + lane / 64] >> (lane % 64)) & 1U;
            laneBits[lane * rowBlocks + row / 64] |= bit << (row % 64);
        }
    }
}

// Applies a linear map to every lane: out[i] is the XOR of in[k] over the pairs (i, k).
void ApplyMap(Word* slots, const std::uint8_t* pairs, int pairCount) {
    Word input[kStateBits];
    for (int i = 0; i < kStateBits; ++i) {
        input[i] = slots[i];
        slots[i] = Word{};
    }
    for (int p = 0; p < pairCount; ++p) {
        slots[pairs[2 * p]] ^= input[pairs[2 * p + 1]];
    }
}

// The Chien search's sums position by position, each term's exponent moving on by its step,
// as the codec's incremental search runs them.
std::int32_t ChienRoots(const std::int32_t* exponents, const std::int32_t* steps,
                        std::int32_t terms, std::int32_t n, const std::int32_t* powers,
                        std::int32_t* roots) {
    RS_ASSERT(ChienTermsBelowOrder(exponents, steps, terms, n),
              "the Chien search's exponents and steps are below n");
    std::vector<std::int32_t> exponent(exponents, exponents + terms);
    std::int32_t count = 0;
    for (std::int32_t j = 1; j <= n; ++j) {
        std::int32_t sum = 0;
        for (std::int32_t e = 0; e < terms; ++e) {
            sum ^= powers[exponent[static_cast<std::size_t>(e)]];
            exponent[static_cast<std::size_t>(e)] += steps[e];
            if (exponent[static_cast<std::size_t>(e)] >= n) {
                exponent[static_cast<std::size_t>(e)] -= n;
            }
        }
        if (sum == 0) {
            roots[count++] = j;
        }
    }
    return count;
}

// A product in a field of at most 256 elements, as the byte tables give it.
std::int32_t ByteProduct(const ByteFieldView& field, std::int32_t c, std::int32_t x) {
    const std::uint8_t* table = field.products + 32 * static_cast<std::size_t>(c);
    return table[x & 15] ^ table[16 + (x >> 4)];
}

// alpha^(r j), from the power rows.
std::int32_t BytePower(const ByteFieldView& field, std::int32_t r, std::int32_t j) {
    return field
        .powers[static_cast<std::size_t>(r) * field.stride + static_cast<std::size_t>(j - 1)];
}

// The locator at each alpha^j in turn, by Horner's rule.
std::int32_t ByteChienRoots(const ByteFieldView& field, const std::int32_t* locator,
                            std::int32_t degree, std::int32_t* roots) {
    RS_ASSERT(degree >= 0 && degree < field.n, "the locator has a row of powers per term");
    std::int32_t count = 0;
    for (std::int32_t j = 1; j <= field.n; ++j) {
        const std::int32_t x = BytePower(field, 1, j);
        std::int32_t value = 0;
        for (std::int32_t i = degree; i >= 0; --i) {
            value = ByteProduct(field, value, x) ^ locator[i];
        }
        if (value == 0) {
            roots[count++] = j;
        }
    }
    return count;
}

bool ByteSyndromes(const ByteFieldView& field, const std::int32_t* positions,
                   const std::int32_t* values, std::int32_t count, std::int32_t twoT,
                   std::int32_t* syndromes) {
    RS_ASSERT(count >= 0 && twoT >= 0 && twoT < field.n, "a code of the field has 2t below n");
    bool allZero = true;
    for (std::int32_t i = 0; i < twoT; ++i) {
        std::int32_t sum = 0;
        for (std::int32_t e = 0; e < count; ++e) {
            sum ^= ByteProduct(field, values[e], BytePower(field, positions[e] % field.n, i + 1));
        }
        syndromes[i] = sum;
        allZero = allZero && sum == 0;
    }
    return allZero;
}

// Each term of the product in turn.
void BytePolyProduct(const ByteFieldView& field, const std::int32_t* a, std::int32_t degreeA,
                     const std::int32_t* b, std::int32_t degreeB, std::int32_t count,
                     std::int32_t* product) {
    RS_ASSERT(degreeA >= 0 && degreeA <= 256 && degreeB >= 0 && degreeB <= 256 && count >= 0 &&
                  count <= 256,
              "a product of byte polynomials has degrees and a count up to 256");
    for (std::int32_t c = 0; c < count; ++c) {
        std::int32_t sum = 0;
        for (std::int32_t i = std::max(0, c - degreeB); i <= std::min(c, degreeA); ++i) {
            sum ^= ByteProduct(field, a[i], b[c - i]);
        }
        product[c] = sum;
    }
}

// The polynomial at each alpha^j in turn, by Horner's rule.
void ByteEvaluate(const ByteFieldView& field, const std::int32_t* poly, std::int32_t degree,
                  const std::int32_t* js, std::int32_t count, std::int32_t* values) {
    RS_ASSERT(degree >= 0 && degree < field.n, "the polynomial has a row of powers per term");
    for (std::int32_t r = 0; r < count; ++r) {
        RS_ASSERT(js[r] >= 1 && js[r] <= field.n, "a point alpha^j has j in 1..n");
        const std::int32_t x = BytePower(field, 1, js[r]);
        std::int32_t value = 0;
        for (std::int32_t i = degree; i >= 0; --i) {
            value = ByteProduct(field, value, x) ^ poly[i];
        }
        values[r] = value;
    }
}

// The codec's own Berlekamp-Massey, on the byte field's products and inverses.
std::int32_t ByteBerlekampMassey(const ByteFieldView& field, const std::int32_t* syndromes,
                                 std::int32_t count, std::int32_t* locator) {
    RS_ASSERT(count >= 0 && count < 256, "Berlekamp-Massey on at most 255 syndromes");
    struct Arithmetic {
        const ByteFieldView& field;
        std::int32_t Multiply(std::int32_t a, std::int32_t b) const {
            return ByteProduct(field, a, b);
        }
        std::int32_t Divide(std::int32_t a, std::int32_t b) const {
            return b == 0 ? 0 : ByteProduct(field, a, field.inverses[b]);
        }
    };
    std::int32_t correction[256 + 2];
    return RunBerlekampMassey(Arithmetic{field}, syndromes, count, locator, correction);
}

}  // namespace

const DrawKernel& PlainKernel() {
    static constexpr DrawKernel kPlain{0,
                                       "plain",
                                       1,
                                       &RunRows,
                                       &LanesFromRows,
                                       &ApplyMap,
                                       &ChienRoots,
                                       &ByteChienRoots,
                                       &ByteSyndromes,
                                       &BytePolyProduct,
                                       &ByteEvaluate,
                                       &ByteBerlekampMassey};
    return kPlain;
}

}  // namespace rs
