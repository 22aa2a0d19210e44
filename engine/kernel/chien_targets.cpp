// The Chien search's sums, written once and compiled by Highway for every target, beside the
// draw kernel: a block with more hits than t looks for its locator's roots among all n
// positions, a vector of positions at a time. Each term's exponent moves on by its step at
// every position, so a vector of positions is a vector of exponents per term, and one gather of
// the power table each.
#include "engine/kernel/targets.h"  // before Highway

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/kernel/chien_targets.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <cstddef>
#include <cstdint>

#include "base/contract.h"
#include "engine/kernel/draw_kernels.h"

HWY_BEFORE_NAMESPACE();
namespace rs::HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Locators of more terms than this (t above 31) are searched a position at a time: their
// exponent vectors would not fit the stack frame, and such codes are rare.
constexpr std::int32_t kMostVectorTerms = 64;

std::int32_t ScalarRoots(const std::int32_t* exponents, const std::int32_t* steps,
                         std::int32_t terms, std::int32_t n, const std::int32_t* powers,
                         std::int32_t* roots) {
    std::int32_t count = 0;
    for (std::int32_t j = 1; j <= n; ++j) {
        std::int32_t sum = 0;
        for (std::int32_t e = 0; e < terms; ++e) {
            const std::int64_t exponent =
                (exponents[e] + static_cast<std::int64_t>(j - 1) * steps[e]) % n;
            sum ^= powers[exponent];
        }
        if (sum == 0) {
            roots[count++] = j;
        }
    }
    return count;
}

std::int32_t ChienRoots(const std::int32_t* exponents, const std::int32_t* steps,
                        std::int32_t terms, std::int32_t n, const std::int32_t* powers,
                        std::int32_t* roots) {
    RS_ASSERT(ChienTermsBelowOrder(exponents, steps, terms, n),
              "the Chien search's exponents and steps are below n");
    if (terms > kMostVectorTerms) {
        return ScalarRoots(exponents, steps, terms, n, powers, roots);
    }
    using Tag = hn::ScalableTag<std::int32_t>;
    const Tag tag;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(tag));
    HWY_ALIGN std::int32_t first[hn::MaxLanes(tag)];
    hn::Vec<Tag> exponent[kMostVectorTerms];
    hn::Vec<Tag> advance[kMostVectorTerms];
    for (std::int32_t e = 0; e < terms; ++e) {
        for (std::int32_t k = 0; k < lanes; ++k) {
            first[k] = static_cast<std::int32_t>(
                (exponents[e] + static_cast<std::int64_t>(k) * steps[e]) % n);
        }
        exponent[e] = hn::Load(tag, first);
        advance[e] = hn::Set(
            tag, static_cast<std::int32_t>(static_cast<std::int64_t>(lanes) * steps[e] % n));
    }
    const auto order = hn::Set(tag, n);
    const auto zero = hn::Zero(tag);
    std::uint8_t bits[(hn::MaxLanes(tag) + 7) / 8];
    std::int32_t count = 0;
    for (std::int32_t base = 1; base <= n; base += lanes) {
        auto sum = zero;
        for (std::int32_t e = 0; e < terms; ++e) {
            sum = hn::Xor(sum, hn::GatherIndex(tag, powers, exponent[e]));
            const auto next = hn::Add(exponent[e], advance[e]);
            exponent[e] = hn::IfThenElse(hn::Lt(next, order), next, hn::Sub(next, order));
        }
        if (hn::AllFalse(tag, hn::Eq(sum, zero))) {
            continue;  // nearly every vector of positions holds no root
        }
        hn::StoreMaskBits(tag, hn::Eq(sum, zero), bits);
        for (std::int32_t k = 0; k < lanes && base + k <= n; ++k) {
            if (((bits[k / 8] >> (k % 8)) & 1U) != 0) {
                roots[count++] = base + k;
            }
        }
    }
    return count;
}

}  // namespace rs::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
