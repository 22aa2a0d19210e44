#pragma once

#include <algorithm>
#include <cstdint>

#include "base/contract.h"
#include "field/galois_field.h"

namespace rs {

// A table-built field seen through the table-free field's interface (LargeField), so that the
// algebraic decoder finds roots with table lookups wherever the tables fit. It holds pointers
// into the GaloisField's tables, which must outlive it.
class TabledField {
  public:
    // alpha^e is one lookup, and so is a logarithm.
    static constexpr bool kPowersAreLookups = true;

    explicit TabledField(const GaloisField& field)
        : power(field.PowerTable().data()),
          log(field.LogTable().data()),
          m(field.GetM()),
          order(static_cast<std::uint32_t>(field.GetOrder())) {
        RS_ASSERT(field.IsReady(), "a tabled field needs the field's tables");
    }

    std::uint32_t Multiply(std::uint32_t a, std::uint32_t b) const {
        if (a == 0 || b == 0) {
            return 0;
        }
        const std::uint32_t sum =
            static_cast<std::uint32_t>(log[a]) + static_cast<std::uint32_t>(log[b]);
        return static_cast<std::uint32_t>(power[Reduced(sum)]);
    }
    // 0 when either is 0, as the table-built field divides.
    std::uint32_t Divide(std::uint32_t a, std::uint32_t b) const {
        if (a == 0 || b == 0) {
            return 0;
        }
        const std::uint32_t difference =
            static_cast<std::uint32_t>(log[a]) + order - static_cast<std::uint32_t>(log[b]);
        return static_cast<std::uint32_t>(
            power[difference >= order ? difference - order : difference]);
    }
    std::uint32_t AlphaPower(std::uint64_t exponent) const {
        return static_cast<std::uint32_t>(power[exponent % order]);
    }
    // alpha^e for e below the order: a lookup alone.
    std::uint32_t PowerBelowOrder(std::uint64_t exponent) const {
        return static_cast<std::uint32_t>(power[exponent]);
    }
    // The e in 0..n-1 with alpha^e = a, for a != 0.
    std::uint64_t Log(std::uint32_t a) const {
        RS_ASSERT(a != 0 && a <= order, "only a nonzero element of the field has a logarithm");
        return static_cast<std::uint64_t>(log[a]);
    }

    std::int32_t GetM() const { return m; }
    std::uint64_t GetOrder() const { return order; }

  private:
    // e mod the order, for e below twice the order, without a branch on e: below the order,
    // e - order wraps around above e.
    std::uint32_t Reduced(std::uint32_t e) const { return std::min(e, e - order); }

    const Symbol* power;
    const std::int32_t* log;
    std::int32_t m;
    std::uint32_t order;
};

}  // namespace rs
