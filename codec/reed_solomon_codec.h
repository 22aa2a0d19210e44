#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>

#include "base/contract.h"
#include "codec/berlekamp_massey.h"
#include "codec/decoder_flag.h"
#include "codec/erasures.h"
#include "codec/forney.h"
#include "field/byte_field.h"
#include "field/galois_field.h"
#include "field/tabled_field.h"

namespace rs {

// Products and evaluations of polynomials and Berlekamp-Massey on byte vectors in a field of
// at most 256 elements, for ReedSolomonCodec::FindErrorsBy: the engine's kernels
// (engine/kernel/draw_kernels.h) with the field's tables. product writes the terms below
// x^count of a(x) b(x); evaluate writes poly(alpha^js[r]) for each of count points, js[r] in
// 1..n.
struct BytePolynomials {
    ByteFieldView field;
    void (*product)(const ByteFieldView& field, const std::int32_t* a, std::int32_t degreeA,
                    const std::int32_t* b, std::int32_t degreeB, std::int32_t count,
                    std::int32_t* product);
    void (*evaluate)(const ByteFieldView& field, const std::int32_t* poly, std::int32_t degree,
                     const std::int32_t* js, std::int32_t count, std::int32_t* values);
    // RunBerlekampMassey's locator[0..count] from count syndromes, and its length.
    std::int32_t (*berlekampMassey)(const ByteFieldView& field, const std::int32_t* syndromes,
                                    std::int32_t count, std::int32_t* locator);
};

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

    // A shortened code sends only positions 0..length-1: the information symbols above are
    // zero and never sent. Decoding stays that of the full code; a root of the locator at a
    // position not sent flags the word (LastDecodeFailureDetected). Configure sends all n.
    void SetSentLength(std::int32_t length) {
        RS_ASSERT(length > n - k && length <= n, "a shortened code keeps its parity and a symbol");
        sentLength = length;
    }

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
    bool Decode(const Symbol* received, Symbol* decoded) { return Decode(received, decoded, {}); }
    // As Decode, with the symbols at the positions `erasures` (distinct, increasing, sent, at
    // most 2t) known to be unreliable: whatever their received values, e errors and s erasures
    // are corrected whenever 2e + s <= 2t.
    bool Decode(const Symbol* received, Symbol* decoded, std::span<const std::int32_t> erasures);

    // The decoder's stages for callers that know the error pattern rather than the received
    // word. A codeword has zero syndromes, so the syndromes of codeword + e are those of e:
    // SetSparseSyndromes takes e as its nonzero positions and values and returns whether all
    // syndromes are zero. FindErrors then runs Berlekamp-Massey, the evaluator, the derivative
    // and the Chien search with Forney's values on those syndromes, exactly as Decode does, and
    // calls onRoot(position, value) for each position it takes as erroneous, from n-1 down to 0;
    // the corrected word is the received one with each value added at its position.
    // Given erasures (as Decode takes them), the locator is the errata locator, and every
    // erasure is among the positions reported, its value 0 where the symbol came through right.
    // With kIncremental the Chien search keeps each locator term's exponent and steps it from
    // one position to the next instead of evaluating the locator afresh; it finds the same
    // roots. It borrows the encoder's work buffers, so it must not run within Encode.
    bool SetSparseSyndromes(const std::int32_t* positions, const Symbol* values,
                            std::int32_t count);
    // As SetSparseSyndromes, with the syndromes left to compute(syndromes, 2t), which writes
    // the 2t of them and returns whether all are zero. For a vectorised computation.
    template <typename Compute>
    bool SetSyndromesBy(Compute&& compute) {
        return compute(syndromes.get(), 2 * t);
    }
    template <bool kIncremental = false, typename OnRoot>
    void FindErrors(OnRoot&& onRoot, std::span<const std::int32_t> erasures = {});
    // As FindErrors<true>, with the Chien search left to search(locator, degree), which
    // returns the j in 1..n (position n - j) at which the locator vanishes, in increasing
    // order. For a vectorised search. Given erasures, the search gets the error locator alone,
    // of degree 1 or more (it is not called for degree 0): the errata locator's other roots are
    // the erasures. The same roots and values as FindErrors, reported in the same order.
    // Given bytes, in a field of at most 256 elements, Berlekamp-Massey, the products of
    // polynomials and Forney's evaluations run on byte vectors; without, on the tables, the
    // products and evaluations in the log domain, one lookup a term.
    template <typename Search, typename OnRoot>
    void FindErrorsBy(Search&& search, OnRoot&& onRoot, std::span<const std::int32_t> erasures = {},
                      const BytePolynomials* bytes = nullptr);

