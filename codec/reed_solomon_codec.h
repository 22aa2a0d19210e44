#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "field/galois_field.h"

namespace rs {

// Reed-Solomon code of length n = 2^m - 1 over GF(2^m) correcting t symbol errors, with
// generator g(x) = (x + alpha^1)(x + alpha^2)...(x + alpha^2t), so k = n - 2t.
//
// Codeword layout: position i holds the coefficient of x^i. Positions 0..2t-1 carry the
// parity symbols and positions 2t..n-1 the k information symbols in order, so information
// symbol j sits at position n - k + j.
//
// Every buffer is sized by Configure; Encode and Decode allocate nothing. One codec serves one
// operation at a time, as both work in its member buffers.
class ReedSolomonCodec {
  public:
    ReedSolomonCodec() = default;
    virtual ~ReedSolomonCodec() = default;
    ReedSolomonCodec(const ReedSolomonCodec&) = delete;
    ReedSolomonCodec& operator=(const ReedSolomonCodec&) = delete;

    // Builds the field, the generator and all work buffers. Success shows only in IsReady().
    // Refused: m outside 1..31, t < 0, 2t > n, or memory that cannot be had; a refusal keeps
    // the buffers of an earlier configuration, but the codec must not be used until a later
    // Configure succeeds. t = 0 is the uncoded case: g(x) = 1 and k = n.
    void Configure(std::int32_t m, std::int32_t t);

    std::int32_t GetN() const { return n; }
    std::int32_t GetK() const { return k; }
    std::int32_t GetT() const { return t; }
    bool IsReady() const { return ready; }
    float GetRate() const { return rate; }
    std::span<const Symbol> Generator() const {
        return {generator.get(), generator ? static_cast<std::size_t>(generatorDegree) + 1U : 0U};
    }
    const GaloisField& Field() const { return field; }
    // The last decoder output in codeword layout, for inspection.
    std::span<const Symbol> Corrected() const {
        return {corrected.get(), corrected ? static_cast<std::size_t>(n) : 0U};
    }

    // Writes all n symbols of the systematic codeword for k information symbols.
    void Encode(const Symbol* info, Symbol* codeword);

    // Corrects a received word of n symbols (each in 0..q-1) and writes its k information
    // symbols. Returns true when every syndrome is zero (always for t = 0); false otherwise,
    // which says nothing about whether the correction succeeded: beyond t errors the output is
    // whatever the algorithm below yields, and no failure is flagged.
    bool Decode(const Symbol* received, Symbol* decoded);

    // Whether the last Decode found fewer distinct roots of its locator among the n positions
    // than the locator's degree. A practical decoder would flag such a word as uncorrectable;
    // this one corrects blindly, so the flag is only observed.
    bool LastDecodeFailureDetected() const { return lastRootCount < lastLocatorDegree; }

  private:
    bool BuildGenerator();
    std::int32_t RunBerlekampMassey();

    GaloisField field;
    std::int32_t m = 0;
    std::int32_t n = 0;
    std::int32_t k = 0;
    std::int32_t t = 0;
    std::unique_ptr<Symbol[]> generator;
    std::int32_t generatorDegree = 0;
    float rate = 0.0F;
    bool ready = false;
    std::unique_ptr<Symbol[]> syndromes;
    std::unique_ptr<Symbol[]> locator;
    std::unique_ptr<Symbol[]> scratchPoly;
    std::unique_ptr<Symbol[]> correctionPoly;
    std::unique_ptr<Symbol[]> corrected;
    std::unique_ptr<Symbol[]> remainder;
    std::int32_t remainderDegree = 0;
    std::unique_ptr<Symbol[]> quotient;
    std::int32_t quotientDegree = 0;
    std::unique_ptr<Symbol[]> evaluator;
    std::int32_t evaluatorDegree = 0;
    std::int32_t lastLocatorDegree = 0;
    std::int32_t lastRootCount = 0;
};

}  // namespace rs
