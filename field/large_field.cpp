#include "field/large_field.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "base/contract.h"
#include "field/galois_field.h"

namespace rs {

LargeField::LargeField(std::int32_t degree)
    : m(degree),
      order((std::uint64_t{1} << degree) - 1),
      polynomial(primitivePolynomials[degree] | (std::uint64_t{1} << degree)) {
    RS_ASSERT(degree >= 2 && degree <= 31, "a table-free field needs m in 2..31");
    std::uint64_t rest = order;
    for (std::uint64_t p = 2; p * p <= rest; ++p) {
        if (rest % p == 0) {
            PrimePower f;
            f.prime = p;
            while (rest % p == 0) {
                rest /= p;
                ++f.exponent;
                f.power *= p;
            }
            factors.push_back(f);
        }
    }
    if (rest > 1) {
        PrimePower f;
        f.prime = rest;
        f.exponent = 1;
        f.power = rest;
        factors.push_back(f);
    }
    for (PrimePower& f : factors) {
        f.generator = AlphaPower(order / f.power);
        f.gamma = Power(f.generator, f.power / f.prime);
        f.steps = static_cast<std::uint64_t>(std::ceil(std::sqrt(static_cast<double>(f.prime))));
        std::uint32_t value = 1;
        for (std::uint64_t j = 0; j < f.steps; ++j) {
            f.baby.emplace_back(value, j);
            value = Multiply(value, f.gamma);
        }
        std::sort(f.baby.begin(), f.baby.end());
        f.giant = Power(f.gamma, f.prime - f.steps % f.prime);
    }
}

namespace {

// The inverse of a modulo a coprime modulus, by the extended Euclidean algorithm.
std::uint64_t InverseModulo(std::uint64_t a, std::uint64_t modulus) {
    std::int64_t r0 = static_cast<std::int64_t>(modulus);
    std::int64_t r1 = static_cast<std::int64_t>(a % modulus);
    std::int64_t s0 = 0;
    std::int64_t s1 = 1;
    while (r1 != 0) {
        const std::int64_t q = r0 / r1;
        std::tie(r0, r1) = std::make_pair(r1, r0 - q * r1);
        std::tie(s0, s1) = std::make_pair(s1, s0 - q * s1);
    }
    const auto m = static_cast<std::int64_t>(modulus);
    return static_cast<std::uint64_t>(((s0 % m) + m) % m);
}

}  // namespace

std::uint32_t LargeField::Multiply(std::uint32_t a, std::uint32_t b) const {
    std::uint64_t product = 0;
    for (std::uint32_t bits = b; bits != 0; bits &= bits - 1) {
        product ^= static_cast<std::uint64_t>(a) << __builtin_ctz(bits);
    }
    for (int bit = 2 * m - 2; bit >= m; --bit) {
        if (((product >> bit) & 1U) != 0) {
            product ^= polynomial << (bit - m);
        }
    }
    return static_cast<std::uint32_t>(product);
}

std::uint32_t LargeField::Power(std::uint32_t a, std::uint64_t exponent) const {
    std::uint32_t result = 1;
    std::uint32_t base = a;
    for (std::uint64_t e = exponent % order; e != 0; e >>= 1) {
        if ((e & 1U) != 0) {
            result = Multiply(result, base);
        }
        base = Multiply(base, base);
    }
    return a == 0 ? (exponent == 0 ? 1 : 0) : result;
}

std::uint32_t LargeField::Divide(std::uint32_t a, std::uint32_t b) const {
    if (a == 0 || b == 0) {
        return 0;
    }
    return Multiply(a, Power(b, order - 1));  // b^(n-1) is b's inverse
}

std::uint64_t LargeField::Log(std::uint32_t a) const {
    RS_ASSERT(a != 0 && a <= order, "only a nonzero element of the field has a logarithm");
    // For each prime power q^e of n, the digits of log a in base q from the subgroup of order
    // q, then the Chinese remainder theorem.
    std::uint64_t result = 0;
    std::uint64_t modulus = 1;
    for (const PrimePower& f : factors) {
        const std::uint32_t h = Power(a, order / f.power);  // in the subgroup of g
        std::uint64_t x = 0;                                // log of h to base g so far
        std::uint64_t qPower = 1;
        for (int digit = 0; digit < f.exponent; ++digit) {
            // (h g^-x)^(q^(e-1-digit)) = gamma^d for the next digit d.
            const std::uint32_t shifted = Multiply(h, Power(f.generator, f.power - x));
            std::uint32_t probe = Power(shifted, f.power / f.prime / qPower);
            std::uint64_t d = 0;
            for (std::uint64_t i = 0; i <= f.steps; ++i) {
                const auto it = std::lower_bound(f.baby.begin(), f.baby.end(),
                                                 std::pair<std::uint32_t, std::uint64_t>{probe, 0});
                if (it != f.baby.end() && it->first == probe) {
                    d = (i * f.steps + it->second) % f.prime;
                    break;
                }
                probe = Multiply(probe, f.giant);
            }
            x += d * qPower;
            qPower *= f.prime;
        }
        // result = x (mod q^e) and result (mod modulus) so far.
        const std::uint64_t difference = (x + f.power - result % f.power) % f.power;
        // Both factors are below 2^31, so the product fits.
        const std::uint64_t step = difference * InverseModulo(modulus % f.power, f.power) % f.power;
        result += modulus * step;
        modulus *= f.power;
    }
    return result % order;
}

}  // namespace rs