    // The incremental Chien search's terms of the locator FindErrors or FindErrorsBy holds (the
    // one FindErrorsBy's search is given), of degree L: Lambda(alpha^j) is the sum of
    // alpha^(exponents[e] + (j - 1) steps[e]) over the nonzero Lambda_i, each exponent and step
    // below n. They live in the encoder's work buffers.
    struct ChienTermList {
        const std::int32_t* exponents;
        const std::int32_t* steps;
        std::int32_t count;
    };
    ChienTermList ChienTerms(std::int32_t L);

    // Whether a practical decoder would have flagged the last word as uncorrectable: its
    // locator's degree exceeds t, or it has fewer distinct roots among the sent positions, with
    // a nonzero error value, than its degree. The correction then yields no codeword within t of
    // the word. This decoder corrects blindly all the same, so the flag is only observed. With
    // erasures the rule is DecodeFailureDetected's: 2e + s above 2t, or fewer usable roots of
    // the errata locator than its degree, erasures counting whatever their value.
    bool LastDecodeFailureDetected() const {
        return DecodeFailureDetected(lastLocatorDegree, lastErasures, lastUsableRoots, t);
    }

  private:
    // Berlekamp-Massey into locator: plain without erasures, else on the modified syndromes and
    // then times the erasure locator. Keeps the error locator's degree for the flag and returns
    // the locator's.
    template <typename Arithmetic>
    std::int32_t FindLocator(const Arithmetic& arithmetic, std::span<const std::int32_t> erasures);

    // Evaluator and derivative for a locator of degree L; returns the derivative.
    Symbol* PrepareForney(std::int32_t L);

    // FindErrorsBy's stages before the search: the erasure locator Gamma, T = Gamma(x) S(x)
    // mod x^2t (whose coefficients s..2t-1 are the modified syndromes), Berlekamp-Massey on
    // those into the error locator Lambda_e in locator, the errata locator Lambda_e Gamma and
    // the evaluator Omega = S Lambda_e Gamma mod x^2t = T Lambda_e mod x^2t, the polynomial
    // FindErrors takes. On byte vectors given bytes, else on the tables, the products in the
    // log domain, one lookup each. Keeps what ErrataValues needs and returns Lambda_e's degree.
    std::int32_t FindErrata(std::span<const std::int32_t> erasures, const BytePolynomials* bytes);
    // Forney's values Omega(x) / Lambda'(x) at x = alpha^(j mod n) for the count roots j in
    // rootList, into rootList[n..n + count - 1].
    void ErrataValues(std::int32_t count, const BytePolynomials* bytes);

    bool BuildGenerator();

    GaloisField field;
    std::int32_t m = 0;
    std::int32_t n = 0;
    std::int32_t k = 0;
    std::int32_t t = 0;
    std::int32_t sentLength = 0;  // positions 0..sentLength-1 are sent; n unless shortened
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
    // Within the syndromes' buffer, 2t + 1 each.
    Symbol* erasureLocator = nullptr;
    Symbol* modifiedSyndromes = nullptr;
    // FindErrata's work, within the syndromes' buffer too: the errata locator, its derivative,
    // and five rows of logarithms. Omega (in evaluator) has its last nonzero coefficient at
    // omegaTop. Without byte vectors, the logarithms (-1 for a zero coefficient) of Omega's
    // coefficients and of the errata locator's odd ones, as Lambda'(x) is a polynomial in x^2,
    // up to derivativeTop, the rest of termLogs being room; with them, the errata locator's
    // derivative in derivativePoly, of degree derivativeTop.
    std::int32_t* termLogs = nullptr;
    std::int32_t* omegaLogs = nullptr;
    std::int32_t omegaTop = -1;
    std::int32_t* derivativeLogs = nullptr;
    std::int32_t derivativeTop = -1;
    Symbol* errataPoly = nullptr;
    Symbol* derivativePoly = nullptr;
    // FindErrorsBy's roots, in the evaluator's buffer after its 2n + 1: j in 1..n, increasing,
    // then their values, room for as many, and whether each is an erasure.
    std::int32_t* rootList = nullptr;
    std::int32_t* rootErased = nullptr;
    std::int32_t lastLocatorDegree = 0;  // the error locator's, without the erasures
    std::int32_t lastErasures = 0;
    std::int32_t lastUsableRoots = 0;  // roots among the sent positions, with nonzero values
};

