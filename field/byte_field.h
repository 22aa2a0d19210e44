#pragma once

#include <cstdint>
#include <vector>

#include "field/galois_field.h"

namespace rs {

// A field of at most 256 elements as vector kernels use it: products by a constant as two
// lookups of 16 entries (a byte shuffle), and the powers alpha^(r j) in rows of bytes. Both the
// Chien search (row r at every j) and the syndromes (row p at j = 1..2t) read their powers
// there, without a log, an exponent sum or a gather.
struct ByteFieldView {
    // Per element c, 32 bytes: c x for x = 0..15, then c (x << 4) for x = 0..15; a product by
    // c is the XOR of the two lookups of the low and the high nibble, the product being linear.
    const std::uint8_t* products;
    // Row r (0 <= r < n), column j - 1 (1 <= j <= n): alpha^(r j mod n); columns n and above
    // are zero, up to stride.
    const std::uint8_t* powers;
    // 1 / c for c = 1..n, and 0 for 0.
    const std::uint8_t* inverses;
    std::int32_t n;
    std::int32_t stride;  // a multiple of 64, at least n
};

// The tables of a field of degree at most kLargestByteField.
class ByteField {
  public:
    static constexpr std::int32_t kLargestByteField = 8;

    explicit ByteField(const GaloisField& field);

    ByteFieldView View() const {
        return {products.data(), powers.data(), inverses.data(), n, stride};
    }

  private:
    std::int32_t n;
    std::int32_t stride;
    std::vector<std::uint8_t> products;
    std::vector<std::uint8_t> powers;
    std::vector<std::uint8_t> inverses;
};

}  // namespace rs
