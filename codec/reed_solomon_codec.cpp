#include "codec/reed_solomon_codec.h"

#include <algorithm>
#include <cstddef>
#include <new>

namespace rs {

namespace {

std::unique_ptr<Symbol[]> AllocateSymbols(std::size_t count) {
    return std::make_unique_for_overwrite<Symbol[]>(count);
}

}  // namespace

void ReedSolomonCodec::Configure(std::int32_t mValue, std::int32_t tValue) {
    m = mValue;
    t = tValue;
    ready = false;
    // Outside 1..31 there is no field; n = 0 then makes every t >= 1 fail the length test.
    n = (m >= 1 && m <= 31) ? static_cast<std::int32_t>((std::int64_t{1} << m) - 1) : 0;
    sentLength = n;

    if (!BuildGenerator()) {
        return;
    }

    // Allocate all buffers before replacing any, so that running out of memory is a refusal.
    const std::size_t twoT = 2U * static_cast<std::size_t>(t);
    const auto length = static_cast<std::size_t>(n);
    try {
        // The erasure locator and the modified syndromes share the syndromes' allocation.
        auto newSyndromes = AllocateSymbols(3U * (twoT + 1U));
        auto newLocator = AllocateSymbols(twoT + 1U);
        auto newScratchPoly = AllocateSymbols(twoT + 1U);
        auto newCorrectionPoly = AllocateSymbols(twoT + 2U);
        auto newCorrected = AllocateSymbols(length);
        auto newRemainder = AllocateSymbols(length + 1U);
        auto newQuotient = AllocateSymbols(length + 1U);
        auto newEvaluator = AllocateSymbols(2U * length + 1U);
        syndromes = std::move(newSyndromes);
        locator = std::move(newLocator);
        scratchPoly = std::move(newScratchPoly);
        correctionPoly = std::move(newCorrectionPoly);
        corrected = std::move(newCorrected);
        remainder = std::move(newRemainder);
        quotient = std::move(newQuotient);
        evaluator = std::move(newEvaluator);
        erasureLocator = syndromes.get() + (twoT + 1U);
        modifiedSyndromes = syndromes.get() + 2U * (twoT + 1U);
    } catch (const std::bad_alloc&) {
        return;
    }
    ready = true;
}

bool ReedSolomonCodec::BuildGenerator() {
    if (t < 0 || 2 * std::int64_t{t} > std::int64_t{n}) {
        return false;
    }
    if (!field.Init(2, m)) {
        return false;
    }
    const auto length = static_cast<std::size_t>(n);
    std::unique_ptr<Symbol[]> newGenerator;
    std::unique_ptr<Symbol[]> product;
    try {
        newGenerator = AllocateSymbols(length + 1U);
        product = AllocateSymbols(length + 1U);
    } catch (const std::bad_alloc&) {
        return false;
    }

    // g(x) = product of (x + alpha^i) for i = 1..2t, built one factor at a time; the empty
    // product (t = 0) is the constant 1.
    product[0] = 1;
    std::int32_t productDegree = 0;
    newGenerator[0] = 1;
    std::int32_t newDegree = 0;
    Symbol factor[2] = {0, 1};
    for (std::int32_t i = 1; i <= 2 * t; ++i) {
        factor[0] = field.Power(i);
        field.PolyMultiply(product.get(), factor, productDegree, 1, newGenerator.get(), newDegree);
        std::copy(newGenerator.get(), newGenerator.get() + newDegree + 1, product.get());
        productDegree = newDegree;
    }

    generator = std::move(newGenerator);
    generatorDegree = newDegree;
    k = n - generatorDegree;
    rate = static_cast<float>(static_cast<double>(k) / static_cast<double>(n));
    return true;
}

void ReedSolomonCodec::Encode(const Symbol* info, Symbol* codeword) {
    RS_ASSERT(ready, "Encode needs a configured codec");
    // c(x) = x^(n-k) u(x) + (x^(n-k) u(x) mod g(x)): a multiple of g(x) because adding and
    // subtracting coincide, with the information left unchanged at the top positions.
    const std::int32_t parity = n - k;
    std::fill(codeword, codeword + parity, Symbol{0});
    std::copy(info, info + k, codeword + parity);
    field.PolyDivide(codeword, generator.get(), n - 1, generatorDegree, quotient.get(),
                     quotientDegree, remainder.get(), remainderDegree);
    std::copy(remainder.get(), remainder.get() + parity, codeword);
}

bool ReedSolomonCodec::Decode(const Symbol* received, Symbol* decoded,
                              std::span<const std::int32_t> erasures) {
    RS_ASSERT(ready, "Decode needs a configured codec");
    const std::int32_t twoT = 2 * t;

    // Syndromes S_i = R(alpha^(i+1)), i = 0..2t-1, matching the generator's roots.
    bool allZero = true;
    for (std::int32_t i = 0; i < twoT; ++i) {
        const Symbol s = field.PolyEvaluate(received, field.Power(i + 1), n - 1);
        syndromes[i] = s;
        if (s != 0) {
            allZero = false;
        }
    }

    // Zero syndromes make the word a codeword whatever is erased: nothing to correct or flag.
    lastLocatorDegree = 0;
    lastErasures = 0;
    lastUsableRoots = 0;
    std::copy(received, received + n, corrected.get());
    if (!allZero) {
        FindErrors([this](std::int32_t p, Symbol value) { corrected[p] ^= value; }, erasures);
    }

    std::copy(corrected.get() + (n - k), corrected.get() + n, decoded);
    return allZero;
}

bool ReedSolomonCodec::SetSparseSyndromes(const std::int32_t* positions, const Symbol* values,
                                          std::int32_t count) {
    RS_ASSERT(ready && count >= 0, "SetSparseSyndromes needs a configured codec");
    bool allZero = true;
    for (std::int32_t i = 0; i < 2 * t; ++i) {
        syndromes[i] = 0;
    }
    // e_p alpha^((i+1)p) for i = 0..2t-1 in the log domain: one lookup a term, and the terms of
    // a position do not wait for one another.
    const auto logs = field.LogTable();
    const auto powers = field.PowerTable();
    for (std::int32_t e = 0; e < count; ++e) {
        RS_ASSERT(positions[e] >= 0 && positions[e] < n && values[e] >= 0 && values[e] <= n,
                  "an error lies at a position of the code and is a symbol of the field");
        if (values[e] == 0) {
            continue;
        }
        const std::int32_t step = positions[e] % n;
        std::int32_t exponent = logs[static_cast<std::size_t>(values[e])];
        for (std::int32_t i = 0; i < 2 * t; ++i) {
            exponent += step;
            exponent -= exponent >= n ? n : 0;
            syndromes[i] ^= powers[static_cast<std::size_t>(exponent)];
        }
    }
    for (std::int32_t i = 0; i < 2 * t; ++i) {
        allZero = allZero && syndromes[i] == 0;
    }
    return allZero;
}

Symbol* ReedSolomonCodec::PrepareForney(std::int32_t L) {
    const std::int32_t twoT = 2 * t;
    // Error evaluator Omega(x) = S(x) Lambda(x) mod x^2t: the product stays whole in the
    // buffer, and the degree cut to 2t-1 drops its upper terms.
    field.PolyMultiply(syndromes.get(), locator.get(), twoT - 1, L, evaluator.get(),
                       evaluatorDegree);
    evaluatorDegree = twoT - 1;

    // Formal derivative Lambda'(x) into scratchPoly[0..L-1]: in characteristic 2 only the
    // odd-index terms survive.
    Symbol* derivative = scratchPoly.get();
    FormalDerivative(locator.get(), L, derivative);
    return derivative;
}

// Lambda(alpha^j) is the sum of alpha^(log Lambda_i + i j): quotient holds each term's exponent
// at j = 1 and remainder its step.
ReedSolomonCodec::ChienTermList ReedSolomonCodec::ChienTerms(std::int32_t L) {
    RS_ASSERT(L >= 0 && L <= 2 * t, "the locator holds 2t + 1 coefficients");
    std::int32_t terms = 0;
    const auto logs = field.LogTable();
    for (std::int32_t i = 0; i <= L; ++i) {
        if (locator[i] != 0) {
            quotient[terms] = (logs[static_cast<std::size_t>(locator[i])] + i) % n;
            remainder[terms] = i % n;
            ++terms;
        }
    }
    return {quotient.get(), remainder.get(), terms};
}

}  // namespace rs
