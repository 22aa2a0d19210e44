#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/contract.h"
#include "codec/decoder_flag.h"
#include "field/galois_field.h"
#include "field/large_field.h"
#include "field/tabled_field.h"

namespace rs {

// The decoder's stages from the syndromes of a sparse error pattern, for fields too large for
// tables: the same Berlekamp-Massey, evaluator and derivative as the codec, with the Chien
// search over all n positions replaced by algebra that finds the same roots. The distinct
// roots of the locator in GF(2^m) are those of gcd(Lambda, x^(2^m) + x); they are split apart
// by traces Tr(beta x) for beta = alpha^0..alpha^(m-1), and a root alpha^(-p) names position
// p through a discrete logarithm. Each root gets the codec's value Omega(x) / Lambda'(x).
//
// Field is LargeField, or TabledField where the field's tables fit: the same roots, found with
// table lookups instead of carry-less products.
template <typename Field>
class AlgebraicDecoder {
  public:
    AlgebraicDecoder(Field field, std::int32_t t);

    // As ReedSolomonCodec::SetSparseSyndromes.
    bool SetSparseSyndromes(const std::int32_t* positions, const Symbol* values,
                            std::int32_t count);
    // Calls onRoot(position, value) for every position the codec's Chien search would take as
    // erroneous, in no particular order; given erasures, as the codec's FindErrors takes them.
    template <typename OnRoot>
    void FindErrors(OnRoot&& onRoot, std::span<const std::int32_t> erasures = {}) {
        FindRoots(erasures);
        for (const Root& root : roots) {
            onRoot(root.position, root.value);
        }
    }
    // As ReedSolomonCodec::SetSentLength.
    void SetSentLength(std::int64_t length) {
        RS_ASSERT(length > 2 * std::int64_t{t} && length <= n,
                  "a shortened code keeps its parity and a symbol");
        sentLength = length;
    }
    // As ReedSolomonCodec::LastDecodeFailureDetected.
    bool LastDecodeFailureDetected() const {
        return DecodeFailureDetected(locatorDegree, erasureCount, usableRoots, t);
    }

  private:
    using Poly = std::vector<std::uint32_t>;
    struct Root {
        std::int32_t position;
        Symbol value;
    };

    void FindRoots(std::span<const std::int32_t> erasures);
    // Polynomials come from a pool of vectors that keep their capacity and go back to it, so
    // that decoding allocates only while the blocks' locators grow.
    Poly Take(std::size_t size);
    void Give(Poly& p);
    // Polynomial helpers, in place; results are trimmed of zero leading coefficients.
    void Trim(Poly& p) const;
    // a = a mod b.
    void Reduce(Poly& a, const Poly& b) const;
    // quotient = a / b; a is left holding the remainder.
    void Divide(Poly& a, const Poly& b, Poly& quotient) const;
    // a = gcd(a, b); b is left empty.
    void Gcd(Poly& a, Poly& b) const;
    // a = a^2 mod modulus, with scratch as room.
    void SquareModulo(Poly& a, const Poly& modulus, Poly& scratch) const;
    void Split(const Poly& g, std::int32_t fromBasis);

    Field field;
    const std::int64_t n;
    const std::int32_t t;
    Poly syndromes;
    Poly locator;
    Poly correction;
    Poly erasureLocator;
    Poly modifiedSyndromes;
    std::int32_t locatorDegree = 0;  // the error locator's, without the erasures
    std::int32_t erasureCount = 0;
    std::int32_t usableRoots = 0;  // roots among the sent positions, with nonzero values
    std::int64_t sentLength;       // positions 0..sentLength-1 are sent
    std::vector<std::uint32_t> rootValues;
    std::vector<Root> roots;
    std::vector<Poly> pool;
};

extern template class AlgebraicDecoder<LargeField>;
extern template class AlgebraicDecoder<TabledField>;

}  // namespace rs
