#include "field/galois_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "field/byte_field.h"

namespace rs {
namespace {

// Carry-less product of two elements reduced by the field polynomial: the textbook definition
// that the power and log tables must reproduce.
Symbol ReferenceMultiply(Symbol a, Symbol b, int m, std::uint32_t polynomial) {
    std::uint64_t product = 0;
    for (int i = 0; i < m; ++i) {
        if (((b >> i) & 1) != 0) {
            product ^= static_cast<std::uint64_t>(a) << i;
        }
    }
    for (int bit = 2 * m - 2; bit >= m; --bit) {
        if (((product >> bit) & 1U) != 0U) {
            product ^= static_cast<std::uint64_t>(polynomial) << (bit - m);
        }
    }
    return static_cast<Symbol>(product);
}

// Schoolbook product through Multiply, as the reference for PolyMultiply and PolyDivide.
std::vector<Symbol> ReferencePolyMultiply(const GaloisField& field, const std::vector<Symbol>& p,
                                          const std::vector<Symbol>& q) {
    std::vector<Symbol> product(p.size() + q.size() - 1, 0);
    for (std::size_t i = 0; i < p.size(); ++i) {
        for (std::size_t j = 0; j < q.size(); ++j) {
            product[i + j] ^= field.Multiply(p[i], q[j]);
        }
    }
    return product;
}

// Horner's rule, independent of the running-powers evaluation under test.
Symbol ReferenceEvaluate(const GaloisField& field, const std::vector<Symbol>& poly, Symbol x) {
    Symbol result = 0;
    for (auto it = poly.rbegin(); it != poly.rend(); ++it) {
        result = field.Multiply(result, x) ^ *it;
    }
    return result;
}

GaloisField& BuiltField(GaloisField& field, int m) {
    EXPECT_TRUE(field.Init(2, m));
    return field;
}

// --- The table of primitive polynomials -------------------------------------------------------

// x^e mod p over GF(2), by square and multiply on 64-bit words (degree of p at most 31).
std::uint64_t PowerOfXModulo(std::uint64_t e, std::uint32_t p, int m) {
    const auto mulMod = [&](std::uint64_t a, std::uint64_t b) {
        std::uint64_t product = 0;
        for (int i = 0; i < m; ++i) {
            if (((b >> i) & 1U) != 0U) {
                product ^= a << i;
            }
        }
        for (int bit = 2 * m - 2; bit >= m; --bit) {
            if (((product >> bit) & 1U) != 0U) {
                product ^= static_cast<std::uint64_t>(p) << (bit - m);
            }
        }
        return product;
    };
    std::uint64_t result = 1;
    std::uint64_t base = 2;  // x
    while (e != 0) {
        if ((e & 1U) != 0U) {
            result = mulMod(result, base);
        }
        base = mulMod(base, base);
        e >>= 1U;
    }
    return result;
}

// A polynomial of degree m is primitive exactly when x has multiplicative order 2^m - 1 modulo
// it: x^(2^m-1) = 1 and x^((2^m-1)/r) != 1 for every prime r dividing 2^m - 1. This covers the
// degrees whose tables are too large to build in a test.
TEST(PrimitivePolynomials, EveryEntryFromTwoUpIsPrimitiveOfItsDegree) {
    for (int m = 2; m <= 31; ++m) {
        const std::uint32_t p = primitivePolynomials[m];
        SCOPED_TRACE(m);
        EXPECT_EQ(p >> m, 1U) << "degree must be exactly m";
        EXPECT_EQ(p & 1U, 1U) << "x must not divide the polynomial";
        const std::uint64_t order = (std::uint64_t{1} << m) - 1U;
        EXPECT_EQ(PowerOfXModulo(order, p, m), 1U);
        std::uint64_t rest = order;
        for (std::uint64_t r = 2; r * r <= rest; ++r) {
            if (rest % r != 0) {
                continue;
            }
            EXPECT_NE(PowerOfXModulo(order / r, p, m), 1U) << "prime factor " << r;
            while (rest % r == 0) {
                rest /= r;
            }
        }
        if (rest > 1) {
            EXPECT_NE(PowerOfXModulo(order / rest, p, m), 1U) << "prime factor " << rest;
        }
    }
}

// --- Tables --------------------------------------------------------------------------------------

TEST(GaloisFieldTables, GF16FromXFourPlusXPlusOne) {
    GaloisField field;
    ASSERT_TRUE(field.Init(2, 4));
    EXPECT_TRUE(field.IsReady());
    EXPECT_EQ(field.GetM(), 4);
    EXPECT_EQ(field.GetOrder(), 15);
    EXPECT_EQ(field.GetPrimitivePolynomial(), 0x13U);
    const std::vector<Symbol> power = {1, 2, 4, 8, 3, 6, 12, 11, 5, 10, 7, 14, 15, 13, 9};
    const std::vector<std::int32_t> log = {-1, 0, 1, 4, 2, 8, 5, 10, 3, 14, 9, 7, 6, 13, 11, 12};
    EXPECT_EQ(std::vector<Symbol>(field.PowerTable().begin(), field.PowerTable().end()), power);
    EXPECT_EQ(std::vector<std::int32_t>(field.LogTable().begin(), field.LogTable().end()), log);
}

TEST(GaloisFieldTables, GF256AlphaToTheEighth) {
    GaloisField field;
    ASSERT_TRUE(field.Init(2, 8));
    // x^8 = x^4 + x^3 + x^2 + 1 = 0b11101.
    EXPECT_EQ(field.PowerTable()[8], 29);
    EXPECT_EQ(field.Power(8), 29);
}

TEST(GaloisFieldTables, GF2HasOneNonzeroElement) {
    GaloisField field;
    ASSERT_TRUE(field.Init(2, 1));
    EXPECT_EQ(field.GetOrder(), 1);
    ASSERT_EQ(field.PowerTable().size(), 1U);
    EXPECT_EQ(field.PowerTable()[0], 1);
    ASSERT_EQ(field.LogTable().size(), 2U);
    EXPECT_EQ(field.LogTable()[0], -1);
    EXPECT_EQ(field.LogTable()[1], 0);
    EXPECT_EQ(field.Multiply(1, 1), 1);
    EXPECT_EQ(field.Divide(1, 1), 1);
    EXPECT_EQ(field.Multiply(0, 1), 0);
    EXPECT_EQ(field.Divide(1, 0), 0);
}

class EveryDegree : public ::testing::TestWithParam<int> {};

// powerTable must be a permutation of 1..order, with logTable its inverse and alpha = x.
TEST_P(EveryDegree, PowerTableReachesEveryNonzeroElementOnce) {
    const int m = GetParam();
    GaloisField field;
    ASSERT_TRUE(field.Init(2, m));
    const auto order = static_cast<std::size_t>((std::int64_t{1} << m) - 1);
    ASSERT_EQ(static_cast<std::size_t>(field.GetOrder()), order);
    const auto power = field.PowerTable();
    const auto log = field.LogTable();
    ASSERT_EQ(power.size(), order);
    ASSERT_EQ(log.size(), order + 1U);
    EXPECT_EQ(power[0], 1);
    if (m >= 2) {
        EXPECT_EQ(power[1], 2);
    }
    EXPECT_EQ(log[0], -1);
    // In range and inverted by logTable means no element repeats: two exponents with the same
    // element could not both be its logarithm.
    const Symbol* powerData = power.data();
    const std::int32_t* logData = log.data();
    std::size_t failures = 0;
    for (std::size_t i = 0; i < order && failures < 5; ++i) {
        const Symbol e = powerData[i];
        if (e < 1 || static_cast<std::size_t>(e) > order ||
            logData[e] != static_cast<std::int32_t>(i)) {
            ADD_FAILURE() << "powerTable[" << i << "] = " << e << " is out of range or repeated";
            ++failures;
        }
    }
}

// Larger degrees cost seconds under the sanitizers; the primitivity check above covers every
// degree up to 31 without building tables.
INSTANTIATE_TEST_SUITE_P(UpTo20, EveryDegree, ::testing::Range(1, 21),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string("m").append(std::to_string(info.param));
                         });

// --- Element arithmetic --------------------------------------------------------------------------

TEST(GaloisFieldArithmetic, GF16Examples) {
    GaloisField field;
    BuiltField(field, 4);
    struct Case {
        Symbol a;
        Symbol b;
        Symbol product;
        Symbol quotient;
    };
    const Case cases[] = {
        {2, 9, 1, 4},    // alpha * alpha^14: exponents wrap to 0; 1 - 14 wraps to 2
        {1, 2, 2, 9},    // 1 / alpha = alpha^14
        {9, 9, 13, 1},   // alpha^28 = alpha^13
        {12, 7, 2, 14},  // alpha^6 * alpha^10 = alpha^1; alpha^6 / alpha^10 = alpha^11
        {15, 1, 15, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a << ", " << c.b);
        EXPECT_EQ(field.Multiply(c.a, c.b), ReferenceMultiply(c.a, c.b, 4, 0x13));
        EXPECT_EQ(field.Multiply(c.a, c.b), c.product);
        EXPECT_EQ(field.Divide(c.a, c.b), c.quotient);
    }
}

TEST(GaloisFieldArithmetic, ZeroOperandGivesZero) {
    for (const int m : {1, 2, 4, 8}) {
        GaloisField field;
        BuiltField(field, m);
        for (Symbol a = 0; a <= field.GetOrder(); ++a) {
            EXPECT_EQ(field.Multiply(0, a), 0) << m << ": " << a;
            EXPECT_EQ(field.Multiply(a, 0), 0) << m << ": " << a;
            EXPECT_EQ(field.Divide(0, a), 0) << m << ": " << a;
            EXPECT_EQ(field.Divide(a, 0), 0) << m << ": " << a;
        }
    }
}

// Every pair for m up to 8: the table product equals the carry-less reference (so the field
// axioms hold), and division undoes it.
TEST(GaloisFieldArithmetic, MultiplyAndDivideMatchReferenceOnAllPairs) {
    for (int m = 1; m <= 8; ++m) {
        GaloisField field;
        BuiltField(field, m);
        const std::uint32_t polynomial = primitivePolynomials[m];
        const Symbol order = field.GetOrder();
        int failures = 0;
        for (Symbol a = 0; a <= order && failures < 10; ++a) {
            for (Symbol b = 0; b <= order && failures < 10; ++b) {
                const Symbol product = field.Multiply(a, b);
                bool ok = product == ReferenceMultiply(a, b, m, polynomial);
                if (a != 0 && b != 0) {
                    ok = ok && field.Divide(product, b) == a;
                    ok = ok && field.Multiply(a, field.Divide(b, a)) == b;
                }
                if (!ok) {
                    ADD_FAILURE() << "m = " << m << ", a = " << a << ", b = " << b;
                    ++failures;
                }
            }
        }
    }
}

// --- Polynomials ---------------------------------------------------------------------------------

TEST(GaloisFieldPolynomials, MultiplyExamplesInGF8) {
    GaloisField field;
    BuiltField(field, 3);
    struct Case {
        std::vector<Symbol> p;
        std::vector<Symbol> q;
        std::vector<Symbol> product;
    };
    const Case cases[] = {
        {{2, 1}, {3, 1}, {6, 1, 1}},  // (x + 2)(x + 3) = x^2 + x + 6
        {{1, 0}, {1, 0}, {1, 0, 0}},  // zero leading coefficients keep the degree
        {{5}, {3, 0, 7}, {4, 0, 6}},
    };
    for (const Case& c : cases) {
        const int degreeP = static_cast<int>(c.p.size()) - 1;
        const int degreeQ = static_cast<int>(c.q.size()) - 1;
        // One extra slot that must stay untouched.
        std::vector<Symbol> product(c.product.size() + 1, 7);
        std::int32_t degree = -99;
        EXPECT_TRUE(
            field.PolyMultiply(c.p.data(), c.q.data(), degreeP, degreeQ, product.data(), degree));
        EXPECT_EQ(degree, degreeP + degreeQ);
        EXPECT_EQ(product.back(), 7);
        product.pop_back();
        EXPECT_EQ(product, c.product);
    }
}

// An empty factor leaves a product of zeros over the degrees that the sum still names.
TEST(GaloisFieldPolynomials, MultiplyWithEmptyFactor) {
    GaloisField field;
    BuiltField(field, 3);
    const Symbol p[] = {5, 6, 7};
    const Symbol q[] = {3};
    Symbol product[4] = {9, 9, 9, 9};
    std::int32_t degree = -99;
    EXPECT_TRUE(field.PolyMultiply(p, q, 2, -1, product, degree));
    EXPECT_EQ(degree, 1);
    EXPECT_EQ(product[0], 0);
    EXPECT_EQ(product[1], 0);
    EXPECT_EQ(product[2], 9);

    Symbol untouched[2] = {9, 9};
    EXPECT_TRUE(field.PolyMultiply(q, q, -1, -1, untouched, degree));
    EXPECT_EQ(degree, -2);
    EXPECT_EQ(untouched[0], 9);
    EXPECT_EQ(untouched[1], 9);
}

TEST(GaloisFieldPolynomials, MultiplyMatchesSchoolbookOnRandomPolynomials) {
    std::mt19937 rng(20240601);
    for (const int m : {2, 4, 8, 10}) {
        GaloisField field;
        BuiltField(field, m);
        std::uniform_int_distribution<Symbol> symbol(0, field.GetOrder());
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<Symbol> p(1 + rng() % 12);
            std::vector<Symbol> q(1 + rng() % 12);
            for (Symbol& s : p) {
                s = (rng() % 4 == 0) ? 0 : symbol(rng);  // plenty of zero coefficients
            }
            for (Symbol& s : q) {
                s = (rng() % 4 == 0) ? 0 : symbol(rng);
            }
            std::vector<Symbol> product(p.size() + q.size() - 1);
            std::int32_t degree = 0;
            field.PolyMultiply(p.data(), q.data(), static_cast<int>(p.size()) - 1,
                               static_cast<int>(q.size()) - 1, product.data(), degree);
            EXPECT_EQ(degree, static_cast<int>(product.size()) - 1);
            EXPECT_EQ(product, ReferencePolyMultiply(field, p, q)) << "m = " << m;
        }
    }
}

