#include "field/byte_field.h"

#include <cstddef>

#include "base/contract.h"

namespace rs {

ByteField::ByteField(const GaloisField& field)
    : n(field.GetOrder()),
      stride((n + 63) / 64 * 64),
      products(std::size_t{256} * 32),
      powers(static_cast<std::size_t>(n) * static_cast<std::size_t>(stride)),
      inverses(static_cast<std::size_t>(n) + 1) {
    // The products' rows and the nibble lookups hold bytes.
    RS_ASSERT(field.IsReady() && field.GetM() <= kLargestByteField,
              "a byte field needs a built field of at most 256 elements");
    const std::int32_t q = n + 1;
    for (std::int32_t c = 0; c < q; ++c) {
        std::uint8_t* row = products.data() + std::size_t{32} * static_cast<std::size_t>(c);
        for (std::int32_t x = 0; x < 16; ++x) {
            row[x] = x < q ? static_cast<std::uint8_t>(field.Multiply(c, x)) : 0;
            row[16 + x] = (x << 4) < q ? static_cast<std::uint8_t>(field.Multiply(c, x << 4)) : 0;
        }
    }
    for (std::int32_t c = 1; c < q; ++c) {
        inverses[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(field.Divide(1, c));
    }
    for (std::int32_t r = 0; r < n; ++r) {
        std::uint8_t* row = powers.data() + static_cast<std::size_t>(r) * stride;
        for (std::int32_t j = 1; j <= n; ++j) {
            row[j - 1] = static_cast<std::uint8_t>(
                field.Power(static_cast<std::int32_t>(std::int64_t{r} * j % n)));
        }
    }
}

}  // namespace rs
