#include "codec/reed_solomon_codec.h"

#include <algorithm>
#include <cstddef>
#include <new>

namespace rs {

namespace {

std::unique_ptr<Symbol[]> AllocateSymbols(std::size_t count) {
    return std::make_unique_for_overwrite<Symbol[]>(count);
}

// e mod order for e below twice the order, without a branch: below the order, e - order wraps
// around above e.
std::uint32_t Reduced(std::uint32_t e, std::uint32_t order) {
    return std::min(e, e - order);
}

// alpha^(a + b) for the logarithms a and b of two nonzero elements.
Symbol PowerOfSum(const Symbol* powers, std::int32_t a, std::int32_t b, std::uint32_t order) {
    return powers[Reduced(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b), order)];
}

// The field's products and quotients without a branch on a zero operand, for
// Berlekamp-Massey, whose operands are zero or not in no steady pattern: the logarithm of 0
// (-1) is taken as 0 and the result cleared. The same values as TabledField's.
class FlatTables {
  public:
    explicit FlatTables(const GaloisField& field)
        : power(field.PowerTable().data()),
          log(field.LogTable().data()),
          order(static_cast<std::uint32_t>(field.GetOrder())) {}

    std::uint32_t Multiply(std::uint32_t a, std::uint32_t b) const {
        return static_cast<std::uint32_t>(power[Reduced(Log(a) + Log(b), order)]) & Both(a, b);
    }
    std::uint32_t Divide(std::uint32_t a, std::uint32_t b) const {
        return static_cast<std::uint32_t>(power[Reduced(Log(a) + order - Log(b), order)]) &
               Both(a, b);
    }

  private:
    // All ones when a and b are both nonzero, else 0.
    static std::uint32_t Both(std::uint32_t a, std::uint32_t b) {
        return 0U - (static_cast<std::uint32_t>(a != 0) & static_cast<std::uint32_t>(b != 0));
    }
    std::uint32_t Log(std::uint32_t a) const {
        return static_cast<std::uint32_t>(std::max(log[a], 0));
    }

