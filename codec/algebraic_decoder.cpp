#include "codec/algebraic_decoder.h"

#include <algorithm>
#include <utility>

#include "codec/berlekamp_massey.h"
#include "codec/erasures.h"
#include "codec/forney.h"

namespace rs {

template <typename Field>
AlgebraicDecoder<Field>::AlgebraicDecoder(Field field, std::int32_t t)
    : field(std::move(field)),
      n(static_cast<std::int64_t>(this->field.GetOrder())),
      t(t),
      syndromes(static_cast<std::size_t>(2 * t + 1), 0),
      locator(static_cast<std::size_t>(2 * t + 1), 0),
      correction(static_cast<std::size_t>(2 * t + 2), 0),
      erasureLocator(static_cast<std::size_t>(2 * t + 1), 0),
      modifiedSyndromes(static_cast<std::size_t>(2 * t + 1), 0),
      sentLength(n) {
    RS_ASSERT(t >= 0 && 2 * std::int64_t{t} < n, "a code of the field corrects 0 .. (n - 1) / 2");
}

template <typename Field>
bool AlgebraicDecoder<Field>::SetSparseSyndromes(const std::int32_t* positions,
                                                 const Symbol* values, std::int32_t count) {
    RS_ASSERT(count >= 0, "a pattern has no negative size");
    std::fill(syndromes.begin(), syndromes.end(), 0U);
    if constexpr (Field::kPowersAreLookups) {
        // In the log domain each term is one lookup, log e_p + (i + 1) p, and the terms of a hit
        // do not wait for one another: with tables larger than the caches, the lookups overlap.
        const std::uint64_t order = field.GetOrder();
        for (std::int32_t e = 0; e < count; ++e) {
            RS_ASSERT(positions[e] >= 0 && positions[e] < n && values[e] >= 0 && values[e] <= n,
                      "an error lies at a position of the code and is a symbol of the field");
            if (values[e] == 0) {
                continue;
            }
            const auto step = static_cast<std::uint64_t>(positions[e]) % order;
            std::uint64_t exponent = field.Log(static_cast<std::uint32_t>(values[e]));
            for (std::int32_t i = 0; i < 2 * t; ++i) {
                exponent += step;
                exponent -= exponent >= order ? order : 0;
                syndromes[static_cast<std::size_t>(i)] ^= field.PowerBelowOrder(exponent);
            }
        }
    } else {
        std::int32_t previous = 0;
        std::uint32_t previousStep = 1;
        for (std::int32_t e = 0; e < count; ++e) {
            RS_ASSERT(positions[e] >= 0 && positions[e] < n && values[e] >= 0 && values[e] <= n,
                      "an error lies at a position of the code and is a symbol of the field");
            // Without tables alpha^p costs a product per bit of p; from the hit before,
            // positions being in order, only one per bit of the gap.
            const std::int32_t position = positions[e];
            const std::uint32_t step =
                position < previous
                    ? field.AlphaPower(static_cast<std::uint64_t>(position))
                    : field.Multiply(
                          previousStep,
                          field.AlphaPower(static_cast<std::uint64_t>(position - previous)));
            previous = position;
            previousStep = step;
            auto term = static_cast<std::uint32_t>(values[e]);
            for (std::int32_t i = 0; i < 2 * t; ++i) {
                term = field.Multiply(term, step);
                syndromes[static_cast<std::size_t>(i)] ^= term;
            }
        }
    }
    locatorDegree = 0;
    erasureCount = 0;
    usableRoots = 0;
    roots.clear();
    return std::all_of(syndromes.begin(), syndromes.end(), [](std::uint32_t s) { return s == 0; });
}

template <typename Field>
typename AlgebraicDecoder<Field>::Poly AlgebraicDecoder<Field>::Take(std::size_t size) {
    Poly p;
    if (!pool.empty()) {
        p = std::move(pool.back());
        pool.pop_back();
    }
    p.assign(size, 0);
    return p;
}

template <typename Field>
void AlgebraicDecoder<Field>::Give(Poly& p) {
    pool.push_back(std::move(p));
}

template <typename Field>
void AlgebraicDecoder<Field>::Trim(Poly& p) const {
    while (!p.empty() && p.back() == 0) {
        p.pop_back();
    }
}

template <typename Field>
void AlgebraicDecoder<Field>::Reduce(Poly& a, const Poly& b) const {
    Trim(a);
    const std::size_t db = b.size() - 1;
    const std::uint32_t lead = b.back();
    while (a.size() > db) {
        const std::uint32_t factor = field.Divide(a.back(), lead);
        const std::size_t shift = a.size() - 1 - db;
        for (std::size_t i = 0; i <= db; ++i) {
            a[shift + i] ^= field.Multiply(factor, b[i]);
        }
        Trim(a);
    }
}

template <typename Field>
void AlgebraicDecoder<Field>::Divide(Poly& a, const Poly& b, Poly& quotient) const {
    Trim(a);
    const std::size_t db = b.size() - 1;
    const std::uint32_t lead = b.back();
    quotient.assign(a.size() >= b.size() ? a.size() - db : 1, 0);
    while (a.size() > db) {
        const std::uint32_t factor = field.Divide(a.back(), lead);
        const std::size_t shift = a.size() - 1 - db;
        quotient[shift] = factor;
        for (std::size_t i = 0; i <= db; ++i) {
            a[shift + i] ^= field.Multiply(factor, b[i]);
        }
        Trim(a);
    }
    Trim(quotient);
}

template <typename Field>
void AlgebraicDecoder<Field>::Gcd(Poly& a, Poly& b) const {
    Trim(a);
    Trim(b);
    while (!b.empty()) {
        Reduce(a, b);
        std::swap(a, b);
    }
}

// a^2 mod modulus: in characteristic 2 squaring spreads the squared coefficients.
template <typename Field>
void AlgebraicDecoder<Field>::SquareModulo(Poly& a, const Poly& modulus, Poly& scratch) const {
    scratch.assign(a.empty() ? 0 : 2 * a.size() - 1, 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        scratch[2 * i] = field.Multiply(a[i], a[i]);
    }
    Reduce(scratch, modulus);
    std::swap(a, scratch);
}

template <typename Field>
void AlgebraicDecoder<Field>::Split(const Poly& g, std::int32_t fromBasis) {
    if (g.size() == 2) {
        rootValues.push_back(field.Divide(g[0], g[1]));  // g1 x + g0 vanishes at g0 / g1
        return;
    }
    Poly power = Take(0);
    Poly trace = Take(0);
    Poly scratch = Take(0);
    Poly part = Take(0);
    for (std::int32_t j = fromBasis; j < field.GetM(); ++j) {
        // Tr(beta x) mod g = sum of (beta x)^(2^i), i = 0..m-1.
        power.assign({0, field.AlphaPower(static_cast<std::uint64_t>(j))});
        Reduce(power, g);
        trace.assign(power.begin(), power.end());
        for (std::int32_t i = 1; i < field.GetM(); ++i) {
            SquareModulo(power, g, scratch);
            trace.resize(std::max(trace.size(), power.size()), 0);
            for (std::size_t c = 0; c < power.size(); ++c) {
                trace[c] ^= power[c];
            }
        }
        part.assign(g.begin(), g.end());
        Gcd(part, trace);
        if (part.size() > 1 && part.size() < g.size()) {
            // g / part, with scratch holding what is left of g.
            scratch.assign(g.begin(), g.end());
            Divide(scratch, part, power);
            Split(part, j + 1);
            Split(power, j + 1);
            break;
        }
    }
    Give(power);
    Give(trace);
    Give(scratch);
    Give(part);
}

template <typename Field>
void AlgebraicDecoder<Field>::FindRoots(std::span<const std::int32_t> erasures) {
    // The codec's locator: the errata locator given erasures (codec/erasures.h).
    RS_ASSERT(ErasureList(erasures, sentLength, t),
              "erasures are at most 2t distinct sent positions, increasing");
    const auto s = static_cast<std::int32_t>(erasures.size());
    erasureCount = s;
    std::int32_t L = 0;
    if (s == 0) {
        L = RunBerlekampMassey(field, syndromes.data(), 2 * t, locator.data(), correction.data());
        locatorDegree = L;
    } else {
        ErasureLocator(
            field, erasures,
            [this](std::int32_t p) { return field.AlphaPower(static_cast<std::uint64_t>(p)); },
            erasureLocator.data());
        ModifiedSyndromes(field, syndromes.data(), erasureLocator.data(), s, t,
                          modifiedSyndromes.data());
        locatorDegree = RunBerlekampMassey(field, modifiedSyndromes.data(), 2 * t - s,
                                           locator.data(), correction.data());
        TimesErasureLocator(field, locator.data(), locatorDegree, erasureLocator.data(), s);
        L = locatorDegree + s;
    }
    rootValues.clear();
    Poly lambda = Take(0);
    lambda.assign(locator.begin(), locator.begin() + L + 1);
    Trim(lambda);
    if (lambda.size() >= 2) {
        // x^(2^m) mod Lambda by m squarings, then the distinct roots: gcd with x^(2^m) + x.
        Poly power = Take(0);
        Poly scratch = Take(0);
        power.assign({0, 1});
        Reduce(power, lambda);
        for (std::int32_t i = 0; i < field.GetM(); ++i) {
            SquareModulo(power, lambda, scratch);
        }
        power.resize(std::max<std::size_t>(power.size(), 2), 0);
        power[1] ^= 1;
        scratch.assign(lambda.begin(), lambda.end());
        Gcd(scratch, power);  // the distinct roots' product
        if (scratch.size() >= 2) {
            Split(scratch, 0);
        }
        Give(power);
        Give(scratch);
    }
    Give(lambda);
    usableRoots = 0;

    // Forney's values exactly as the codec computes them.
    Poly evaluator = Take(static_cast<std::size_t>(2 * t));
    TruncatedEvaluator(field, syndromes.data(), locator.data(), L, t, evaluator.data());
    Poly derivative = Take(static_cast<std::size_t>(std::max(L, 1)));
    FormalDerivative(locator.data(), L, derivative.data());
    for (const std::uint32_t x : rootValues) {
        const std::uint32_t w = EvaluateAt(field, evaluator.data(), 2 * t - 1, x);
        const std::uint32_t d = EvaluateAt(field, derivative.data(), L - 1, x);
        // x = alpha^(-p), so p = -log x mod n.
        const auto logarithm = static_cast<std::int64_t>(field.Log(x));
        const auto position = static_cast<std::int32_t>((n - logarithm) % n);
        const auto value = static_cast<Symbol>(field.Divide(w, d));
        roots.push_back({position, value});
        const bool erased =
            s != 0 && std::binary_search(erasures.begin(), erasures.end(), position);
        usableRoots += UsableRoot(position, sentLength, value, erased) ? 1 : 0;
    }
    Give(evaluator);
    Give(derivative);
}

template class AlgebraicDecoder<LargeField>;
template class AlgebraicDecoder<TabledField>;

}  // namespace rs
