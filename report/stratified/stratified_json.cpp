#include "report/stratified/stratified_json.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "report/documents/json_document.h"
#include "report/text/channel_text.h"
#include "rs_sim/simulator.h"

namespace rs {

const std::array<std::pair<rs_sim::Rate, const char*>, rs_sim::kRateCount> kRateNames = {{
    {rs_sim::Rate::kFER, "FER"},
    {rs_sim::Rate::kSER, "SER"},
    {rs_sim::Rate::kBER, "BER"},
    {rs_sim::Rate::kFailure, "failureRate"},
    {rs_sim::Rate::kMiscorrection, "miscorrectionRate"},
}};

double Log10(double logValue) {
    return logValue / std::log(10.0);
}

double ChannelSER(const rs_sim::StratifiedPoint& point, const rs_sim::Channel& channel) {
    return IsDefaultChannel(channel) ? point.P0 : point.channelSER;
}

double PlainValue(double logValue) {
    if (logValue == -std::numeric_limits<double>::infinity()) {
        return 0.0;
    }
    const double value = std::exp(logValue);
    return value >= std::numeric_limits<double>::min() ? value
                                                       : std::numeric_limits<double>::quiet_NaN();
}

double LogTailShare(const rs_sim::StratifiedResults& result) {
    double share = -std::numeric_limits<double>::infinity();
    for (const rs_sim::StratifiedPoint& point : result.points) {
        for (const rs_sim::Rate rate :
             {rs_sim::Rate::kFER, rs_sim::Rate::kSER, rs_sim::Rate::kBER}) {
            const double value = point.rates[static_cast<std::size_t>(rate)].value;
            if (std::isfinite(value)) {
                share = std::max(share, point.tail - value);
            }
        }
    }
    return share;
}

namespace {

// JSON has no NaN or infinity: those are null.
nlohmann::ordered_json Number(double value) {
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json();
}

std::string Capitalized(const char* name) {
    std::string text(name);
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// "log10" and the name with its first letter capital: log10FER, log10FailureRate.
std::string LogName(const char* name, const char* side = "") {
    const std::string base(name);
    return std::string("log10")
        .append(base[0] >= 'a' && base[0] <= 'z' ? Capitalized(name) : base)
        .append(side);
}

// How the run sampled: its seed, samples or precision, the interval, the weights and the time.
nlohmann::ordered_json SamplingJson(const StratifiedAsk& ask,
                                    const rs_sim::StratifiedResults& result, std::int64_t patterns,
                                    double seconds) {
    nlohmann::ordered_json sampling = {{"seed", ask.seed}};
    if (ask.samples) {
        sampling["samples"] = *ask.samples;
    } else {
        sampling["precision"] = ask.precision;
        sampling["precise"] = result.precise;
    }
    sampling["confidence"] = result.confidence;
    sampling["interval"] =
        result.strata.empty() && std::all_of(result.pointWeights.begin(), result.pointWeights.end(),
                                             [](const auto& own) { return own.strata.empty(); })
            ? "Clopper-Pearson per weight for block rates, standard errors for symbol and bit "
              "rates, each side added in quadrature over the weights; the upper end includes "
              "the unsampled weights' bound"
            : "Clopper-Pearson per stratum for block rates, standard errors for symbol and bit "
              "rates, each side added in quadrature over the strata; the upper end includes "
              "the unsampled strata's bound";
    sampling["firstWeight"] = result.firstWeight;
    sampling["lastWeight"] = result.lastWeight;
    sampling["patterns"] = patterns;
    sampling["log10TailShare"] = Number(Log10(LogTailShare(result)));
    sampling["seconds"] = seconds;
    return sampling;
}

nlohmann::ordered_json StratifiedPointJson(const rs_sim::StratifiedPoint& point,
                                           const rs_sim::Channel& channel) {
    nlohmann::ordered_json json = {{"P0", point.P0}, {"channelSER", ChannelSER(point, channel)}};
    if (CountsChannelBits(channel)) {
        json["channelBER"] = Number(point.channelBER);
    }
    if (point.eraseBelow) {
        json["eraseBelow"] = *point.eraseBelow;
    }
    for (const auto& [rate, name] : kRateNames) {
        const rs_sim::LogEstimate& e = point.rates[static_cast<std::size_t>(rate)];
        const std::string base(name);
        json[base] = Number(PlainValue(e.value));
        json[base + "Low"] = Number(PlainValue(e.low));
        json[base + "High"] = Number(PlainValue(e.high));
        json[LogName(name)] = Number(Log10(e.value));
        json[LogName(name, "Low")] = Number(Log10(e.low));
        json[LogName(name, "High")] = Number(Log10(e.high));
    }
    json["theoryFER"] = Number(PlainValue(point.theoryFER));
    json["log10TheoryFER"] = Number(Log10(point.theoryFER));
    json["log10Tail"] = Number(Log10(point.tail));
    return json;
}

// A per-weight table: a row for each weight from firstWeight, its tallies and its rates; or,
// with strata, a row for each stratum, named by its errors e and erasures s.
nlohmann::ordered_json WeightsJson(
    std::int32_t firstWeight, const std::vector<rs_sim::WeightTally>& tallies,
    const std::vector<std::array<rs_sim::Estimate, rs_sim::kRateCount>>& rates,
    const std::vector<rs_sim::StratumKey>& strata) {
    nlohmann::ordered_json table = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < tallies.size() && i < rates.size(); ++i) {
        const rs_sim::WeightTally& tally = tallies[i];
        nlohmann::ordered_json json;
        if (i < strata.size()) {
            json["e"] = strata[i].errors;
            json["s"] = strata[i].erasures;
        } else {
            json["w"] = firstWeight + static_cast<std::int32_t>(i);
        }
        json.update(nlohmann::ordered_json{{"patterns", tally.patterns},
                                           {"errorBlocks", tally.wrongBlocks},
                                           {"errorSymbols", tally.errorSymbols},
                                           {"bitErrors", tally.bitErrors},
                                           {"detectedFailures", tally.failures},
                                           {"miscorrections", tally.miscorrections}});
        for (const auto& [rate, name] : kRateNames) {
            const rs_sim::Estimate& r = rates[i][static_cast<std::size_t>(rate)];
            const std::string base(name);
            json[base] = Number(r.value);
            json[base + "Low"] = Number(r.low);
            json[base + "High"] = Number(r.high);
        }
        table.push_back(std::move(json));
    }
    return table;
}

}  // namespace

nlohmann::ordered_json StratifiedJson(const RunDescription& run, const StratifiedAsk& ask,
                                      const rs_sim::StratifiedResults& result,
                                      std::int64_t patterns, double seconds) {
    nlohmann::ordered_json document = DocumentHead(run, "stratified");
    document["stratified"] = SamplingJson(ask, result, patterns, seconds);
    const bool ownPatterns = !result.pointWeights.empty();
    nlohmann::ordered_json points = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        nlohmann::ordered_json point = StratifiedPointJson(result.points[i], run.channel);
        if (ownPatterns) {
            // A point's own patterns go with it; the document then has no shared table.
            static const rs_sim::WeightSampling kNone;
            const rs_sim::WeightSampling& own =
                i < result.pointWeights.size() ? result.pointWeights[i] : kNone;
            point[own.strata.empty() ? "perWeight" : "perStratum"] =
                WeightsJson(own.firstWeight, own.tallies, own.weightRates, own.strata);
        }
        points.push_back(std::move(point));
    }
    document["points"] = std::move(points);
    if (!ownPatterns) {
        document[result.strata.empty() ? "perWeight" : "perStratum"] =
            WeightsJson(result.firstWeight, result.tallies, result.weightRates, result.strata);
    }
    return document;
}

}  // namespace rs
