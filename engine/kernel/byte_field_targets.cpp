// The decoding stages of fields of at most 256 elements, written once and compiled by Highway
// for every target: the syndromes of a block's hits and the Chien search, a vector of bytes at
// a time. A product by a constant is two byte shuffles (ByteField), so neither stage needs a
// log, an exponent sum or a gather.
#include "engine/kernel/targets.h"  // before Highway

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/kernel/byte_field_targets.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "base/contract.h"
#include "field/byte_field.h"

HWY_BEFORE_NAMESPACE();
namespace rs::HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

namespace {

using ByteTag = hn::ScalableTag<std::uint8_t>;

// A field of at most 256 elements has polynomials of degree at most 256 here, and n <= 255.
constexpr std::int32_t kMaxDegree = 256;

// The products by c of a vector of elements.
HWY_INLINE hn::Vec<ByteTag> Times(const std::uint8_t* products, std::int32_t c,
                                  hn::Vec<ByteTag> x) {
    const ByteTag tag;
    const std::uint8_t* table = products + std::size_t{32} * static_cast<std::size_t>(c);
#if HWY_TARGET == HWY_SCALAR
    // One lane cannot hold a table of 16 to shuffle from.
    const std::uint8_t element = hn::GetLane(x);
    return hn::Set(tag,
                   static_cast<std::uint8_t>(table[element & 15U] ^ table[16 + (element >> 4U)]));
#else
    const auto low = hn::TableLookupBytes(hn::LoadDup128(tag, table),
                                          hn::And(x, hn::Set(tag, std::uint8_t{0x0F})));
    const auto high = hn::TableLookupBytes(hn::LoadDup128(tag, table + 16), hn::ShiftRight<4>(x));
    return hn::Xor(low, high);
#endif
}

}  // namespace

std::int32_t ByteChienRoots(const ByteFieldView& field, const std::int32_t* locator,
                            std::int32_t degree, std::int32_t* roots) {
    RS_ASSERT(degree >= 0 && degree < field.n, "the locator has a row of powers per term");
    const ByteTag tag;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(tag));
    const auto zero = hn::Zero(tag);
    std::uint8_t bits[(hn::MaxLanes(tag) + 7) / 8];
    std::int32_t count = 0;
    // Lambda(alpha^j) for j = base + 1 .. base + lanes: row i holds alpha^(i j).
    for (std::int32_t base = 0; base < field.n; base += lanes) {
        auto sum = zero;
        for (std::int32_t i = 0; i <= degree; ++i) {
            if (locator[i] != 0) {
                const std::uint8_t* row =
                    field.powers + static_cast<std::size_t>(i) * field.stride + base;
                sum = hn::Xor(sum, Times(field.products, locator[i], hn::LoadU(tag, row)));
            }
        }
        // FirstN compares in the lane type on some targets: a count past 127 would wrap.
        const auto inCode =
            hn::FirstN(tag, static_cast<std::size_t>(std::min(field.n - base, lanes)));
        const auto found = hn::And(hn::Eq(sum, zero), inCode);
        if (hn::AllFalse(tag, found)) {
            continue;  // nearly every vector of positions holds no root
        }
        hn::StoreMaskBits(tag, found, bits);
        // The set bits a byte at a time, each by its lowest: a locator has few roots.
        for (std::int32_t byte = 0; byte * 8 < lanes; ++byte) {
            for (std::uint32_t set = bits[byte]; set != 0; set &= set - 1) {
                roots[count++] = base + 8 * byte + std::countr_zero(set) + 1;
            }
        }
    }
    return count;
}

bool ByteSyndromes(const ByteFieldView& field, const std::int32_t* positions,
                   const std::int32_t* values, std::int32_t count, std::int32_t twoT,
                   std::int32_t* syndromes) {
    RS_ASSERT(count >= 0 && twoT >= 0 && twoT < field.n, "a code of the field has 2t below n");
    const ByteTag tag;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(tag));
    // Rows are at most 256 bytes, and 2t < n.
    HWY_ALIGN std::uint8_t sums[256];
    // S_i = sum of e_p alpha^((i + 1) p), i = base .. base + lanes - 1: row p at j = i + 1.
    for (std::int32_t base = 0; base < twoT; base += lanes) {
        auto sum = hn::Zero(tag);
        for (std::int32_t e = 0; e < count; ++e) {
            if (values[e] != 0) {
                const std::uint8_t* row =
                    field.powers + static_cast<std::size_t>(positions[e] % field.n) * field.stride +
                    base;
                sum = hn::Xor(sum, Times(field.products, values[e], hn::LoadU(tag, row)));
            }
        }
        hn::Store(sum, tag, sums + base);
    }
    bool allZero = true;
    for (std::int32_t i = 0; i < twoT; ++i) {
        syndromes[i] = sums[i];
        allZero = allZero && sums[i] == 0;
    }
    return allZero;
}

