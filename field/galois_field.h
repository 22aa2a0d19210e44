#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace rs {

// One element of GF(2^m), 0..2^m-1. Bit i is the coefficient of alpha^i, so adding or
// subtracting two elements is their XOR.
using Symbol = std::int32_t;

// primitivePolynomials[m] is a primitive polynomial of degree m over GF(2), bit i being the
// coefficient of x^i. Entries 0 and 1 are placeholders: no field is built from them.
extern const std::uint32_t primitivePolynomials[32];

// Arithmetic in GF(2^m) through a power table (exponent -> element) and a log table
// (element -> exponent), plus the polynomial operations the codec needs.
//
// Polynomials are plain coefficient arrays (index i holds the coefficient of x^i) with the
// degree passed beside them; a negative degree is an empty polynomial. Arrays are sized by
// their owner: no operation resizes one, and result degrees are never lowered for zero
// leading coefficients.
//
// Element operations treat 0 uniformly: a zero operand of Multiply or Divide gives 0, also a
// zero divisor. logTable[0] is -1 and is never used in an exponent sum.
class GaloisField {
  public:
    GaloisField() = default;
    virtual ~GaloisField() = default;
    GaloisField(const GaloisField&) = delete;
    GaloisField& operator=(const GaloisField&) = delete;

    // Builds GF(2^m) from primitivePolynomials[m]. Refuses m outside 1..31 and a failed
    // allocation with false; a refusal keeps the tables of an earlier successful Init.
    // characteristic is stored only: the arithmetic is always that of characteristic 2.
    bool Init(std::int32_t characteristic, std::int32_t m);

    Symbol Multiply(Symbol a, Symbol b) const {
        if (a == 0 || b == 0) {
            return 0;
        }
        const std::uint32_t sum =
            static_cast<std::uint32_t>(logTable[a]) + static_cast<std::uint32_t>(logTable[b]);
        return powerTable[sum % static_cast<std::uint32_t>(order)];
    }

    Symbol Divide(Symbol a, Symbol b) const {
        if (a == 0 || b == 0) {
            return 0;
        }
        const std::uint32_t difference = static_cast<std::uint32_t>(logTable[a]) -
                                         static_cast<std::uint32_t>(logTable[b]) +
                                         static_cast<std::uint32_t>(order);
        return powerTable[difference % static_cast<std::uint32_t>(order)];
    }

    // alpha^i for 0 <= i < order.
    Symbol Power(std::int32_t i) const { return powerTable[i]; }

    // poly(x) by running powers of x. poly[0] is read even for a negative degree.
    Symbol PolyEvaluate(const Symbol* poly, Symbol x, std::int32_t degree) const;

    // product = p * q, of degree degreeP + degreeQ. product must not overlap p or q.
    bool PolyMultiply(const Symbol* p, const Symbol* q, std::int32_t degreeP, std::int32_t degreeQ,
                      Symbol* product, std::int32_t& productDegree) const;

    // Long division on a copy of the dividend held in workBuffer, so dividendDegree must be
    // below order and divisorDegree in 0..order. Writes quotient[0..dividendDegree -
    // divisorDegree] and remainder[0..divisorDegree - 1].
    bool PolyDivide(const Symbol* dividend, const Symbol* divisor, std::int32_t dividendDegree,
                    std::int32_t divisorDegree, Symbol* quotient, std::int32_t& quotientDegree,
                    Symbol* remainder, std::int32_t& remainderDegree);

    std::int32_t GetM() const { return m; }
    std::int32_t GetOrder() const { return order; }
    std::uint32_t GetPrimitivePolynomial() const { return primitivePolynomial; }
    bool IsReady() const { return ready; }
    std::span<const Symbol> PowerTable() const {
        return {powerTable.get(), powerTable ? static_cast<std::size_t>(order) : 0U};
    }
    std::span<const std::int32_t> LogTable() const {
        return {logTable.get(), logTable ? static_cast<std::size_t>(order) + 1U : 0U};
    }

  private:
    std::unique_ptr<Symbol[]> powerTable;
    std::unique_ptr<std::int32_t[]> logTable;
    std::unique_ptr<Symbol[]> workBuffer;
    std::int32_t characteristic = 0;
    std::int32_t m = 0;
    std::int32_t order = 0;
    std::uint32_t primitivePolynomial = 0;
    bool ready = false;
};

}  // namespace rs
