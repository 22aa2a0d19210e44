#pragma once

#include <cstdint>
#include <span>

#include "base/contract.h"

namespace rs {

// Erasures for both decoders, by Forney's modified syndromes: with the erasure locator
// Gamma(x) = product of (1 + X_j x), X_j = alpha^(p_j), the 2t - s coefficients s..2t-1 of
// Gamma(x) S(x) depend on the errors alone, so plain Berlekamp-Massey on them finds the error
// locator, and the errata locator is its product with Gamma. This rather than Berlekamp-Massey
// started from Gamma: the shared Berlekamp-Massey stays as it is, on the same inputs and
// arithmetic when there are no erasures, and the error locator's degree, which the failure
// rule needs, comes out on its own.

// Whether erasures are distinct positions below sentLength, increasing, at most 2t of them.
inline bool ErasureList(std::span<const std::int32_t> erasures, std::int64_t sentLength,
                        std::int32_t t) {
    std::int64_t previous = -1;
    for (const std::int32_t p : erasures) {
        if (p <= previous || p >= sentLength) {
            return false;
        }
        previous = p;
    }
    return static_cast<std::int64_t>(erasures.size()) <= 2 * std::int64_t{t};
}

// gamma[0..s] = Gamma(x), one factor (1 + X x) at a time, X = alphaPower(p) for each erasure.
template <typename Field, typename Element, typename AlphaPower>
void ErasureLocator(const Field& field, std::span<const std::int32_t> erasures,
                    AlphaPower&& alphaPower, Element* gamma) {
    gamma[0] = 1;
    std::int32_t degree = 0;
    for (const std::int32_t p : erasures) {
        const auto x = static_cast<std::uint32_t>(alphaPower(p));
        gamma[degree + 1] = 0;
        for (std::int32_t i = degree + 1; i >= 1; --i) {
            gamma[i] ^=
                static_cast<Element>(field.Multiply(x, static_cast<std::uint32_t>(gamma[i - 1])));
        }
        ++degree;
    }
}

// modified[0..2t-s-1] = coefficients s..2t-1 of Gamma(x) S(x), for Gamma of degree s.
template <typename Field, typename Element>
void ModifiedSyndromes(const Field& field, const Element* syndromes, const Element* gamma,
                       std::int32_t s, std::int32_t t, Element* modified) {
    RS_ASSERT(s >= 0 && s <= 2 * t, "at most 2t erasures");
    for (std::int32_t j = s; j < 2 * t; ++j) {
        Element sum = 0;
        for (std::int32_t i = 0; i <= s; ++i) {
            sum ^=
                static_cast<Element>(field.Multiply(static_cast<std::uint32_t>(gamma[i]),
                                                    static_cast<std::uint32_t>(syndromes[j - i])));
        }
        modified[j - s] = sum;
    }
}

// locator[0..L+s] = Lambda(x) Gamma(x), in place: coefficient i of the product needs only those
// of Lambda up to i, so going down overwrites nothing still needed. locator holds L + s + 1.
template <typename Field, typename Element>
void TimesErasureLocator(const Field& field, Element* locator, std::int32_t L, const Element* gamma,
                         std::int32_t s) {
    for (std::int32_t i = L + s; i >= 0; --i) {
        Element sum = 0;
        for (std::int32_t j = i > L ? i - L : 0; j <= i && j <= s; ++j) {
            sum ^= static_cast<Element>(field.Multiply(static_cast<std::uint32_t>(gamma[j]),
                                                       static_cast<std::uint32_t>(locator[i - j])));
        }
        locator[i] = sum;
    }
}

}  // namespace rs