TEST(GaloisFieldPolynomials, EvaluateExamplesInGF8) {
    GaloisField field;
    BuiltField(field, 3);
    const Symbol poly[] = {6, 1, 1};  // (x + 2)(x + 3)
    EXPECT_EQ(field.PolyEvaluate(poly, 2, 2), 0);
    EXPECT_EQ(field.PolyEvaluate(poly, 3, 2), 0);
    EXPECT_EQ(field.PolyEvaluate(poly, 0, 2), 6);
    // Below degree 1 only the constant term counts, for every point.
    for (Symbol x = 0; x <= 7; ++x) {
        EXPECT_EQ(field.PolyEvaluate(poly, x, 0), 6) << x;
        EXPECT_EQ(field.PolyEvaluate(poly, x, -1), 6) << x;
    }
}

TEST(GaloisFieldPolynomials, EvaluateMatchesHornerOnRandomPolynomials) {
    std::mt19937 rng(77);
    for (const int m : {3, 8, 12}) {
        GaloisField field;
        BuiltField(field, m);
        std::uniform_int_distribution<Symbol> symbol(0, field.GetOrder());
        for (int trial = 0; trial < 100; ++trial) {
            std::vector<Symbol> poly(1 + rng() % 20);
            for (Symbol& s : poly) {
                s = symbol(rng);
            }
            const Symbol x = symbol(rng);
            EXPECT_EQ(field.PolyEvaluate(poly.data(), x, static_cast<int>(poly.size()) - 1),
                      ReferenceEvaluate(field, poly, x));
        }
    }
}

