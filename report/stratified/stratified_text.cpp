#include "report/stratified/stratified_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "report/text/channel_text.h"
#include "report/text/number_format.h"

namespace rs {

namespace {

std::string Estimate(const rs_sim::LogEstimate& estimate) {
    return FormatLogScientific2(estimate.value) + "  (" + FormatLogScientific2(estimate.low) +
           " .. " + FormatLogScientific2(estimate.high) + ")";
}

const rs_sim::LogEstimate& Of(const rs_sim::StratifiedPoint& point, rs_sim::Rate rate) {
    return point.rates[static_cast<std::size_t>(rate)];
}

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

constexpr const char* kWeightColumns =
    "     w    patterns  error blocks  error symbols    bit errors  detected failures  "
    "miscorrections\n";

constexpr const char* kStratumColumns =
    "     e     s    patterns  error blocks  error symbols    bit errors  detected failures  "
    "miscorrections\n";

// The rows of a weight table, weight firstWeight + i at i, or of a strata table, stratum i at i.
std::string WeightRows(std::int32_t firstWeight, const std::vector<rs_sim::WeightTally>& tallies,
                       const std::vector<rs_sim::StratumKey>& strata) {
    std::string text;
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        const rs_sim::WeightTally& tally = tallies[i];
        text += (i < strata.size()
                     ? Padded(std::to_string(strata[i].errors), 6) +
                           Padded(std::to_string(strata[i].erasures), 6)
                     : Padded(std::to_string(firstWeight + static_cast<std::int32_t>(i)), 6)) +
                Padded(std::to_string(tally.patterns), 12) +
                Padded(std::to_string(tally.wrongBlocks), 14) +
                Padded(std::to_string(tally.errorSymbols), 15) +
                Padded(std::to_string(tally.bitErrors), 14) +
                Padded(std::to_string(tally.failures), 18) +
                Padded(std::to_string(tally.miscorrections), 16) + "\n";
    }
    return text;
}

// Whether any point had a weight to sample, in the shared tallies or in a point's own.
bool AnyWeightSampled(const rs_sim::StratifiedResults& result) {
    return !result.tallies.empty() ||
           std::any_of(result.pointWeights.begin(), result.pointWeights.end(),
                       [](const rs_sim::WeightSampling& own) { return !own.tallies.empty(); });
}

// The lines every sampled run opens with: what it sampled (strata or weights, the unit), how
// many patterns and from which seed, its samples or precision, and its intervals.
std::string SamplingText(const StratifiedAsk& ask, const rs_sim::StratifiedResults& result,
                         std::int64_t patterns, bool ownPatterns, const std::string& method,
                         const std::string& unit) {
    std::string text = "Method: " + method + std::to_string(result.firstWeight) + " to " +
                       std::to_string(result.lastWeight) + ", " + std::to_string(patterns) +
                       " decoded error patterns" + (ownPatterns ? ", each point its own" : "") +
                       ", seed " + std::to_string(ask.seed) + "\n";
    text += ask.samples
                ? "Samples: " + std::to_string(*ask.samples) + " patterns per " + unit +
                      (ownPatterns ? " at each point" : "") + "\n"
                : "Precision: every FER, SER and BER within " +
                      FormatFixed2(100.0 * ask.precision) + " % at 95 % confidence" +
                      (result.precise ? "" : " (not reached: a " + unit + " hit its limit)") + "\n";
    return text + "Intervals: 95 %, Clopper-Pearson per " + unit +
           " for block rates and standard errors for symbol and bit rates, added in "
           "quadrature\n";
}

}  // namespace

