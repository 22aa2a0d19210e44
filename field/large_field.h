#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace rs {

// GF(2^m) without tables, for fields whose 2^m-entry tables would not fit in memory: the
// product is a carry-less multiplication reduced by the same primitive polynomial the
// table-built field uses, so every element and every power of alpha is the same.
class LargeField {
  public:
    // alpha^e takes a product per bit of e.
    static constexpr bool kPowersAreLookups = false;

    // m in 2..31.
    explicit LargeField(std::int32_t m);

    std::uint32_t Multiply(std::uint32_t a, std::uint32_t b) const;
    // 0 when either is 0, as the table-built field divides.
    std::uint32_t Divide(std::uint32_t a, std::uint32_t b) const;
    std::uint32_t Power(std::uint32_t a, std::uint64_t exponent) const;
    // alpha^e for any e >= 0.
    std::uint32_t AlphaPower(std::uint64_t exponent) const { return Power(2, exponent); }
    // The e in 0..n-1 with alpha^e = a, for a != 0: Pohlig-Hellman over the prime factors of
    // n = 2^m - 1, each by baby steps and giant steps.
    std::uint64_t Log(std::uint32_t a) const;

    std::int32_t GetM() const { return m; }
    std::uint64_t GetOrder() const { return order; }

  private:
    struct PrimePower {
        std::uint64_t prime = 0;
        int exponent = 0;
        std::uint64_t power = 1;      // prime^exponent
        std::uint32_t generator = 0;  // alpha^(n / power), of order power
        std::uint32_t gamma = 0;      // of order prime
        std::uint64_t steps = 0;      // baby steps, ceil(sqrt(prime))
        std::uint32_t giant = 0;      // gamma^-steps
        std::vector<std::pair<std::uint32_t, std::uint64_t>> baby;  // (gamma^j, j), sorted
    };

    std::int32_t m;
    std::uint64_t order;
    std::uint64_t polynomial;
    std::vector<PrimePower> factors;
};

}  // namespace rs
