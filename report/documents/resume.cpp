#include "report/documents/resume.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "report/documents/csv_report.h"
#include "report/text/channel_text.h"
#include "report/text/number_format.h"

namespace rs {

namespace {

// Why point cannot be this experiment's point with P0 text expectedP0, or nothing. A point cut
// short is held to what it reaches: a figure it only begins must begin the one expected, and
// the figures it does not reach read 0, which every upper bound allows. A count only begun is
// bounded by its written part, the smallest count it can be.
std::string Departure(const ReportedPoint& point, const PointExtent& extent,
                      const std::string& expectedP0, const RunDescription& run) {
    if (!extent.Agrees(Figure::kP0, point.P0Text, expectedP0)) {
        return "has P0=" + point.P0Text + " where this sweep has P0=" + expectedP0;
    }
    if (point.errorBlocks > point.blocks) {
        return "has Error blocks=" + std::to_string(point.errorBlocks) + ", more than its " +
               std::to_string(point.blocks) + " blocks";
    }
    const std::int64_t k = run.code.k;
    const std::string symbols = std::to_string(point.blocks * k);
    if (!extent.Agrees(Figure::kTransmittedSymbols, std::to_string(point.transmittedSymbols),
                       symbols)) {
        return "has Transmitted symbols=" + std::to_string(point.transmittedSymbols) +
               " where its " + std::to_string(point.blocks) + " blocks of k=" + std::to_string(k) +
               " make " + symbols;
    }
    if (point.errorSymbols > point.transmittedSymbols) {
        return "has Error symbols=" + std::to_string(point.errorSymbols) + ", more than its " +
               std::to_string(point.transmittedSymbols) + " transmitted symbols";
    }
    // A point ends when either limit is reached, so a complete point sent no more blocks than
    // maxBlocks, had no more error blocks than maxErrorBlocks, and reached one of the two
    // (limits of 0 or less count as 0).
    const SimulationParameters& parameters = run.parameters;
    const std::int64_t maxBlocks = std::max<std::int64_t>(parameters.maxBlocks, 0);
    const std::int64_t maxErrorBlocks = std::max<std::int64_t>(parameters.maxErrorBlocks, 0);
    if (point.blocks > maxBlocks || point.errorBlocks > maxErrorBlocks ||
        (extent.complete && point.blocks != maxBlocks && point.errorBlocks != maxErrorBlocks)) {
        return std::string(extent.complete ? "did not end by" : "goes past") +
               " this experiment's limits (maxBlocks=" + std::to_string(parameters.maxBlocks) +
               ", maxErrorBlocks=" + std::to_string(parameters.maxErrorBlocks) + ")";
    }
    return {};
}

// Why the report's points are not the first points of this sweep; empty when they are.
std::string Misfit(const ReportContents& contents, const std::string& header,
                   std::span<const float> sweep, const RunDescription& run) {
    if (!contents.error.empty()) {
        return contents.error;
    }
    if (std::string why = HeaderDifference(contents.header, header); !why.empty()) {
        return why;
    }
    const std::size_t written = contents.points.size() + (contents.cutShort ? 1 : 0);
    if (written > sweep.size()) {
        return "it holds " + std::to_string(contents.points.size()) + " points" +
               (contents.cutShort ? " and the start of another" : "") +
               ", but this sweep has only " + std::to_string(sweep.size());
    }
    for (std::size_t i = 0; i < written; ++i) {
        const bool complete = i < contents.points.size();
        const std::string why = Departure(complete ? contents.points[i] : *contents.cutShort,
                                          complete ? PointExtent{} : contents.cutShortExtent,
                                          FormatScientific2(static_cast<double>(sweep[i])), run);
        if (!why.empty()) {
            return "point " + std::to_string(i + 1) + (complete ? " " : " (cut short) ") + why;
        }
    }
    return {};
}

}  // namespace

ResumeState PrepareResume(const ResumeRequest& request) {
    const std::filesystem::path& reportPath = request.reportPath;
    const std::string& reportName = request.reportName;
    const RunDescription& run = request.run;
    ResumeState state;
    std::ifstream in(reportPath, std::ios::binary);
    if (!in) {
        std::error_code ignored;
        if (std::filesystem::exists(reportPath, ignored)) {
            state.error = reportName + ": cannot resume: the file cannot be read";
        }
        return state;  // nothing to resume: a fresh run
    }
    state.reportExists = true;
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    ReportContents contents = ParseReport(text);
    if (std::string why = Misfit(contents, request.header, request.sweep, run); !why.empty()) {
        state.error = reportName + ": cannot resume: " + why;
        return state;
    }
    state.kept = std::move(contents.points);
    state.reportBytes = contents.completeLength;

    if (request.jsonPath) {
        JsonReport::Kept json = JsonReport::ReadKeptPoints(*request.jsonPath, run, state.kept);
        if (!json.error.empty()) {
            state.error = json.error;
            return state;
        }
        state.jsonPoints = std::move(json.points);
    }
    if (request.csvPath) {
        const CsvReport::Kept csv = CsvReport(run.code, run.channel, run.interleave)
                                        .ReadKeptRows(*request.csvPath, state.kept);
        if (!csv.error.empty()) {
            state.error = csv.error;
            return state;
        }
        state.csvBytes = csv.bytes;
    }
    return state;
}

}  // namespace rs