std::string StratifiedMethodText(const StratifiedAsk& ask, const rs_sim::StratifiedResults& result,
                                 std::int64_t patterns) {
    if (!AnyWeightSampled(result)) {
        return "Method: weight-stratified estimation; no weight sampled, as no P0 makes more "
               "errors than the code corrects\n";
    }
    // Where a wrong symbol's value depends on the point, each point draws patterns of its own,
    // and the weights span every point's.
    const bool ownPatterns = !result.pointWeights.empty();
    const bool strata =
        !result.strata.empty() ||
        std::any_of(result.pointWeights.begin(), result.pointWeights.end(),
                    [](const rs_sim::WeightSampling& own) { return !own.strata.empty(); });
    if (strata) {
        return SamplingText(ask, result, patterns, ownPatterns,
                            "stratified estimation by errors e and erasures s, e + s from ",
                            "stratum") +
               "Strata left out hold at most " + FormatLogScientific2(LogTailShare(result)) +
               " of any rate, included in the upper ends\n";
    }
    std::string text = SamplingText(ask, result, patterns, ownPatterns,
                                    "weight-stratified estimation, weights ", "weight");
    if (ownPatterns) {
        // Each point leaves out weights of its own, which the span does not name.
        return text + "Weights a point left out hold at most " +
               FormatLogScientific2(LogTailShare(result)) +
               " of any rate there, included in the upper ends\n";
    }
    // The weights above t left out: above the last, and below the first where the binomial
    // mass there is negligible.
    const std::string below = result.firstWeight > result.t + 1
                                  ? "below " + std::to_string(result.firstWeight) + " and "
                                  : std::string();
    text += std::string("Weights ")
                .append(below)
                .append("above " + std::to_string(result.lastWeight) + " hold at most ")
                .append(FormatLogScientific2(LogTailShare(result)))
                .append(" of any rate, included in the upper ends\n");
    return text;
}

std::string StratifiedPointText(const rs_sim::StratifiedPoint& point,
                                const rs_sim::Channel& channel) {
    const std::string heading = SweptValueText(point.P0, channel);
    std::string text =
        "\n" + heading + "   Bounded-distance FER=" + FormatLogScientific2(point.theoryFER);
    if (!IsDefaultChannel(channel)) {
        text += "\nChannel SER=" + FormatScientific2(point.channelSER);
        if (CountsChannelBits(channel)) {
            text += "   Channel BER=" + FormatScientific2(point.channelBER);
        }
        if (point.eraseBelow) {
            text += "   Erase below=" + FormatScientific2(*point.eraseBelow);
        }
    }
    return text + "\nFER=" + Estimate(Of(point, rs_sim::Rate::kFER)) +
           "\nSER=" + Estimate(Of(point, rs_sim::Rate::kSER)) +
           "\nBER=" + Estimate(Of(point, rs_sim::Rate::kBER)) +
           "\nDetected failures=" + Estimate(Of(point, rs_sim::Rate::kFailure)) +
           "\nMiscorrections=" + Estimate(Of(point, rs_sim::Rate::kMiscorrection)) + "\n";
}

std::string PerWeightText(const rs_sim::StratifiedResults& result, const rs_sim::Channel& channel) {
    if (result.pointWeights.empty()) {
        return result.strata.empty()
                   ? std::string("\nPer weight:\n") + kWeightColumns +
                         WeightRows(result.firstWeight, result.tallies, result.strata)
                   : std::string("\nPer stratum:\n") + kStratumColumns +
                         WeightRows(result.firstWeight, result.tallies, result.strata);
    }
    std::string text;
    for (std::size_t i = 0; i < result.points.size() && i < result.pointWeights.size(); ++i) {
        const rs_sim::WeightSampling& own = result.pointWeights[i];
        text += std::string(own.strata.empty() ? "\nPer weight at " : "\nPer stratum at ") +
                SweptValueText(result.points[i].P0, channel) + ":";
        text += own.tallies.empty()
                    ? std::string(" no weight sampled\n")
                    : "\n" + std::string(own.strata.empty() ? kWeightColumns : kStratumColumns) +
                          WeightRows(own.firstWeight, own.tallies, own.strata);
    }
    return text;
}

}  // namespace rs