void BytePolyProduct(const ByteFieldView& field, const std::int32_t* a, std::int32_t degreeA,
                     const std::int32_t* b, std::int32_t degreeB, std::int32_t count,
                     std::int32_t* product) {
    RS_ASSERT(degreeA >= 0 && degreeA <= kMaxDegree && degreeB >= 0 && degreeB <= kMaxDegree &&
                  count >= 0 && count <= kMaxDegree,
              "a product of byte polynomials has degrees and a count up to 256");
    const ByteTag tag;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(tag));
    // b's coefficients after kMaxDegree zeros, so that b_(c - i) for c - i down to -degreeA is
    // at kMaxDegree + c - i; zeros after them to the last vector's end.
    HWY_ALIGN std::uint8_t padded[2 * kMaxDegree + hn::MaxLanes(tag)];
    HWY_ALIGN std::uint8_t sums[kMaxDegree + hn::MaxLanes(tag)];
    std::fill(padded + (kMaxDegree - degreeA), padded + (kMaxDegree + count + lanes),
              std::uint8_t{0});
    for (std::int32_t c = 0; c <= std::min(degreeB, count - 1); ++c) {
        padded[kMaxDegree + c] = static_cast<std::uint8_t>(b[c]);
    }
    // Coefficients base .. base + lanes - 1: the sum of a_i times b shifted up by i.
    for (std::int32_t base = 0; base < count; base += lanes) {
        auto sum = hn::Zero(tag);
        for (std::int32_t i = 0; i <= std::min(degreeA, base + lanes - 1); ++i) {
            if (a[i] != 0) {
                sum = hn::Xor(sum, Times(field.products, a[i],
                                         hn::LoadU(tag, padded + (kMaxDegree + base - i))));
            }
        }
        hn::Store(sum, tag, sums + base);
    }
    for (std::int32_t c = 0; c < count; ++c) {
        product[c] = sums[c];
    }
}

void ByteEvaluate(const ByteFieldView& field, const std::int32_t* poly, std::int32_t degree,
                  const std::int32_t* js, std::int32_t count, std::int32_t* values) {
    RS_ASSERT(degree >= 0 && degree < field.n, "the polynomial has a row of powers per term");
    const ByteTag tag;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(tag));
    // The polynomial at alpha^j for the j of each vector that holds a point asked for, as the
    // Chien search sums it: row i holds alpha^(i j).
    HWY_ALIGN std::uint8_t sums[kMaxDegree + hn::MaxLanes(tag)];
    bool summed[kMaxDegree] = {};
    for (std::int32_t r = 0; r < count; ++r) {
        RS_ASSERT(js[r] >= 1 && js[r] <= field.n, "a point alpha^j has j in 1..n");
        const std::int32_t vector = (js[r] - 1) / lanes;
        if (!summed[vector]) {
            summed[vector] = true;
            const std::int32_t base = vector * lanes;
            auto sum = hn::Zero(tag);
            for (std::int32_t i = 0; i <= degree; ++i) {
                if (poly[i] != 0) {
                    const std::uint8_t* row =
                        field.powers + static_cast<std::size_t>(i) * field.stride + base;
                    sum = hn::Xor(sum, Times(field.products, poly[i], hn::LoadU(tag, row)));
                }
            }
            hn::Store(sum, tag, sums + base);
        }
        values[r] = sums[js[r] - 1];
    }
}

