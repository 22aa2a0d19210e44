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

}  // namespace rs::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
