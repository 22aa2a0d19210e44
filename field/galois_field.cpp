#include "field/galois_field.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <new>

#include "base/contract.h"

namespace rs {

namespace {

// Whether the first count symbols from a and those from b share none; empty ranges never do.
bool Disjoint(const Symbol* a, std::int32_t aCount, const Symbol* b, std::int32_t bCount) {
    const std::less<> before;
    return aCount <= 0 || bCount <= 0 || !before(a, b + bCount) || !before(b, a + aCount);
}

}  // namespace

bool GaloisField::Init(std::int32_t characteristicValue, std::int32_t degree) {
    ready = false;
    // m = 0 has no nonzero element and negative m no polynomial; above 31 the elements no
    // longer fit a Symbol.
    if (degree < 1 || degree > 31) {
        return false;
    }
    const std::size_t newOrder = (std::size_t{1} << degree) - 1U;

    // Allocate everything before touching the members, so that running out of memory leaves
    // the earlier tables in place and is reported as a refusal.
    std::unique_ptr<Symbol[]> newPowerTable;
    std::unique_ptr<std::int32_t[]> newLogTable;
    std::unique_ptr<Symbol[]> newWorkBuffer;
    try {
        newPowerTable = std::make_unique_for_overwrite<Symbol[]>(newOrder);
        newLogTable = std::make_unique_for_overwrite<std::int32_t[]>(newOrder + 1U);
        newWorkBuffer = std::make_unique_for_overwrite<Symbol[]>(newOrder);
    } catch (const std::bad_alloc&) {
        return false;
    }

    characteristic = characteristicValue;
    m = degree;
    order = static_cast<std::int32_t>(newOrder);
    primitivePolynomial = primitivePolynomials[degree];

    // alpha^i = alpha^(i-1) * x, reduced by the primitive polynomial whenever the shift
    // reaches x^m. Unsigned, because for m = 31 the shifted value reaches bit 31.
    const std::uint32_t topBit = std::uint32_t{1} << degree;
    std::uint32_t element = 1;
    newPowerTable[0] = 1;
    for (std::size_t i = 1; i < newOrder; ++i) {
        element <<= 1U;
        if ((element & topBit) != 0U) {
            element ^= primitivePolynomial;
        }
        newPowerTable[i] = static_cast<Symbol>(element);
    }

    // 0 has no logarithm; -1 marks it and never enters an exponent sum.
    newLogTable[0] = -1;
    for (std::size_t i = 0; i < newOrder; ++i) {
        newLogTable[static_cast<std::size_t>(newPowerTable[i])] = static_cast<std::int32_t>(i);
    }

    powerTable = std::move(newPowerTable);
    logTable = std::move(newLogTable);
    workBuffer = std::move(newWorkBuffer);
    ready = true;
    return true;
}

Symbol GaloisField::PolyEvaluate(const Symbol* poly, Symbol x, std::int32_t degree) const {
    Symbol result = poly[0];
    Symbol power = x;
    for (std::int32_t i = 1; i <= degree; ++i) {
        result ^= Multiply(poly[i], power);
        power = Multiply(power, x);
    }
    return result;
}

bool GaloisField::PolyMultiply(const Symbol* p, const Symbol* q, std::int32_t degreeP,
                               std::int32_t degreeQ, Symbol* product,
                               std::int32_t& productDegree) const {
    // The product is cleared first and built by adding into it.
    RS_ASSERT(Disjoint(product, degreeP + degreeQ + 1, p, degreeP + 1) &&
                  Disjoint(product, degreeP + degreeQ + 1, q, degreeQ + 1),
              "PolyMultiply's product must not overlap a factor");
    productDegree = degreeP + degreeQ;
    if (productDegree >= 0) {
        std::fill(product, product + productDegree + 1, Symbol{0});
    }
    const auto modulus = static_cast<std::uint32_t>(order);
    // Works on logarithms directly: each nonzero q[j] is looked up once for its whole row.
    for (std::int32_t j = 0; j <= degreeQ; ++j) {
        if (q[j] == 0) {
            continue;
        }
        const auto logQ = static_cast<std::uint32_t>(logTable[q[j]]);
        for (std::int32_t i = 0; i <= degreeP; ++i) {
            if (p[i] != 0) {
                const std::uint32_t sum = static_cast<std::uint32_t>(logTable[p[i]]) + logQ;
                product[i + j] ^= powerTable[sum % modulus];
            }
        }
    }
    return true;
}

bool GaloisField::PolyDivide(const Symbol* dividend, const Symbol* divisor,
                             std::int32_t dividendDegree, std::int32_t divisorDegree,
                             Symbol* quotient, std::int32_t& quotientDegree, Symbol* remainder,
                             std::int32_t& remainderDegree) {
    // The working copy has room for order symbols.
    RS_ASSERT(ready && dividendDegree < order && divisorDegree >= 0 && divisorDegree <= order,
              "PolyDivide needs a dividend below the field's order and a divisor of 0..order");
    quotientDegree = dividendDegree - divisorDegree;
    remainderDegree = divisorDegree - 1;

    // The working copy extends with zeros up to the remainder's top, so that a dividend
    // shorter than the divisor comes out as its own remainder.
    for (std::int32_t i = 0; i <= dividendDegree; ++i) {
        workBuffer[i] = dividend[i];
    }
    for (std::int32_t i = std::max(dividendDegree + 1, 0); i <= remainderDegree; ++i) {
        workBuffer[i] = 0;
    }
    if (quotientDegree >= 0) {
        std::fill(quotient, quotient + quotientDegree + 1, Symbol{0});
    }
    if (remainderDegree >= 0) {
        std::fill(remainder, remainder + remainderDegree + 1, Symbol{0});
    }

    if (dividendDegree >= divisorDegree) {
        const Symbol lead = divisor[divisorDegree];
        for (std::int32_t top = dividendDegree; top >= divisorDegree; --top) {
            const Symbol w = workBuffer[top];
            if (w == 0) {
                continue;
            }
            // A zero leading coefficient makes f zero: nothing is subtracted.
            const Symbol f = Divide(w, lead);
            const std::int32_t base = top - divisorDegree;
            for (std::int32_t i = 0; i < divisorDegree; ++i) {
                workBuffer[base + i] ^= Multiply(f, divisor[i]);
            }
            quotient[base] = f;
        }
    }

    for (std::int32_t i = 0; i <= remainderDegree; ++i) {
        remainder[i] = workBuffer[i];
    }
    return true;
}

}  // namespace rs
