#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "field/byte_field.h"

namespace rs {

// The engine's SIMD kernels for one instruction-set target: the bit-sliced draw kernel, over slots
// of kStateBits vectors of `words` 64-bit words each, so a pass draws 64 x words lanes at once.
// Slots and masks are aligned to 64 bytes.
struct DrawKernel {
    std::int64_t target;  // Highway's target bit; 0 for the plain twin
    const char* name;     // "AVX2", "NEON", ...; "plain" for the twin
    int words;
    // Runs an even number of rows; row r writes `words` mask words at masks + r x words, bit j
    // set when lane j's draw is below threshold (1..2^31-1).
    void (*runRows)(std::uint64_t* slots, int rows, std::uint32_t threshold, std::uint64_t* masks);
    // From the row masks of `rows` rows (a multiple of 64) to each lane's bits: rows / 64
    // words a lane, bit i of word b being row 64 b + i.
    void (*lanesFromRows)(const std::uint64_t* masks, int rows, int words, std::uint64_t* laneBits);
    // Replaces the lanes' states by a linear map of them, given as (output bit, input bit)
    // pairs.
    void (*applyMap)(std::uint64_t* slots, const std::uint8_t* pairs, int pairCount);
    // The Chien search's sums, for the decoding of blocks with more hits than t: writes to
    // roots, in increasing order, every j in 1..n at which the sum over the terms of
    // powers[(exponents[e] + (j - 1) steps[e]) mod n] is zero, and returns how many. Exponents
    // and steps are below n; powers holds n entries.
    std::int32_t (*chienRoots)(const std::int32_t* exponents, const std::int32_t* steps,
                               std::int32_t terms, std::int32_t n, const std::int32_t* powers,
                               std::int32_t* roots);
    // The same search in a field of at most 256 elements, from the locator's coefficients
    // 0..degree (degree < n): every j in 1..n, increasing, at which the locator is zero at
    // alpha^j.
    std::int32_t (*byteChienRoots)(const ByteFieldView& field, const std::int32_t* locator,
                                   std::int32_t degree, std::int32_t* roots);
    // The syndromes S_i = sum of values[e] alpha^((i + 1) positions[e]), i = 0..twoT - 1
    // (twoT < n), of a block's hits in a field of at most 256 elements; true when all are zero.
    bool (*byteSyndromes)(const ByteFieldView& field, const std::int32_t* positions,
                          const std::int32_t* values, std::int32_t count, std::int32_t twoT,
                          std::int32_t* syndromes);
    // The terms below x^count of a(x) b(x), from coefficients 0..degreeA and 0..degreeB (each
    // degree and count at most 256, degrees of 0 or more), in a field of at most 256 elements:
    // the errors-and-erasures decoder's products of polynomials.
    void (*bytePolyProduct)(const ByteFieldView& field, const std::int32_t* a, std::int32_t degreeA,
                            const std::int32_t* b, std::int32_t degreeB, std::int32_t count,
                            std::int32_t* product);
    // values[r] = poly(alpha^js[r]) for r = 0..count - 1, each js[r] in 1..n, from the
    // coefficients 0..degree (degree < n), in a field of at most 256 elements: Forney's
    // evaluator and derivative at the roots the search found.
    void (*byteEvaluate)(const ByteFieldView& field, const std::int32_t* poly, std::int32_t degree,
                         const std::int32_t* js, std::int32_t count, std::int32_t* values);
    // Berlekamp-Massey on S_0..S_count-1 (count below 256) in a field of at most 256 elements,
    // with the steps of RunBerlekampMassey (codec/berlekamp_massey.h): the same locator,
    // written to locator[0..count], and the same length, returned.
    std::int32_t (*byteBerlekampMassey)(const ByteFieldView& field, const std::int32_t* syndromes,
                                        std::int32_t count, std::int32_t* locator);
};

// Whether terms of the Chien search are as chienRoots takes them: exponents and steps below n.
inline bool ChienTermsBelowOrder(const std::int32_t* exponents, const std::int32_t* steps,
                                 std::int32_t terms, std::int32_t n) {
    for (std::int32_t e = 0; e < terms; ++e) {
        if (exponents[e] < 0 || exponents[e] >= n || steps[e] < 0 || steps[e] >= n) {
            return false;
        }
    }
    return terms >= 0;
}

// Every target's kernel this build holds that the machine runs, best first.
std::span<const DrawKernel> RunnableKernels();

// The kernel of the best target the machine runs, at most the level RS_SIM_SIMD names.
const DrawKernel& BestKernel();

// The first of kernels (best first) at most at the level cap names ("avx2", ...), or the last
// when none is that low; the first when cap is null or names no level.
const DrawKernel& CappedKernel(std::span<const DrawKernel> kernels, const char* cap);

// Why a value of RS_SIM_SIMD is refused: it names no level of this processor. Empty when it is
// null (unset) or names one.
std::string SimdCapProblem(const char* cap);

// The levels RS_SIM_SIMD may name on this processor, lowest first.
std::vector<std::string> SimdLevelNames();

// The kernel in plain 64-bit words, written apart from the targets' source, which tests hold
// every target's kernel to.
const DrawKernel& PlainKernel();

// Compiled for every target; the machine's runnable ones, best first (RunnableKernels keeps
// them).
std::vector<DrawKernel> CompiledKernels();

}  // namespace rs
