// The bit-sliced draw kernel, written once and compiled by Highway for every instruction-set
// target of the processor (SSSE3, SSE4, AVX2 and AVX-512 on x86, NEON on ARM, and a scalar
// fallback); the running machine's best target is chosen at run time.
//
// One vector per state bit holds that bit for every lane, so a step of all lanes is 21 XORs of
// vectors. A step makes b' = rotl31(b ^ a, 10) and a' = b & 0x1FFFFF: of the new current word,
// 21 bits are new, W_n[i] = (b ^ a)_i for i < 21, and the other 10 are bits made one step
// earlier. So every bit of the state is one of the last three steps' new words:
//   b_n[j] = W_n[j - 10] for j >= 10 and W_(n-1)[j + 11] for j < 10, and
//   W_n[i] = W_(n-1)[i - 10] ^ W_(n-2)[i - 10] for i >= 10,
//            W_(n-2)[i + 11] ^ W_(n-3)[i + 11] for i < 10.
// A ring of four steps' words therefore carries the state, and twelve steps (two draws) bring
// the ring's naming back to where it started: the code of two draws, unrolled, loops.

#include "engine/kernel/targets.h"  // before Highway

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/kernel/draw_kernel_targets.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <bit>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "base/contract.h"
#include "engine/kernel/draw_kernels.h"
#include "random/packed_state.h"

HWY_BEFORE_NAMESPACE();
namespace rs::HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using Tag = hn::ScalableTag<std::uint64_t>;
using Word = hn::Vec<Tag>;

// The ring holds the target's own vectors (Highway's `raw`) rather than Highway's wrappers of
// them: GCC keeps an array of plain vectors in registers where it can, but spills an array of
// class objects, which made the draws 10 to 20 % slower. A target whose own vector is an array
// (EMU128) keeps the wrappers.
using Raw = decltype(Word().raw);
using Slot = std::conditional_t<std::is_array_v<Raw>, Word, Raw>;

template <typename S>  // a template, so that the branch a target does not take is discarded
HWY_INLINE Word Open(const S& slot) {
    if constexpr (std::is_same_v<S, Word>) {
        return slot;
    } else {
        return Word{slot};
    }
}

template <typename S = Slot>
HWY_INLINE S Keep(Word word) {
    if constexpr (std::is_same_v<S, Word>) {
        return word;
    } else {
        return word.raw;
    }
}

// Four steps' new words. A plain array, not a struct: a struct's implicit constructor would be
// compiled without the target's instruction set, which NEON's vectors cannot be built in.
using Ring = Slot[4][21];

template <int kStep, int kBit>
HWY_INLINE void NewBit(Ring& r) {
    constexpr int cur = kStep % 4;
    constexpr int p1 = (kStep + 3) % 4;
    constexpr int p2 = (kStep + 2) % 4;
    constexpr int p3 = (kStep + 1) % 4;
    if constexpr (kBit >= 10) {
        r[cur][kBit] = Keep(hn::Xor(Open(r[p1][kBit - 10]), Open(r[p2][kBit - 10])));
    } else {
        r[cur][kBit] = Keep(hn::Xor(Open(r[p2][kBit + 11]), Open(r[p3][kBit + 11])));
    }
}

template <int kStep, std::size_t... kBit>
HWY_INLINE void StepAll(Ring& r, std::index_sequence<kBit...>) {
    (NewBit<kStep, static_cast<int>(kBit)>(r), ...);
}

template <std::size_t... kStep>
HWY_INLINE void Steps(Ring& r, std::index_sequence<kStep...>) {
    (StepAll<static_cast<int>(kStep)>(r, std::make_index_sequence<21>{}), ...);
}

