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

JsonReport::JsonReport(OutputTarget output, const RunDescription& run,
                       std::vector<nlohmann::ordered_json> keptPoints)
    : target(std::move(output)), channel(run.channel), document(MonteCarloJson(run)) {
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
