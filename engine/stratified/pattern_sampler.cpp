#include "engine/stratified/pattern_sampler.h"

#include <algorithm>
#include <cmath>

#include "base/contract.h"
#include "random/philox_stream.h"
#include "stats/binomial_weights.h"

namespace rs {

namespace {

// Codes up to this length mark taken positions in a table of their own.
constexpr std::int32_t kMarkedLength = std::int32_t{1} << 20;

}  // namespace

PatternSampler::PatternSampler(const StratifiedCode& code, const DrawKernel& kernel)
    : q(std::int32_t{1} << code.m), m(code.m) {
    RS_ASSERT(code.bitError >= 0.0 && code.bitError <= 1.0, "a bit error probability is 0..1");
    if (code.bitError > 0.0) {
        // ln of C(m, c) p^c (1 - p)^(m - c), so that no term underflows before the sum.
        const double p = code.bitError;
        const double logRight = p < 1.0 ? std::log1p(-p) : kLogZero;
        std::vector<double> logTerms;
        for (std::int32_t c = 1; c <= m; ++c) {
            logTerms.push_back(std::lgamma(m + 1.0) - std::lgamma(c + 1.0) -
                               std::lgamma(m - c + 1.0) + c * std::log(p) +
                               (c == m ? 0.0 : (m - c) * logRight));
        }
        const double largest = *std::max_element(logTerms.begin(), logTerms.end());
        double sum = 0.0;
        for (const double logTerm : logTerms) {
            sum += std::exp(logTerm - largest);
            flipsAtMost.push_back(sum);
        }
        for (double& share : flipsAtMost) {
            share /= sum;
        }
        flipsAtMost.back() = 1.0;
    }
    if (code.tabled) {
        codec = std::make_unique<ReedSolomonCodec>();
        codec->Configure(code.m, code.t);
        counter = std::make_unique<BlockCounter>(*codec, code.m, kernel, code.length);
    } else {
        counter = std::make_unique<BlockCounter>(code.m, code.t, code.length);
    }
    if (counter->N() <= kMarkedLength) {
        chosen.assign(static_cast<std::size_t>(counter->N()), 0);
    }
}

PatternSampler::Pattern PatternSampler::Draw(std::uint32_t seed, std::int32_t weight,
                                             std::uint64_t sample) {
    RS_ASSERT(weight >= 1 && weight <= counter->N(), "a pattern's weight is 1..n");
    PhiloxStream stream(seed, static_cast<std::uint32_t>(weight), sample);
    const std::int32_t n = counter->N();
    positions.clear();
    // Floyd: for j = n - w .. n - 1, take a uniform r in 0..j, or j itself when r is taken.
    // Taken positions are marked by position in codes of moderate length, and looked up among
    // the few taken in longer ones.
    const bool marked = !chosen.empty();
    for (std::int32_t j = n - weight; j < n; ++j) {
        auto r = static_cast<std::int32_t>(stream.Below(static_cast<std::uint32_t>(j) + 1));
        if (marked ? chosen[static_cast<std::size_t>(r)] != 0
                   : std::find(positions.begin(), positions.end(), r) != positions.end()) {
            r = j;
        }
        if (marked) {
            chosen[static_cast<std::size_t>(r)] = 1;
        }
        positions.push_back(r);
    }
    std::sort(positions.begin(), positions.end());
    values.clear();
    for (const std::int32_t p : positions) {
        if (marked) {
            chosen[static_cast<std::size_t>(p)] = 0;
        }
        values.push_back(
            flipsAtMost.empty()
                ? static_cast<Symbol>(stream.Below(static_cast<std::uint32_t>(q - 1)) + 1)
                : BitFlips(stream));
    }
    return {positions, values};
}

Symbol PatternSampler::BitFlips(PhiloxStream& stream) const {
    const double u = stream.UniformOpenBelow();
    // The first c whose P(at most c bits) reaches u: u is in (0, 1], and the last share is 1.
    const auto flips = static_cast<std::int32_t>(
        std::lower_bound(flipsAtMost.begin(), flipsAtMost.end(), u) - flipsAtMost.begin() + 1);
    // Floyd again, over the m bits.
    std::uint32_t value = 0;
    for (std::int32_t j = m - flips; j < m; ++j) {
        auto bit = static_cast<std::int32_t>(stream.Below(static_cast<std::uint32_t>(j) + 1));
        if ((value >> static_cast<std::uint32_t>(bit) & 1U) != 0) {
            bit = j;
        }
        value |= 1U << static_cast<std::uint32_t>(bit);
    }
    return static_cast<Symbol>(value);
}

void PatternSampler::Sample(std::uint32_t seed, std::int32_t weight, std::uint64_t first,
                            std::uint64_t count, WeightTally& tally) {
    for (std::uint64_t s = first; s < first + count; ++s) {
        const Pattern pattern = Draw(seed, weight, s);
        const BlockOutcome outcome =
            counter->DecodePattern(pattern.positions.data(), pattern.values.data(), weight);
        ++tally.patterns;
        tally.errorSymbols += outcome.errorSymbols;
        tally.errorSymbolsSquared +=
            std::int64_t{outcome.errorSymbols} * std::int64_t{outcome.errorSymbols};
        tally.bitErrors += outcome.bitErrors;
        tally.bitErrorsSquared += outcome.bitErrors * outcome.bitErrors;
        const BlockVerdict verdict = Judge(outcome);
        tally.failures += verdict.flagged ? 1 : 0;
        tally.wrongBlocks += verdict.wrong ? 1 : 0;
        tally.miscorrections += verdict.miscorrected ? 1 : 0;
    }
}

}  // namespace rs