    const Symbol* power;
    const std::int32_t* log;
    std::uint32_t order;
};

// Logarithms of poly[0..degree], -1 for a zero coefficient as the log table has it.
void Logarithms(const std::int32_t* logs, const Symbol* poly, std::int32_t degree,
                std::int32_t* out) {
    for (std::int32_t i = 0; i <= degree; ++i) {
        out[i] = logs[poly[i]];
    }
}

// product[0..count-1] = the terms below x^count of a(x) b(x), from the logarithms of their
// coefficients: each product of two nonzero ones is one lookup.
void LogProduct(const Symbol* powers, std::uint32_t order, const std::int32_t* a,
                std::int32_t degreeA, const std::int32_t* b, std::int32_t degreeB,
                std::int32_t count, Symbol* product) {
    for (std::int32_t c = 0; c < count; ++c) {
        Symbol sum = 0;
        for (std::int32_t i = std::max(0, c - degreeB); i <= std::min(c, degreeA); ++i) {
            const std::int32_t la = a[i];
            const std::int32_t lb = b[c - i];
            if ((la | lb) >= 0) {
                sum ^= PowerOfSum(powers, la, lb, order);
            }
        }
        product[c] = sum;
    }
}

// sum of alpha^(logs[i] + i step) for i = 0..top, the negative logs skipped: a polynomial with
// those coefficients' logarithms at alpha^step, step below the order.
Symbol EvaluateLogs(const Symbol* powers, std::uint32_t order, const std::int32_t* logs,
                    std::int32_t top, std::uint32_t step) {
    Symbol sum = 0;
    std::uint32_t exponent = 0;  // i step mod order
    for (std::int32_t i = 0; i <= top; ++i) {
        if (logs[i] >= 0) {
            sum ^= powers[Reduced(static_cast<std::uint32_t>(logs[i]) + exponent, order)];
        }
        exponent = Reduced(exponent + step, order);
    }
    return sum;
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
        // The erasure locator, the modified syndromes, the errata locator, its derivative and
        // FindErrata's logarithms (five rows) share the syndromes' allocation, 2t + 1 each;
        // FindErrorsBy's roots share the evaluator's, after its 2n + 1.
        auto newSyndromes = AllocateSymbols(10U * (twoT + 1U));
        auto newLocator = AllocateSymbols(twoT + 1U);
        auto newScratchPoly = AllocateSymbols(twoT + 1U);
        auto newCorrectionPoly = AllocateSymbols(twoT + 2U);
        auto newCorrected = AllocateSymbols(length);
        auto newRemainder = AllocateSymbols(length + 1U);
        auto newQuotient = AllocateSymbols(length + 1U);
        auto newEvaluator = AllocateSymbols(2U * length + 1U + 4U * length);
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
        errataPoly = syndromes.get() + 3U * (twoT + 1U);
        derivativePoly = syndromes.get() + 4U * (twoT + 1U);
        termLogs = syndromes.get() + 5U * (twoT + 1U);
        rootList = evaluator.get() + (2U * length + 1U);
        rootErased = rootList + 3U * length;
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

std::int32_t ReedSolomonCodec::FindErrata(std::span<const std::int32_t> erasures,
                                          const BytePolynomials* bytes) {
    RS_ASSERT(ErasureList(erasures, sentLength, t),
              "erasures are at most 2t distinct sent positions, increasing");
    RS_ASSERT(bytes == nullptr || bytes->field.n == n, "byte polynomials of the codec's field");
    const std::int32_t twoT = 2 * t;
    const auto s = static_cast<std::int32_t>(erasures.size());
    const std::int32_t* logs = field.LogTable().data();
    const Symbol* powers = field.PowerTable().data();
    const auto order = static_cast<std::uint32_t>(n);
    // Room for the logarithms: of Gamma, Lambda_e, Omega, the derivative and S, then T.
    std::int32_t* gammaLogs = termLogs;
    std::int32_t* locatorLogs = gammaLogs + (twoT + 1);
    omegaLogs = locatorLogs + (twoT + 1);
    derivativeLogs = omegaLogs + (twoT + 1);
    std::int32_t* productLogs = derivativeLogs + (twoT + 1);
    // a b below x^count, on byte vectors or from the logarithms the caller has taken.
    const auto multiply = [&](const Symbol* a, const std::int32_t* aLogs, std::int32_t degreeA,
                              const Symbol* b, const std::int32_t* bLogs, std::int32_t degreeB,
                              std::int32_t count, Symbol* product) {
        if (bytes != nullptr) {
            bytes->product(bytes->field, a, degreeA, b, degreeB, count, product);
        } else {
            LogProduct(powers, order, aLogs, degreeA, bLogs, degreeB, count, product);
        }
    };

    // Gamma(x), one factor (1 + alpha^p x) at a time: log alpha^p = p. Then T, in the
    // modified syndromes' room: Gamma S mod x^2t, or S itself without erasures.
    Symbol* gamma = erasureLocator;
    gamma[0] = 1;
    for (std::int32_t degree = 0; degree < s; ++degree) {
        const std::int32_t p = erasures[static_cast<std::size_t>(degree)];
        gamma[degree + 1] = 0;
        for (std::int32_t i = degree + 1; i >= 1; --i) {
            const Symbol g = gamma[i - 1];
            gamma[i] ^= g != 0 ? PowerOfSum(powers, p, logs[g], order) : 0;
        }
    }
    Symbol* product = syndromes.get();
    if (bytes == nullptr) {
        Logarithms(logs, syndromes.get(), twoT - 1, productLogs);
        Logarithms(logs, gamma, s, gammaLogs);
    }
    if (s != 0) {
        product = modifiedSyndromes;
        multiply(gamma, gammaLogs, s, syndromes.get(), productLogs, twoT - 1, twoT, product);
        if (bytes == nullptr) {
            Logarithms(logs, product, twoT - 1, productLogs);
        }
    }

    // The error locator from the modified syndromes, T's coefficients s..2t-1, with
    // FindLocator's steps.
    const std::int32_t e =
        bytes != nullptr
            ? bytes->berlekampMassey(bytes->field, product + s, twoT - s, locator.get())
            : RunBerlekampMassey(FlatTables(field), product + s, twoT - s, locator.get(),
                                 correctionPoly.get());
    lastLocatorDegree = e;
    lastErasures = s;
    const std::int32_t L = e + s;
    if (bytes == nullptr) {
        Logarithms(logs, locator.get(), e, locatorLogs);
    }

    // Omega = T Lambda_e mod x^2t, up to its last nonzero coefficient.
    Symbol* omega = evaluator.get();
    multiply(product, productLogs, twoT - 1, locator.get(), locatorLogs, e, twoT, omega);
    evaluatorDegree = twoT - 1;
    omegaTop = twoT - 1;
    while (omegaTop >= 0 && omega[omegaTop] == 0) {
        --omegaTop;
    }

    // The errata locator Lambda_e Gamma, and its derivative: Lambda'(x) = sum of
    // Lambda_(2i+1) x^(2i), kept whole for the byte vectors, as the logarithms of the
    // coefficients of a polynomial in x^2 otherwise.
    const Symbol* errata = locator.get();
    if (s != 0) {
        multiply(locator.get(), locatorLogs, e, gamma, gammaLogs, s, L + 1, errataPoly);
        errata = errataPoly;
    }
    derivativeTop = -1;
    if (bytes != nullptr) {
        FormalDerivative(errata, L, derivativePoly);
        for (std::int32_t i = 1; i <= L; i += 2) {
            derivativeTop = errata[i] != 0 ? i - 1 : derivativeTop;
        }
    } else {
        Logarithms(logs, omega, omegaTop, omegaLogs);
        for (std::int32_t i = 1; i <= L; i += 2) {
            derivativeLogs[i / 2] = logs[errata[i]];
            derivativeTop = derivativeLogs[i / 2] >= 0 ? i / 2 : derivativeTop;
        }
    }
    return e;
}

void ReedSolomonCodec::ErrataValues(std::int32_t count, const BytePolynomials* bytes) {
    const std::int32_t* js = rootList;
    Symbol* values = rootList + n;
    const TabledField tables(field);
    if (bytes != nullptr) {
        // Omega and Lambda' on byte vectors at every root.
        Symbol* derivatives = rootList + 2 * static_cast<std::ptrdiff_t>(n);
        if (omegaTop >= 0) {
            bytes->evaluate(bytes->field, evaluator.get(), omegaTop, js, count, values);
        } else {
            std::fill(values, values + count, Symbol{0});
        }
        if (derivativeTop >= 0) {
            bytes->evaluate(bytes->field, derivativePoly, derivativeTop, js, count, derivatives);
        } else {
            std::fill(derivatives, derivatives + count, Symbol{0});
        }
        for (std::int32_t r = 0; r < count; ++r) {
            values[r] = static_cast<Symbol>(tables.Divide(
                static_cast<std::uint32_t>(values[r]), static_cast<std::uint32_t>(derivatives[r])));
        }
        return;
    }
    // Each term one lookup: x^i = alpha^(i j mod n).
    const Symbol* powers = field.PowerTable().data();
    const auto order = static_cast<std::uint32_t>(n);
    for (std::int32_t r = 0; r < count; ++r) {
        const auto step = static_cast<std::uint32_t>(js[r] == n ? 0 : js[r]);
        const Symbol w = EvaluateLogs(powers, order, omegaLogs, omegaTop, step);
        const Symbol d =
            EvaluateLogs(powers, order, derivativeLogs, derivativeTop, Reduced(2 * step, order));
        values[r] = static_cast<Symbol>(
            tables.Divide(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(d)));
    }
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