template <typename Arithmetic>
std::int32_t ReedSolomonCodec::FindLocator(const Arithmetic& arithmetic,
                                           std::span<const std::int32_t> erasures) {
    RS_ASSERT(ErasureList(erasures, sentLength, t),
              "erasures are at most 2t distinct sent positions, increasing");
    const auto s = static_cast<std::int32_t>(erasures.size());
    lastErasures = s;
    if (s == 0) {
        lastLocatorDegree = RunBerlekampMassey(arithmetic, syndromes.get(), 2 * t, locator.get(),
                                               correctionPoly.get());
        return lastLocatorDegree;
    }
    Symbol* gamma = erasureLocator;
    ErasureLocator(
        arithmetic, erasures, [this](std::int32_t p) { return field.Power(p); }, gamma);
    ModifiedSyndromes(arithmetic, syndromes.get(), gamma, s, t, modifiedSyndromes);
    lastLocatorDegree = RunBerlekampMassey(arithmetic, modifiedSyndromes, 2 * t - s, locator.get(),
                                           correctionPoly.get());
    TimesErasureLocator(arithmetic, locator.get(), lastLocatorDegree, gamma, s);
    return lastLocatorDegree + s;
}

template <bool kIncremental, typename OnRoot>
void ReedSolomonCodec::FindErrors(OnRoot&& onRoot, std::span<const std::int32_t> erasures) {
    const std::int32_t L = FindLocator(field, erasures);
    lastUsableRoots = 0;
    const Symbol* derivative = PrepareForney(L);

    // Chien search over j = 1..n, i.e. positions p = n-1 down to 0 at x = alpha^(-p);
    // Forney gives each root the error value Omega(x) / Lambda'(x), which needs no extra
    // factor for syndromes taken from alpha^1. The erasures, increasing, are met from the last.
    auto erasure = erasures.rbegin();
    const auto forney = [&](std::int32_t p, Symbol x) {
        const Symbol w = field.PolyEvaluate(evaluator.get(), x, evaluatorDegree);
        const Symbol d = field.PolyEvaluate(derivative, x, L - 1);
        const Symbol value = field.Divide(w, d);
        onRoot(p, value);
        while (erasure != erasures.rend() && *erasure > p) {
            ++erasure;
        }
        const bool erased = erasure != erasures.rend() && *erasure == p;
        lastUsableRoots += UsableRoot(p, sentLength, value, erased) ? 1 : 0;
    };
    if constexpr (kIncremental) {
        std::int32_t* exponent = quotient.get();
        std::int32_t* step = remainder.get();
        const std::int32_t terms = ChienTerms(L).count;
        const auto powers = field.PowerTable();
        for (std::int32_t j = 1; j <= n; ++j) {
            Symbol sum = 0;
            for (std::int32_t e = 0; e < terms; ++e) {
                sum ^= powers[static_cast<std::size_t>(exponent[e])];
                exponent[e] += step[e];
                if (exponent[e] >= n) {
                    exponent[e] -= n;
                }
            }
            if (sum == 0) {
                forney(n - j, field.Power(j % n));
            }
        }
    } else {
        for (std::int32_t j = 1; j <= n; ++j) {
            const std::int32_t p = n - j;
            const Symbol x = field.Power(j % n);
            if (field.PolyEvaluate(locator.get(), x, L) == 0) {
                forney(p, x);
            }
        }
    }
}

template <typename Search, typename OnRoot>
void ReedSolomonCodec::FindErrorsBy(Search&& search, OnRoot&& onRoot,
                                    std::span<const std::int32_t> erasures,
                                    const BytePolynomials* bytes) {
    // The errata locator's roots are the error locator's and the erasures' (a root of both is
    // one root, a double one, whose derivative and so value vanish): the search looks for the
    // error locator's alone, and the two lists of j, both increasing, are merged.
    const std::int32_t e = FindErrata(erasures, bytes);
    std::int32_t count = 0;
    const auto list = [&](const auto& found) {
        auto root = std::begin(found);
        const auto end = std::end(found);
        auto erasure = erasures.rbegin();  // increasing j as positions go down
        while (root != end || erasure != erasures.rend()) {
            const std::int32_t fromSearch = root != end ? static_cast<std::int32_t>(*root) : n + 1;
            const std::int32_t fromErasure = erasure != erasures.rend() ? n - *erasure : n + 1;
            const std::int32_t j = std::min(fromSearch, fromErasure);
            RS_ASSERT(j > (count == 0 ? 0 : rootList[count - 1]) && j <= n,
                      "a search gives roots j in 1..n, increasing");
            root += fromSearch == j ? 1 : 0;
            rootErased[count] = fromErasure == j ? 1 : 0;
            erasure += fromErasure == j ? 1 : 0;
            rootList[count++] = j;
        }
    };
    if (e > 0) {
        list(search(static_cast<const Symbol*>(locator.get()), e));
    } else {
        list(std::span<const std::int32_t>{});  // the errata are the erasures
    }
    ErrataValues(count, bytes);
    lastUsableRoots = 0;
    for (std::int32_t r = 0; r < count; ++r) {
        const std::int32_t p = n - rootList[r];
        const Symbol value = rootList[n + r];
        onRoot(p, value);
        lastUsableRoots += UsableRoot(p, sentLength, value, rootErased[r] != 0) ? 1 : 0;
    }
}

}  // namespace rs
