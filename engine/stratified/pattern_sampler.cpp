#include "engine/stratified/pattern_sampler.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "base/contract.h"
#include "engine/channel/frame_receiver.h"
#include "random/philox_stream.h"
#include "stats/binomial_weights.h"

namespace rs {

namespace {

// Codes up to this length mark taken positions in a table of their own.
constexpr std::int32_t kMarkedLength = std::int32_t{1} << 20;

}  // namespace

PatternSampler::PatternSampler(const StratifiedCode& code, const DrawKernel& kernel)
    : q(std::int32_t{1} << code.m),
      m(code.m),
      punctured(code.punctured),
      deliverReceived(code.deliverReceived),
      t(code.t) {
    RS_ASSERT(code.bitError >= 0.0 && code.bitUnreliable >= 0.0 &&
                  code.bitError + code.bitUnreliable <= 1.0,
              "a bit is wrong and reliable, unreliable or right: probabilities of 0..1");
    RS_ASSERT(code.punctured >= 0 && code.punctured <= 2 * code.t, "at most the parity punctured");
    if (code.bitError > 0.0) {
        // ln of C(m, c) p^c (1 - p - u)^(m - c), so that no term underflows before the sum.
        const double p = code.bitError;
        const double right = p + code.bitUnreliable;
        const double logRight = right < 1.0 ? std::log1p(-right) : kLogZero;
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
    PickSubset(stream, counter->N(), weight);
    values.clear();
    for (std::size_t i = 0; i < positions.size(); ++i) {
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
        AddToTally(counter->DecodePattern(pattern.positions.data(), pattern.values.data(), weight),
                   tally);
    }
}

void PatternSampler::AddToTally(const BlockOutcome& outcome, WeightTally& tally) {
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

void PatternSampler::PickSubset(PhiloxStream& stream, std::int32_t from, std::int32_t count) {
    positions.clear();
    // Floyd: for j = from - count .. from - 1, take a uniform r in 0..j, or j itself when r is
    // taken. Taken positions are marked by position in codes of moderate length, and looked up
    // among the few taken in longer ones.
    const bool marked = !chosen.empty();
    for (std::int32_t j = from - count; j < from; ++j) {
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
    if (marked) {
        for (const std::int32_t p : positions) {
            chosen[static_cast<std::size_t>(p)] = 0;
        }
    }
}

PatternSampler::StratumSample PatternSampler::CountStratum(std::uint32_t seed, std::int32_t errors,
                                                           std::int32_t erasures,
                                                           std::uint64_t sample) {
    const std::int32_t n = counter->N();
    const std::int32_t sent = n - punctured;
    const std::int32_t events = errors + erasures;
    RS_ASSERT(errors >= 0 && erasures >= 0 && events >= 1 && events <= sent,
              "a stratum's errors and erasures fall on distinct sent positions");
    PhiloxStream stream(seed, static_cast<std::uint32_t>(events), sample,
                        static_cast<std::uint32_t>(erasures) + 1);
    const std::int32_t twoT = 2 * t;
    // The sent positions hit, as codeword positions (the punctured parity skipped); the mapping
    // keeps their order.
    PickSubset(stream, sent, events);
    picked.clear();
    for (const std::int32_t j : positions) {
        picked.push_back(CarriedPosition(j, twoT, punctured));
    }
    // Which of them are erased: a uniform subset of the picks, by their order.
    PickSubset(stream, events, erasures);
    erasedPick.assign(static_cast<std::size_t>(events), 0);
    for (const std::int32_t i : positions) {
        erasedPick[static_cast<std::size_t>(i)] = 1;
    }
    positions.clear();
    values.clear();
    erasureList.clear();
    bool puncturesListed = false;
    for (std::int32_t i = 0; i < events; ++i) {
        const std::int32_t position = picked[static_cast<std::size_t>(i)];
        if (erasedPick[static_cast<std::size_t>(i)] == 0) {
            positions.push_back(position);
            values.push_back(
                flipsAtMost.empty()
                    ? static_cast<Symbol>(stream.Below(static_cast<std::uint32_t>(q - 1)) + 1)
                    : BitFlips(stream));
            continue;
        }
        // The punctured parity, 2t - punctured .. 2t - 1, sits between the erasures below it
        // and those above.
        if (!puncturesListed && position >= twoT) {
            for (std::int32_t p = twoT - punctured; p < twoT; ++p) {
                erasureList.push_back(p);
            }
            puncturesListed = true;
        }
        erasureList.push_back(position);
    }
    if (!puncturesListed) {
        for (std::int32_t p = twoT - punctured; p < twoT; ++p) {
            erasureList.push_back(p);
        }
    }
    const auto s = static_cast<std::int32_t>(erasureList.size());
    StratumSample result{{errors, 0, 0, false}, positions, values, erasureList};
    if (2 * errors + s <= twoT) {
        return result;  // within the decoder's reach: right and unflagged
    }
    if (s <= twoT) {
        result.outcome =
            counter->DecodePattern(positions.data(), values.data(), errors, erasureList);
        if (!result.outcome.failure || !deliverReceived) {
            return result;
        }
    }
    // Flagged, and delivering the received information (a block with more erasures than 2t
    // cannot be decoded and always does): wrong where the channel erred or erased it, an
    // erased symbol delivered as 0 and so wrong in the bits of the uniform symbol sent.
    BlockOutcome delivered{errors, 0, 0, true};
    if (s <= twoT) {
        delivered.deliveredReceived = true;
        delivered.decodedWrong = result.outcome.errorSymbols != 0;
    }
    const std::int32_t infoStart = n - counter->K();
    for (std::int32_t e = 0; e < errors; ++e) {
        if (positions[static_cast<std::size_t>(e)] >= infoStart) {
            ++delivered.errorSymbols;
            delivered.bitErrors +=
                std::popcount(static_cast<std::uint32_t>(values[static_cast<std::size_t>(e)]));
        }
    }
    for (const std::int32_t erasure : erasureList) {
        if (erasure >= infoStart) {
            ++delivered.errorSymbols;
            delivered.bitErrors += std::popcount(stream.Next() >> (32 - m));
        }
    }
    result.outcome = delivered;
    return result;
}

void PatternSampler::SampleStratum(std::uint32_t seed, std::int32_t errors, std::int32_t erasures,
                                   std::uint64_t first, std::uint64_t count, WeightTally& tally) {
    for (std::uint64_t s = first; s < first + count; ++s) {
        AddToTally(CountStratum(seed, errors, erasures, s).outcome, tally);
    }
}

}  // namespace rs
