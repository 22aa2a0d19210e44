#include "engine/stratified/pattern_sampler.h"

#include <algorithm>

#include "base/contract.h"
#include "random/philox_stream.h"

namespace rs {

namespace {

// Codes up to this length mark taken positions in a table of their own.
constexpr std::int32_t kMarkedLength = std::int32_t{1} << 20;

}  // namespace

PatternSampler::PatternSampler(const StratifiedCode& code, const DrawKernel& kernel)
    : q(std::int32_t{1} << code.m) {
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
        values.push_back(static_cast<Symbol>(stream.Below(static_cast<std::uint32_t>(q - 1)) + 1));
    }
    return {positions, values};
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
