#include "report/documents/json_report.h"
#include "rs_sim/experiment.h"

#include <utility>
#include <variant>

#include "report/text/channel_text.h"
#include "report/text/number_format.h"
#include "rs_sim/simulator.h"

namespace rs {

namespace {

// Small documents are written after every point. A document this large is rewritten only
// once the sweep has run at least as long as the last rewrite took, so that a sweep of many
// very short points spends at most about half its time rewriting the file.
constexpr std::size_t kAlwaysWriteBelow = 1 << 16;

}  // namespace

nlohmann::ordered_json ExperimentJson(const RunDescription& run) {
    const SimulationParameters& p = run.parameters;
    nlohmann::ordered_json experiment = {{"Pmax", rs_sim::ShortestDecimal(p.Pmax)},
                                         {"Pmin", rs_sim::ShortestDecimal(p.Pmin)},
                                         {"Pstep", rs_sim::ShortestDecimal(p.Pstep)},
                                         {"maxBlocks", p.maxBlocks},
                                         {"maxErrorBlocks", p.maxErrorBlocks},
                                         {"M", p.M},
                                         {"T", p.T},
                                         {"seed", run.seed}};
    if (run.length) {
        experiment["length"] = *run.length;
    }
    if (run.independentPoints) {
        experiment["independentPoints"] = true;
    }
    if (!IsDefaultChannel(run.channel)) {
        experiment["channel"] = ChannelJson(run.channel);
        experiment["interleave"] = run.interleave;
        // Frames draw from Philox keyed by (seed, point), not from the program's generator.
        experiment["generator"] = "philox";
    }
    if (run.code.punctured > 0) {
        experiment["puncture"] = run.code.punctured;
    }
    if (run.onFailure == rs_sim::Experiment::OnFailure::kReceived) {
        experiment["onFailure"] = "received";
    }
    if (run.grid) {
        // The points that run in place of the sweep lines, and how they were asked for.
        nlohmann::ordered_json points = nlohmann::ordered_json::array();
        for (const float P0 : run.grid->values) {
            points.push_back(rs_sim::ShortestDecimal(P0));
        }
        constexpr std::pair<rs_sim::Points::Kind, const char*> kOptions[] = {
            {rs_sim::Points::Kind::kList, "p0"},
            {rs_sim::Points::Kind::kDecades, "p0Decades"},
            {rs_sim::Points::Kind::kEbN0List, "ebn0"},
            {rs_sim::Points::Kind::kEbN0Range, "ebn0Range"}};
        const char* option = "p0";
        for (const auto& [kind, name] : kOptions) {
            option = run.grid->kind == kind ? name : option;
        }
        experiment["grid"] = {{option, run.grid->text},
                              {SweepsEbN0(run.channel) ? "EbN0" : "P0", std::move(points)}};
    }
    return experiment;
}

nlohmann::ordered_json ChannelJson(const rs_sim::Channel& channel) {
    nlohmann::ordered_json json = {{"name", rs_sim::ChannelName(channel)}};
    if (const auto* markov = std::get_if<rs_sim::GilbertElliottChannel>(&channel)) {
        json["level"] =
            markov->level == rs_sim::GilbertElliottChannel::Level::kBit ? "bit" : "symbol";
        json["burst"] = markov->burst;
        json["goodError"] = markov->goodError;
        json["badError"] = markov->badError;
    }
    if (const auto* bpsk = std::get_if<rs_sim::BpskAwgnChannel>(&channel);
        bpsk != nullptr && bpsk->eraseBelow) {
        const auto* given = std::get_if<double>(&*bpsk->eraseBelow);
        json["eraseBelow"] =
            given != nullptr ? nlohmann::ordered_json(*given) : nlohmann::ordered_json("best");
    } else if (CountsErasures(channel)) {
        json["erasures"] = rs_sim::ErasureProbability(channel);
    }
    return json;
}

nlohmann::ordered_json CodeJson(const rs_sim::CodeFacts& code) {
    return {{"n", code.n}, {"k", code.k}, {"t", code.t}, {"q", code.q}, {"rate", code.rate}};
}

nlohmann::ordered_json IntervalsJson(std::int32_t interleave) {
    const std::string trials = interleave > 1 ? "frames" : "blocks";
    return {{"confidence", 0.95},
            {"FER", interleave > 1 ? "Korn-Graubard over frames" : "Clopper-Pearson"},
            {"SER", "Korn-Graubard over " + trials + " (from errorSymbolSquares)"}};
}

nlohmann::ordered_json PointJson(const rs_sim::PointResult& point, const rs_sim::Channel& channel) {
    nlohmann::ordered_json json = PointJson(point);
    if (CountsChannelBits(channel)) {
        json["channelBitErrors"] = point.counts.channelBitErrors;
        json["channelBER"] = point.channelBER;
    }
    if (!IsDefaultChannel(channel)) {
        json["errorBlockSquares"] = point.counts.errorBlockSquares;
    }
    if (CountsErasures(channel)) {
        json["channelErasures"] = point.counts.channelErasures;
        json["errorsCorrected"] = point.counts.errorsCorrected;
        json["erasuresCorrected"] = point.counts.erasuresCorrected;
    }
    if (point.eraseBelow) {
        json["eraseBelow"] = *point.eraseBelow;
    }
    return json;
}

nlohmann::ordered_json PointJson(const rs_sim::PointResult& point) {
    // NaN rates (a point without blocks) become null, as JSON has no NaN.
    return {{"P0", rs_sim::ShortestDecimal(point.P0)},
            {"blocks", point.counts.blocks},
            {"errorBlocks", point.counts.errorBlocks},
            {"channelErrors", point.counts.channelErrors},
            {"errorSymbols", point.counts.errorSymbols},
            {"bitErrors", point.counts.bitErrors},
            {"detectedFailures", point.counts.failures},
            {"miscorrections", point.counts.miscorrections},
            {"errorSymbolSquares", point.counts.errorSymbolSquares},
            {"channelSER", point.channelSER},
            {"FER", point.FER},
            {"FERLow", point.FERLow},
            {"FERHigh", point.FERHigh},
            {"SER", point.SER},
            {"SERLow", point.SERLow},
            {"SERHigh", point.SERHigh},
            {"BER", point.BER},
            {"theoryFER", point.theoryFER},
            {"seconds", point.seconds}};
}

JsonReport::JsonReport(OutputTarget output, const RunDescription& run,
                       std::vector<nlohmann::ordered_json> keptPoints)
    : target(std::move(output)), channel(run.channel) {
    document["program"] = "rs-sim";
    document["version"] = rs_sim::Version();
    // Named in every report, as the stratified one is, so that a file alone says how it was made.
    document["method"] = "monte-carlo";
    document["experiment"] = ExperimentJson(run);
    document["code"] = CodeJson(run.code);
    document["intervals"] = IntervalsJson(run.interleave);
    document["points"] = nlohmann::ordered_json::array();
    for (auto& point : keptPoints) {
        document["points"].push_back(std::move(point));
    }
}

std::string JsonReport::Add(const rs_sim::PointResult& point) {
    document["points"].push_back(PointJson(point, channel));
    pending = true;
    const auto now = std::chrono::steady_clock::now();
    if (target.kind == OutputKind::kReplace &&
        (lastSize < kAlwaysWriteBelow || now - lastWriteEnded >= lastWriteTook)) {
        return Write();
    }
    return {};
}

std::string JsonReport::Start() {
    pending = true;
    return target.kind == OutputKind::kReplace ? Write() : std::string();
}

std::string JsonReport::Finish() {
    return pending ? Write() : std::string();
}

std::string JsonReport::Write() {
    const auto started = std::chrono::steady_clock::now();
    const std::string text = document.dump(2) + "\n";
    if (std::string error = WriteWhole(target, text); !error.empty()) {
        return error;
    }
    pending = false;
    lastSize = text.size();
    lastWriteEnded = std::chrono::steady_clock::now();
    lastWriteTook = lastWriteEnded - started;
    return {};
}

namespace {

// The first field in which a report's JSON differs from this run's, by its path
// ("its experiment.seed is 1234 where this run's is 99").
std::string FirstDifference(const nlohmann::ordered_json& written,
                            const nlohmann::ordered_json& expected, const std::string& path) {
    if (written.is_object() && expected.is_object()) {
        for (const auto& [key, value] : expected.items()) {
            const nlohmann::ordered_json was =
                written.contains(key) ? written.at(key) : nlohmann::ordered_json();
            if (was != value) {
                return FirstDifference(was, value, path + "." + key);
            }
        }
        for (const auto& [key, value] : written.items()) {
            if (!expected.contains(key)) {
                return FirstDifference(value, nlohmann::ordered_json(), path + "." + key);
            }
        }
    }
    const auto shown = [](const nlohmann::ordered_json& value) {
        return value.is_null() ? std::string("missing") : value.dump();
    };
    return "its " + path + " is " + shown(written) + " where this run's is " + shown(expected);
}

}  // namespace

JsonReport::Kept JsonReport::ReadKeptPoints(const std::filesystem::path& path,
                                            const RunDescription& run,
                                            const std::vector<ReportedPoint>& reported) {
    Kept kept;
    if (reported.empty()) {
        return kept;  // nothing to keep: the file starts afresh
    }
    const std::string name = path.string();
    CompanionText companion = ReadCompanion(path, reported.size());
    if (!companion.error.empty()) {
        kept.error = std::move(companion.error);
        return kept;
    }
    const nlohmann::ordered_json document =
        nlohmann::ordered_json::parse(companion.text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        kept.error = name + ": cannot resume: it is not a JSON document";
        return kept;
    }
    if (document.value("program", "") != "rs-sim") {
        kept.error = name + ": cannot resume: it is not rs-sim's JSON report";
        return kept;
    }
    for (const auto& [section, expected] :
         {std::pair{"experiment", ExperimentJson(run)}, std::pair{"code", CodeJson(run.code)}}) {
        const nlohmann::ordered_json written = document.value(section, nlohmann::ordered_json());
        if (written != expected) {
            kept.error = name + ": cannot resume: it describes another experiment: " +
                         FirstDifference(written, expected, section);
            return kept;
        }
    }
    const auto& points = document.value("points", nlohmann::ordered_json());
    if (!points.is_array() || points.size() < reported.size()) {
        kept.error = name + ": cannot resume: it holds fewer points than the report file";
        return kept;
    }
    for (std::size_t i = 0; i < reported.size(); ++i) {
        const auto& point = points[i];
        const ReportedPoint& r = reported[i];
        if (!point.is_object() || !point.contains("P0") || !point["P0"].is_number() ||
            // The shortest decimal reads back as the run's own single-precision P0.
            FormatScientific2(static_cast<float>(point["P0"].get<double>())) != r.P0Text ||
            point.value("blocks", std::int64_t{-1}) != r.blocks ||
            point.value("errorBlocks", std::int64_t{-1}) != r.errorBlocks ||
            point.value("errorSymbols", std::int64_t{-1}) != r.errorSymbols) {
            kept.error = name + ": cannot resume: point " + std::to_string(i + 1) +
                         " differs from the report file";
            kept.points.clear();
            return kept;
        }
        kept.points.push_back(point);
    }
    return kept;
}

}  // namespace rs