// Bit j of the current word after step kStep.
template <int kStep>
HWY_INLINE Word ValueBit(const Ring& r, int j) {
    return Open(j >= 10 ? r[kStep % 4][j - 10] : r[(kStep + 3) % 4][j + 11]);
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
HWY_INLINE Word Below(const Ring& r, const Comparison& c) {
    const Tag tag;
    Word any = hn::Zero(tag);
    for (int bit = 30; bit > c.top; --bit) {
        any = hn::Or(any, ValueBit<kStep>(r, bit));
    }
    Word equal = hn::Not(any);
    Word below = hn::Zero(tag);
    const auto compare = [&](int bit) {
        const Word value = ValueBit<kStep>(r, bit);
        if (((c.threshold >> bit) & 1U) != 0) {
            below = hn::Or(below, hn::AndNot(value, equal));
            equal = hn::And(equal, value);
        } else {
            equal = hn::AndNot(value, equal);
        }
    };
    const int settled = c.top - 8 > c.lowest ? c.top - 8 : c.lowest;
    int bit = c.top;
    for (; bit >= settled; --bit) {
        compare(bit);
    }
    if (!hn::AllTrue(tag, hn::Eq(equal, hn::Zero(tag)))) {
        for (; bit >= c.lowest; --bit) {
            compare(bit);
        }
    }
    return below;
}

// Runs an even number of rows; masks receives one vector per row. threshold is in 1..2^31-1.
// The state moves between the slots (a_0..a_20, then b_0..b_30) and a local ring, which
// nothing else can alias.
void RunRows(std::uint64_t* slots, int rows, std::uint32_t threshold, std::uint64_t* masks) {
    RS_ASSERT(rows >= 0 && rows % 2 == 0 && threshold >= 1 && threshold <= kValueMask,
              "the draw kernel runs rows in pairs, for a threshold that draws");
    const Tag tag;
    const auto at = [&](std::uint64_t* base, int i) { return base + i * hn::Lanes(tag); };
    Comparison c{};
    c.threshold = threshold;
    c.lowest = std::countr_zero(threshold);
    c.top = 31 - std::countl_zero(threshold);
    // The state after a step whose ring index is 3: W[3] = W_n, W[2] = W_(n-1), and
    // W[1][11..20] = W_(n-2)[11..20].
    Ring r;
    std::uint64_t* a = slots;
    std::uint64_t* b = at(slots, 21);
    for (int j = 10; j <= 30; ++j) {
        r[3][j - 10] = Keep(hn::Load(tag, at(b, j)));
    }
    for (int j = 0; j < 10; ++j) {
        r[2][j + 11] = Keep(hn::Load(tag, at(b, j)));
        r[1][j + 11] = Keep(hn::Load(tag, at(a, j)));
    }
    for (int i = 10; i <= 20; ++i) {
        r[2][i - 10] = Keep(hn::Load(tag, at(a, i)));
    }
    const int pairs = rows / 2;
    for (int pair = 0; pair < pairs; ++pair) {
        Steps(r, std::index_sequence<0, 1, 2, 3, 4, 5>{});
        hn::Store(Below<5>(r, c), tag, at(masks, 2 * pair));
        Steps(r, std::index_sequence<6, 7, 8, 9, 10, 11>{});
        hn::Store(Below<11>(r, c), tag, at(masks, 2 * pair + 1));
    }
    for (int j = 10; j <= 30; ++j) {
        hn::Store(Open(r[3][j - 10]), tag, at(b, j));
    }
    for (int j = 0; j < 10; ++j) {
        hn::Store(Open(r[2][j + 11]), tag, at(b, j));
        hn::Store(Open(r[1][j + 11]), tag, at(a, j));
    }
    for (int i = 10; i <= 20; ++i) {
        hn::Store(Open(r[2][i - 10]), tag, at(a, i));
    }
}

// Transposes a 64x64 bit matrix held as 64 words: bit j of word i goes to bit i of word j.
// The swaps of a stage are independent, so the compiler may use the target's vectors.
HWY_INLINE void Transpose64(std::uint64_t* a) {
    std::uint64_t mask = 0x00000000FFFFFFFFULL;
    for (int width = 32; width != 0; width >>= 1, mask ^= mask << width) {
        for (int base = 0; base < 64; base += 2 * width) {
            for (int i = 0; i < width; ++i) {
                const std::uint64_t swap = ((a[base + i] >> width) ^ a[base + i + width]) & mask;
                a[base + i] ^= swap << width;
                a[base + i + width] ^= swap;
            }
        }
    }
}

// From row masks (`words` words a row) to lane bits (rows / 64 words a lane, bit i of word b
// for row 64 b + i), by 64x64 transposes; all-zero blocks need none.
void LanesFromRows(const std::uint64_t* masks, int rows, int words, std::uint64_t* laneBits) {
    RS_ASSERT(rows >= 0 && rows % 64 == 0, "lane bits come in words of 64 rows");
    const int rowBlocks = rows / 64;
    alignas(64) std::uint64_t block[64];
    for (int group = 0; group < words; ++group) {
        for (int rowBlock = 0; rowBlock < rowBlocks; ++rowBlock) {
            std::uint64_t any = 0;
            for (int i = 0; i < 64; ++i) {
                block[i] = masks[(rowBlock * 64 + i) * words + group];
                any |= block[i];
            }
            if (any != 0) {
                Transpose64(block);
            }
            for (int j = 0; j < 64; ++j) {
                laneBits[(group * 64 + j) * rowBlocks + rowBlock] = block[j];
            }
        }
    }
}

// Replaces the lanes' states by a linear map of them: out[i] is the XOR of in[k] over the
// pairs (i, k).
void ApplyMap(std::uint64_t* slots, const std::uint8_t* pairs, int pairCount) {
    const Tag tag;
    const std::size_t lanes = hn::Lanes(tag);
    Word input[kStateBits];
    Word output[kStateBits];
    for (int i = 0; i < kStateBits; ++i) {
        input[i] = hn::Load(tag, slots + i * lanes);
        output[i] = hn::Zero(tag);
    }
    for (int p = 0; p < pairCount; ++p) {
        output[pairs[2 * p]] = hn::Xor(output[pairs[2 * p]], input[pairs[2 * p + 1]]);
    }
    for (int i = 0; i < kStateBits; ++i) {
        hn::Store(output[i], tag, slots + i * lanes);
    }
}

// In chien_targets.cpp, compiled for the same targets.
std::int32_t ChienRoots(const std::int32_t* exponents, const std::int32_t* steps,
                        std::int32_t terms, std::int32_t n, const std::int32_t* powers,
                        std::int32_t* roots);

// In byte_field_targets.cpp, compiled for the same targets.
std::int32_t ByteChienRoots(const ByteFieldView& field, const std::int32_t* locator,
                            std::int32_t degree, std::int32_t* roots);
bool ByteSyndromes(const ByteFieldView& field, const std::int32_t* positions,
                   const std::int32_t* values, std::int32_t count, std::int32_t twoT,
                   std::int32_t* syndromes);
void BytePolyProduct(const ByteFieldView& field, const std::int32_t* a, std::int32_t degreeA,
                     const std::int32_t* b, std::int32_t degreeB, std::int32_t count,
                     std::int32_t* product);
void ByteEvaluate(const ByteFieldView& field, const std::int32_t* poly, std::int32_t degree,
                  const std::int32_t* js, std::int32_t count, std::int32_t* values);
std::int32_t ByteBerlekampMassey(const ByteFieldView& field, const std::int32_t* syndromes,
                                 std::int32_t count, std::int32_t* locator);

// This target's kernels; called only where the machine runs the target.
DrawKernel TargetKernel() {
    return {HWY_TARGET,
            hwy::TargetName(HWY_TARGET),
            static_cast<int>(hn::Lanes(Tag())),
            &RunRows,
            &LanesFromRows,
            &ApplyMap,
            &ChienRoots,
            &ByteChienRoots,
            &ByteSyndromes,
            &BytePolyProduct,
            &ByteEvaluate,
            &ByteBerlekampMassey};
}

}  // namespace rs::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rs {

HWY_EXPORT(TargetKernel);

std::vector<DrawKernel> CompiledKernels() {
    // Highway's dispatch picks the best target it is allowed; allowing one target at a time
    // reaches each, as its own tests do.
    std::vector<DrawKernel> kernels;
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        kernels.push_back(HWY_DYNAMIC_DISPATCH(TargetKernel)());
    }
    hwy::SetSupportedTargetsForTest(0);
    return kernels;
}

}  // namespace rs
#endif
