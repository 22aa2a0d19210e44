#include "driver/resume.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "driver/csv_report.h"
#include "driver/number_format.h"

namespace rs {

namespace {

// A point ends when either limit is reached, so a complete point of this experiment sent no
// more blocks than maxBlocks, had no more error blocks than maxErrorBlocks, and reached one
// of the two (limits of 0 or less count as 0).
bool EndedByTheseLimits(const ReportedPoint& point, const SimulationParameters& parameters) {
    const std::int32_t maxBlocks = std::max(parameters.maxBlocks, 0);
    const std::int32_t maxErrorBlocks = std::max(parameters.maxErrorBlocks, 0);
    return point.blocks <= maxBlocks && point.errorBlocks <= maxErrorBlocks &&
           point.errorBlocks <= point.blocks &&
           (point.blocks == maxBlocks || point.errorBlocks == maxErrorBlocks);
}

}  // namespace

ResumeState PrepareResume(const std::filesystem::path& reportPath, const std::string& reportName,
                          const std::string& header, std::span<const float> sweep,
                          const RunDescription& run,
                          const std::optional<std::filesystem::path>& jsonPath,
                          const std::optional<std::filesystem::path>& csvPath) {
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
    const auto fail = [&](const std::string& why) {
        state.error = reportName + ": cannot resume: " + why;
        return state;
    };

    ReportContents contents = ParseReport(text);
    if (!contents.error.empty()) {
        return fail(contents.error);
    }
    if (contents.header != header) {
        return fail("its header is not that of this experiment's code (" +
                    header.substr(0, header.size() - 1) + ")");
    }
    if (contents.points.size() > sweep.size()) {
        return fail("it holds " + std::to_string(contents.points.size()) +
                    " points, but this sweep has only " + std::to_string(sweep.size()));
    }
    const std::int64_t k = run.code.k;
    for (std::size_t i = 0; i < contents.points.size(); ++i) {
        const ReportedPoint& point = contents.points[i];
        const std::string expected = FormatScientific2(static_cast<double>(sweep[i]));
        const std::string which = "point " + std::to_string(i + 1);
        if (point.P0Text != expected) {
            return fail(which + " has P0=" + point.P0Text + " where this sweep has P0=" + expected);
        }
        if (!EndedByTheseLimits(point, run.parameters) ||
            point.transmittedSymbols != point.blocks * k) {
            return fail(which + " did not end by this experiment's limits (maxBlocks=" +
                        std::to_string(run.parameters.maxBlocks) +
                        ", maxErrorBlocks=" + std::to_string(run.parameters.maxErrorBlocks) + ")");
        }
    }
    state.kept = std::move(contents.points);
    state.reportBytes = contents.completeLength;

    if (jsonPath) {
        JsonReport::Kept json = JsonReport::ReadKeptPoints(*jsonPath, run, state.kept);
        if (!json.error.empty()) {
            state.error = json.error;
            return state;
        }
        state.jsonPoints = std::move(json.points);
    }
    if (csvPath) {
        const CsvReport::Kept csv = CsvReport::ReadKeptRows(*csvPath, state.kept);
        if (!csv.error.empty()) {
            state.error = csv.error;
            return state;
        }
        state.csvBytes = csv.bytes;
    }
    return state;
}

}  // namespace rs