constexpr Symbol kUntouched = -7;

TEST(GaloisFieldPolynomials, DivideExamplesInGF8) {
    GaloisField field;
    BuiltField(field, 3);
    struct Case {
        const char* what;
        std::vector<Symbol> dividend;
        std::vector<Symbol> divisor;
        int quotientDegree;
        std::vector<Symbol> quotient;  // entries written, the rest of the buffer stays untouched
        int remainderDegree;
        std::vector<Symbol> remainder;
    };
    const Case cases[] = {
        {"x^3 by x + 1", {0, 0, 0, 1}, {1, 1}, 2, {1, 1, 1}, 0, {1}},
        {"zero leading coefficient", {5, 6, 7, 3}, {1, 2, 0}, 1, {0, 0}, 1, {5, 6}},
        {"divisor of degree 0", {1, 2, 3}, {2}, 2, {5, 1, 4}, -1, {}},
        {"dividend shorter than divisor", {5}, {1, 2, 3, 4}, -3, {}, 2, {5, 0, 0}},
        // (x^2 + x + 6) / (x + 2) = x + 3 exactly.
        {"exact", {6, 1, 1}, {2, 1}, 1, {3, 1}, 0, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Symbol> quotient(4, kUntouched);
        std::vector<Symbol> remainder(4, kUntouched);
        std::int32_t quotientDegree = -99;
        std::int32_t remainderDegree = -99;
        EXPECT_TRUE(field.PolyDivide(c.dividend.data(), c.divisor.data(),
                                     static_cast<int>(c.dividend.size()) - 1,
                                     static_cast<int>(c.divisor.size()) - 1, quotient.data(),
                                     quotientDegree, remainder.data(), remainderDegree));
        EXPECT_EQ(quotientDegree, c.quotientDegree);
        EXPECT_EQ(remainderDegree, c.remainderDegree);
        std::vector<Symbol> expectedQuotient = c.quotient;
        expectedQuotient.resize(4, kUntouched);
        std::vector<Symbol> expectedRemainder = c.remainder;
        expectedRemainder.resize(4, kUntouched);
        EXPECT_EQ(quotient, expectedQuotient);
        EXPECT_EQ(remainder, expectedRemainder);
    }
}

// dividend = quotient * divisor + remainder, for dividends up to degree order - 1 (the whole
// work buffer) and divisors of every degree up to order.
TEST(GaloisFieldPolynomials, DivideSatisfiesDivisionIdentity) {
    std::mt19937 rng(4242);
    for (const int m : {2, 3, 4, 8}) {
        GaloisField field;
        BuiltField(field, m);
        const int order = field.GetOrder();
        std::uniform_int_distribution<Symbol> symbol(0, order);
        std::uniform_int_distribution<Symbol> nonzero(1, order);
        for (int trial = 0; trial < 40; ++trial) {
            const int dividendDegree =
                (trial % 2 == 0) ? order - 1 : static_cast<int>(rng() % order);
            const int divisorDegree = static_cast<int>(rng() % (order + 1));
            std::vector<Symbol> dividend(static_cast<std::size_t>(dividendDegree) + 1);
            for (Symbol& s : dividend) {
                s = symbol(rng);
            }
            std::vector<Symbol> divisor(static_cast<std::size_t>(divisorDegree) + 1);
            for (Symbol& s : divisor) {
                s = symbol(rng);
            }
            divisor.back() = nonzero(rng);
            const std::vector<Symbol> dividendCopy = dividend;

            const int expectedQuotientDegree = dividendDegree - divisorDegree;
            std::vector<Symbol> quotient(
                static_cast<std::size_t>(std::max(expectedQuotientDegree + 1, 1)), kUntouched);
            std::vector<Symbol> remainder(static_cast<std::size_t>(std::max(divisorDegree, 1)),
                                          kUntouched);
            std::int32_t quotientDegree = 0;
            std::int32_t remainderDegree = 0;
            field.PolyDivide(dividend.data(), divisor.data(), dividendDegree, divisorDegree,
                             quotient.data(), quotientDegree, remainder.data(), remainderDegree);
            SCOPED_TRACE(::testing::Message() << "m = " << m << ", degrees " << dividendDegree
                                              << " / " << divisorDegree);
            ASSERT_EQ(quotientDegree, expectedQuotientDegree);
            ASSERT_EQ(remainderDegree, divisorDegree - 1);
            EXPECT_EQ(dividend, dividendCopy);

            // Rebuild quotient * divisor + remainder over the larger of the two lengths.
            std::vector<Symbol> rebuilt(
                std::max(dividend.size(), static_cast<std::size_t>(divisorDegree)), 0);
            if (quotientDegree >= 0) {
                quotient.resize(static_cast<std::size_t>(quotientDegree) + 1);
                const auto product = ReferencePolyMultiply(field, quotient, divisor);
                for (std::size_t i = 0; i < product.size(); ++i) {
                    rebuilt[i] ^= product[i];
                }
            }
            for (int i = 0; i <= remainderDegree; ++i) {
                rebuilt[static_cast<std::size_t>(i)] ^= remainder[static_cast<std::size_t>(i)];
            }
            std::vector<Symbol> expected = dividend;
            expected.resize(rebuilt.size(), 0);
            EXPECT_EQ(rebuilt, expected);
        }
    }
}

// --- Init ----------------------------------------------------------------------------------------

TEST(GaloisFieldInit, RefusesDegreesWithoutAFieldAndKeepsEarlierTables) {
    for (const int badM : {32, 33, 0, -1}) {
        SCOPED_TRACE(badM);
        GaloisField fresh;
        EXPECT_FALSE(fresh.Init(2, badM));
        EXPECT_FALSE(fresh.IsReady());
        EXPECT_TRUE(fresh.PowerTable().empty());
        EXPECT_TRUE(fresh.LogTable().empty());

        GaloisField field;
        ASSERT_TRUE(field.Init(2, 4));
        const std::vector<Symbol> power(field.PowerTable().begin(), field.PowerTable().end());
        const std::vector<std::int32_t> log(field.LogTable().begin(), field.LogTable().end());
        EXPECT_FALSE(field.Init(2, badM));
        EXPECT_FALSE(field.IsReady());
        EXPECT_EQ(field.GetM(), 4);
        EXPECT_EQ(field.GetOrder(), 15);
        EXPECT_EQ(field.GetPrimitivePolynomial(), 0x13U);
        EXPECT_EQ(std::vector<Symbol>(field.PowerTable().begin(), field.PowerTable().end()), power);
        EXPECT_EQ(std::vector<std::int32_t>(field.LogTable().begin(), field.LogTable().end()), log);
        EXPECT_EQ(field.Multiply(2, 9), 1);
    }
}

TEST(GaloisFieldInit, RepeatedInitRebuildsIdenticalTables) {
    GaloisField field;
    ASSERT_TRUE(field.Init(2, 5));
    const std::vector<Symbol> power(field.PowerTable().begin(), field.PowerTable().end());
    const std::vector<std::int32_t> log(field.LogTable().begin(), field.LogTable().end());
    ASSERT_TRUE(field.Init(2, 5));
    EXPECT_TRUE(field.IsReady());
    EXPECT_EQ(std::vector<Symbol>(field.PowerTable().begin(), field.PowerTable().end()), power);
    EXPECT_EQ(std::vector<std::int32_t>(field.LogTable().begin(), field.LogTable().end()), log);

    // Going through another degree and back changes nothing either.
    ASSERT_TRUE(field.Init(2, 9));
    EXPECT_EQ(field.GetOrder(), 511);
    ASSERT_TRUE(field.Init(2, 5));
    EXPECT_EQ(std::vector<Symbol>(field.PowerTable().begin(), field.PowerTable().end()), power);
    EXPECT_EQ(std::vector<std::int32_t>(field.LogTable().begin(), field.LogTable().end()), log);
}

// The characteristic is recorded only; the arithmetic is always that of characteristic 2.
TEST(GaloisFieldInit, CharacteristicDoesNotChangeTheTables) {
    GaloisField two;
    GaloisField three;
    ASSERT_TRUE(two.Init(2, 4));
    ASSERT_TRUE(three.Init(3, 4));
    EXPECT_EQ(std::vector<Symbol>(two.PowerTable().begin(), two.PowerTable().end()),
              std::vector<Symbol>(three.PowerTable().begin(), three.PowerTable().end()));
}

// A byte field's tables hold bytes: built from a larger field they would be overrun. Debug
// builds stop there, at the broken precondition, rather than at whatever the overrun breaks.
TEST(ByteFieldDeathTest, StopsOnAFieldOfMoreThan256Elements) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are checked in debug builds only";
#else
    GaloisField field;
    ASSERT_TRUE(field.Init(2, 9));
    EXPECT_DEATH({ const ByteField bytes(field); }, "RS_ASSERT.*at most 256 elements");
#endif
}

}  // namespace
}  // namespace rs
