#include "engine/block_counter.h"

#include <algorithm>
#include <bit>
#include <span>
#include <type_traits>

namespace rs {

namespace {

constexpr std::size_t kInitialHits = 1024;

// Whether count errors are nonzero symbols below q at positions 0..n-1, increasing.
bool SentPattern(const std::int32_t* positions, const Symbol* values, std::int32_t count,
                 std::int32_t n, std::int32_t q) {
    for (std::int32_t e = 0; e < count; ++e) {
        if (positions[e] < (e == 0 ? 0 : positions[e - 1] + 1) || positions[e] >= n ||
            values[e] < 1 || values[e] >= q) {
            return false;
        }
    }
    return count >= 0;
}

}  // namespace

BlockCounter::BlockCounter(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel,
                           std::int32_t length)
    : codec(&codec),
      order(codec.GetN()),
      n(length > 0 ? length : order),
      k(n - 2 * codec.GetT()),
      t(codec.GetT()),
      q(std::int32_t{1} << m),
      jump(JumpAhead::Instance()) {
    RS_ASSERT(codec.IsReady() && codec.Field().GetM() == m,
              "a block counter decodes through a codec configured for GF(2^m)");
    codec.SetSentLength(n);
    if (!RootsByChien(order, m, t)) {
        tabledRoots =
            std::make_unique<AlgebraicDecoder<TabledField>>(TabledField(codec.Field()), t);
        tabledRoots->SetSentLength(n);
    } else {
        chien = kernel.chienRoots;
        chienRoots.resize(static_cast<std::size_t>(order));
        if (m <= ByteField::kLargestByteField) {
            byteField = std::make_unique<ByteField>(codec.Field());
            byteView = byteField->View();
            byteChien = kernel.byteChienRoots;
            byteSyndromes = kernel.byteSyndromes;
            bytePolynomials = {byteView, kernel.bytePolyProduct, kernel.byteEvaluate,
                               kernel.byteBerlekampMassey};
        }
    }
    Allocate();
}

BlockCounter::BlockCounter(std::int32_t m, std::int32_t t, std::int32_t length)
    : codec(nullptr),
      tableFree(std::make_unique<AlgebraicDecoder<LargeField>>(LargeField(m), t)),
      order(static_cast<std::int32_t>((std::int64_t{1} << m) - 1)),
      n(length > 0 ? length : order),
      k(n - 2 * t),
      t(t),
      q(std::int32_t{1} << m),
      jump(JumpAhead::Instance()) {
    tableFree->SetSentLength(n);
    Allocate();
}

void BlockCounter::Allocate() {
    // The hit buffers grow with the largest block seen; the walk keeps one word past its last.
    hitWords.resize(kInitialHits + 1);
    GrowHits(kInitialHits);
    corrections.reserve(2 * static_cast<std::size_t>(t) + 1);
}

void BlockCounter::GrowHits(std::size_t count) {
    const std::size_t size = std::max({count, kInitialHits, 2 * hitPositions.size()});
    hitPositions.resize(size);
    hitValues.resize(size);
}

void BlockCounter::ListHits(std::size_t words) {
    if (hitPositions.size() < static_cast<std::size_t>(hitCount)) {
        GrowHits(static_cast<std::size_t>(hitCount));
    }
    std::int32_t* position = hitPositions.data();
    std::uint64_t earlier = 0;  // hits before, each with its value draw
    for (std::size_t i = 0; i < words; ++i) {
        for (std::uint64_t bits = hitWords[i].bits; bits != 0; bits &= bits - 1) {
            const std::uint64_t draw =
                64 * hitWords[i].word + static_cast<std::uint64_t>(std::countr_zero(bits));
            *position++ = static_cast<std::int32_t>(draw - positionsStart - earlier);
            ++earlier;
        }
    }
}

void BlockCounter::Restart(PackedState seededState) {
    seeded = seededState;
    valueState = seeded;
    valueCursor = 0;
}

std::uint32_t BlockCounter::ValueOfDraw(std::uint64_t index) {
    // The value of draw i is the current word after i + 1 draws.
    const std::uint64_t target = index + 1;
    if (target < valueCursor) {
        valueState = seeded;
        valueCursor = 0;
    }
    // Thirteen lookups of the jump tables per set bit of the gap cost less than the six
    // dependent steps of even one draw.
    valueState = jump.Advance(valueState, target - valueCursor);
    valueCursor = target;
    return DrawnValue(valueState);
}

BlockOutcome BlockCounter::DecodeHits() {
    const auto hits = static_cast<std::size_t>(hitCount);
    for (std::size_t i = 0; i < hits; ++i) {
        // NextInt(q - 1) + 1, a plain remainder as the reference draws it.
        const std::uint64_t valueDraw =
            positionsStart + static_cast<std::uint64_t>(hitPositions[i]) + i + 1;
        hitValues[i] =
            static_cast<Symbol>(ValueOfDraw(valueDraw) % static_cast<std::uint32_t>(q - 1)) + 1;
    }
    return DecodeListed();
}

BlockOutcome BlockCounter::DecodePattern(const std::int32_t* positions, const Symbol* values,
                                         std::int32_t count,
                                         std::span<const std::int32_t> erasures) {
    RS_ASSERT(SentPattern(positions, values, count, n, q),
              "a pattern is nonzero symbols at distinct sent positions, increasing");
    RS_ASSERT(ErasureList(erasures, n, t),
              "erasures are at most 2t distinct sent positions, increasing");
    if (hitPositions.size() < static_cast<std::size_t>(count)) {
        GrowHits(static_cast<std::size_t>(count));
    }
    std::copy_n(positions, count, hitPositions.data());
    std::copy_n(values, count, hitValues.data());
    hitCount = count;
    blockErasures = erasures;
    const BlockOutcome outcome = DecodeListed();
    blockErasures = {};
    return outcome;
}

template <typename Decoder>
BlockOutcome BlockCounter::Decode(Decoder& decoder) {
    const auto hits = static_cast<std::size_t>(hitCount);
    corrections.clear();
    BlockOutcome outcome{hitCount, 0, 0, false};
    bool allZero = false;
    if constexpr (std::is_same_v<Decoder, ReedSolomonCodec>) {
        allZero = byteField
                      ? decoder.SetSyndromesBy([&](Symbol* syndromes, std::int32_t twoT) {
                            return byteSyndromes(byteView, hitPositions.data(), hitValues.data(),
                                                 hitCount, twoT, syndromes);
                        })
                      : decoder.SetSparseSyndromes(hitPositions.data(), hitValues.data(), hitCount);
    } else {
        allZero = decoder.SetSparseSyndromes(hitPositions.data(), hitValues.data(), hitCount);
    }
    if (!allZero) {
        const auto correct = [&](std::int32_t p, Symbol value) {
            corrections.push_back({p, value});
        };
        if constexpr (std::is_same_v<Decoder, ReedSolomonCodec>) {
            decoder.FindErrorsBy(
                [&](const Symbol* locator, std::int32_t degree) {
                    std::int32_t found = 0;
                    if (byteField) {
                        found = byteChien(byteView, locator, degree, chienRoots.data());
                    } else {
                        const ReedSolomonCodec::ChienTermList terms = decoder.ChienTerms(degree);
                        found = chien(terms.exponents, terms.steps, terms.count, order,
                                      decoder.Field().PowerTable().data(), chienRoots.data());
                    }
                    return std::span<const std::int32_t>(chienRoots.data(),
                                                         static_cast<std::size_t>(found));
                },
                correct, blockErasures, byteField ? &bytePolynomials : nullptr);
        } else {
            decoder.FindErrors(correct, blockErasures);
        }
        outcome.failure = decoder.LastDecodeFailureDetected();
    }
    std::sort(corrections.begin(), corrections.end(),
              [](const Correction& a, const Correction& b) { return a.position < b.position; });

    // The decoded information differs from the sent one where e plus the corrections is
    // nonzero; the information symbols sit at positions n-k..n-1 (a correction beyond, in a
    // shortened code's unsent zeros, delivers nothing). Hits and corrections are both in
    // ascending position here.
    const auto count = [&](std::int32_t p, Symbol d) {
        if (p >= n - k && p < n && d != 0) {
            ++outcome.errorSymbols;
            outcome.bitErrors += std::popcount(static_cast<std::uint32_t>(d));
        }
    };
    std::size_t h = 0;
    std::size_t c = 0;
    while (h < hits || c < corrections.size()) {
        const std::int32_t hp = h < hits ? hitPositions[h] : order;
        const std::int32_t cp = c < corrections.size() ? corrections[c].position : order;
        if (hp == cp) {
            count(hp, hitValues[h++] ^ corrections[c++].value);
        } else if (hp < cp) {
            count(hp, hitValues[h++]);
        } else {
            count(cp, corrections[c++].value);
        }
    }
    return outcome;
}

// Walk is instantiated wherever a candidate source is; its decoding is compiled here.
template BlockOutcome BlockCounter::Decode(ReedSolomonCodec& decoder);
template BlockOutcome BlockCounter::Decode(AlgebraicDecoder<LargeField>& decoder);
template BlockOutcome BlockCounter::Decode(AlgebraicDecoder<TabledField>& decoder);

}  // namespace rs