std::int32_t ByteBerlekampMassey(const ByteFieldView& field, const std::int32_t* syndromes,
                                 std::int32_t count, std::int32_t* locator) {
    RS_ASSERT(count >= 0 && count < kMaxDegree, "Berlekamp-Massey on at most 255 syndromes");
    if (count <= 0) {
        locator[0] = 1;  // no syndrome, no step
        return 0;
    }
    const ByteTag tag;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(tag));
    // RunBerlekampMassey's steps on whole vectors: the locator Lambda and the correction B,
    // coefficients 0..count, and beside them delta = Lambda S and theta = B S below x^count,
    // which take the same steps, so that each discrepancy is a coefficient of delta instead of
    // a sum of products of two unknowns. Multiplying B and theta by x moves their start down a
    // byte; a length change writes them anew in the other buffer of a pair, at the top.
    const std::int32_t locatorVectors = (count + lanes) / lanes;
    const std::int32_t productVectors = (count + lanes - 1) / lanes;
    constexpr std::int32_t kTop = kMaxDegree;  // room for count moves down
    HWY_ALIGN std::uint8_t lambda[kMaxDegree + hn::MaxLanes(tag)];
    HWY_ALIGN std::uint8_t delta[kMaxDegree + hn::MaxLanes(tag)];
    HWY_ALIGN std::uint8_t corrections[2][kTop + kMaxDegree + hn::MaxLanes(tag)];
    HWY_ALIGN std::uint8_t thetas[2][kTop + kMaxDegree + hn::MaxLanes(tag)];
    std::fill(lambda, lambda + locatorVectors * lanes, std::uint8_t{0});
    std::fill(delta, delta + productVectors * lanes, std::uint8_t{0});
    std::fill(corrections[0] + kTop, corrections[0] + kTop + locatorVectors * lanes,
              std::uint8_t{0});
    std::fill(thetas[0] + kTop, thetas[0] + kTop + productVectors * lanes, std::uint8_t{0});
    lambda[0] = 1;
    corrections[0][kTop + 1] = 1;  // B(x) = x
    for (std::int32_t i = 0; i < count; ++i) {
        delta[i] = static_cast<std::uint8_t>(syndromes[i]);  // Lambda = 1
        if (i + 1 < productVectors * lanes) {
            thetas[0][kTop + i + 1] = static_cast<std::uint8_t>(syndromes[i]);  // x S
        }
    }
    int pair = 0;
    std::uint8_t* correction = corrections[0] + kTop;  // B_g at correction[g]
    std::uint8_t* theta = thetas[0] + kTop;
    std::int32_t locatorLength = 0;
    std::int32_t correctionDegree = 1;
    std::int32_t lengthMarker = -1;
    for (std::int32_t iteration = 0; iteration < count; ++iteration) {
        const std::uint8_t discrepancy = delta[iteration];
        if (discrepancy != 0) {
            const bool lengthChange = locatorLength < iteration - lengthMarker;
            const std::int32_t top = std::max(locatorLength, correctionDegree);
            const std::int32_t newLength = lengthChange ? iteration - lengthMarker : top;
            // On a length change B restarts from the old locator over the discrepancy, and
            // theta from the old delta, in the other buffers.
            std::uint8_t* nextCorrection = corrections[1 - pair] + kTop;
            std::uint8_t* nextTheta = thetas[1 - pair] + kTop;
            const std::uint8_t inverse = field.inverses[discrepancy];
            for (std::int32_t v = 0; v < locatorVectors; ++v) {
                const auto old = hn::Load(tag, lambda + v * lanes);
                if (lengthChange) {
                    hn::StoreU(Times(field.products, inverse, old), tag,
                               nextCorrection + v * lanes);
                }
                hn::Store(hn::Xor(old, Times(field.products, discrepancy,
                                             hn::LoadU(tag, correction + v * lanes))),
                          tag, lambda + v * lanes);
            }
            for (std::int32_t v = 0; v < productVectors; ++v) {
                const auto old = hn::Load(tag, delta + v * lanes);
                if (lengthChange) {
                    hn::StoreU(Times(field.products, inverse, old), tag, nextTheta + v * lanes);
                }
                hn::Store(hn::Xor(old, Times(field.products, discrepancy,
                                             hn::LoadU(tag, theta + v * lanes))),
                          tag, delta + v * lanes);
            }
            if (lengthChange) {
                pair = 1 - pair;
                correction = nextCorrection;
                theta = nextTheta;
                lengthMarker = iteration - locatorLength;
                correctionDegree = locatorLength;
            }
            locatorLength = newLength;
        }
        // B(x) <- x B(x) and theta with it.
        *--correction = 0;
        *--theta = 0;
        ++correctionDegree;
    }
    for (std::int32_t i = 0; i <= count; ++i) {
        locator[i] = lambda[i];
    }
    return locatorLength;
}

}  // namespace rs::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
