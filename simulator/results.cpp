#include "rs_sim/results.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <variant>

#include "simulator/sweep.h"
#include "stats/bounded_distance.h"
#include "stats/channel_model.h"
#include "stats/channel_theory.h"
#include "stats/confidence_interval.h"
#include "stats/erasure_theory.h"

namespace rs_sim {

Interval FrameErrorInterval(std::int64_t errorBlocks, std::int64_t blocks) {
    const rs::Interval interval = rs::ClopperPearson(errorBlocks, blocks);
    return {interval.low, interval.high};
}

double TheoryFER(const CodeFacts& code, double P0) {
    return rs::BoundedDistanceBlockErrorProbability(code.n, code.t, P0);
}

double TheoryFER(const CodeFacts& code, double P0, const Channel& channel,
                 std::int32_t interleave) {
    if (!SendsFrames(channel)) {
        return TheoryFER(code, P0);
    }
    const rs::ChannelAt at =
        rs::ModelChannel(channel, {code.m, code.n, code.t, code.punctured}, P0);
    // With erasures, sent or punctured, the bounded-distance decoder fails when 2e + s > 2t.
    if (at.model && at.model->Memoryless() &&
        (at.model->SymbolErasureProbability(code.m) > 0.0 || code.punctured > 0)) {
        return std::exp(rs::LogErasureBlockErrorProbability(
            code.n, code.t, code.punctured, at.model->SymbolErrorProbability(code.m),
            at.model->SymbolErasureProbability(code.m)));
    }
    // The chain's exact sum takes about n (t + 1) steps; beyond this it would hold the report
    // up longer than most points run.
    constexpr double kLongestChainSum = 1e9;
    if (!at.model || (!at.model->Memoryless() &&
                      static_cast<double>(code.n) * (code.t + 1.0) > kLongestChainSum)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return rs::ChannelBlockErrorProbability(*at.model, code.m, code.n, code.t, interleave);
}

CodeFacts FactsOf(std::int32_t m, std::int32_t t, std::optional<std::int32_t> length,
                  std::int32_t punctured) {
    CodeFacts facts;
    facts.m = m;
    facts.t = t;
    facts.n = length.value_or(static_cast<std::int32_t>((std::int64_t{1} << m) - 1));
    facts.k = facts.n - 2 * t;
    facts.q = static_cast<std::int32_t>(std::int64_t{1} << m);
    facts.punctured = punctured;
    facts.rate = static_cast<double>(facts.k) / static_cast<double>(facts.n - punctured);
    return facts;
}

PointResult DerivePoint(float P0, const Counts& counts, const CodeFacts& code, double seconds) {
    return DerivePoint(P0, counts, code, seconds, QarySymmetricChannel{}, 1);
}

PointResult DerivePoint(float P0, const Counts& counts, const CodeFacts& code, double seconds,
                        const Channel& channel, std::int32_t interleave) {
    const rs::PointStatistics statistics{
        counts.blocks,         counts.errorBlocks,      counts.channelErrors,
        counts.errorSymbols,   counts.bitErrors,        counts.failures,
        counts.miscorrections, counts.channelBitErrors, counts.errorBlockSquares};
    // The channel's rates are over the symbols sent, the punctured parity not among them.
    const std::int32_t sent = code.n - code.punctured;
    const rs::PointRates rates = rs::ComputeRates(statistics, sent, code.k);
    PointResult result;
    result.P0 = P0;
    result.counts = counts;
    result.channelSER = rates.channelSER;
    result.FER = rates.FER;
    // The codewords of a frame share its channel: frames are the independent trials.
    const rs::Interval interval = interleave > 1
                                      ? rs::ClusteredInterval(counts.errorBlocks, counts.blocks,
                                                              counts.errorBlockSquares, interleave)
                                      : rs::ClopperPearson(counts.errorBlocks, counts.blocks);
    result.FERLow = interval.low;
    result.FERHigh = interval.high;
    result.transmittedSymbols = rates.transmittedSymbols;
    result.SER = rates.SER;
    const rs::Interval symbols = rs::SymbolErrorInterval(
        counts.errorSymbols, rates.transmittedSymbols, counts.errorSymbolSquares,
        std::int64_t{code.k} * std::max(interleave, 1));
    result.SERLow = symbols.low;
    result.SERHigh = symbols.high;
    result.BER = static_cast<double>(counts.bitErrors) /
                 (static_cast<double>(rates.transmittedSymbols) * static_cast<double>(code.m));
    result.channelBER = std::numeric_limits<double>::quiet_NaN();
    result.theoryFER = TheoryFER(code, static_cast<double>(P0), channel, interleave);
    if (const auto* bpsk = std::get_if<BpskAwgnChannel>(&channel); bpsk && bpsk->eraseBelow) {
        const rs::ChannelAt at = rs::ModelChannel(channel, {code.m, code.n, code.t, code.punctured},
                                                  static_cast<double>(P0));
        if (at.model) {
            result.eraseBelow = at.model->threshold;
        }
    }
    if (rs::FlipsBits(channel)) {
        result.channelBER = static_cast<double>(counts.channelBitErrors) /
                            (static_cast<double>(counts.blocks) * sent * code.m);
    }
    result.seconds = seconds;
    return result;
}

}  // namespace rs_sim
