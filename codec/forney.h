#pragma once

#include <algorithm>
#include <cstdint>

namespace rs {

// Forney's error values as the codec computes them, for both decoders: the evaluator
// Omega(x) = S(x) Lambda(x) mod x^2t, kept to degree 2t - 1 whatever its true degree, the
// formal derivative Lambda'(x), and each root's value Omega(x) / Lambda'(x).

// evaluator[0..2t-1]: the product's terms below x^2t.
template <typename Field, typename Element>
void TruncatedEvaluator(const Field& field, const Element* syndromes, const Element* locator,
                        std::int32_t L, std::int32_t t, Element* evaluator) {
    for (std::int32_t j = 0; j < 2 * t; ++j) {
        Element sum = 0;
        for (std::int32_t i = 0; i <= std::min(j, L); ++i) {
            sum ^= static_cast<Element>(field.Multiply(static_cast<std::uint32_t>(syndromes[j - i]),
                                                       static_cast<std::uint32_t>(locator[i])));
        }
        evaluator[j] = sum;
    }
}

// derivative[0..L-1]: in characteristic 2 only the odd-index terms of Lambda survive.
template <typename Element>
void FormalDerivative(const Element* locator, std::int32_t L, Element* derivative) {
    std::fill(derivative, derivative + std::max(L, 0), Element{0});
    for (std::int32_t i = 1; i <= L; i += 2) {
        derivative[i - 1] = locator[i];
    }
}

// poly(x) by Horner's rule, for a degree of 0 or more.
template <typename Field, typename Element>
std::uint32_t EvaluateAt(const Field& field, const Element* poly, std::int32_t degree,
                         std::uint32_t x) {
    std::uint32_t value = 0;
    for (std::int32_t i = degree; i >= 0; --i) {
        value = field.Multiply(value, x) ^ static_cast<std::uint32_t>(poly[i]);
    }
    return value;
}

}  // namespace rs
