#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace rs {

// One complete point as "results.dat" holds it: the figures a resumed run can check and
// carry on from. The channel error count is written only as a rounded rate, so it is not here.
struct ReportedPoint {
    std::string P0Text;  // as written, e.g. "3.00e-002"
    std::int32_t blocks = 0;
    std::int32_t errorBlocks = 0;
    std::int64_t transmittedSymbols = 0;
    std::int64_t errorSymbols = 0;
};

// What an existing report file holds: its header line, its complete points, and how many of
// its bytes they fill. Anything after them must be the beginning of one more point, cut short
// when a run was stopped; that tail is not kept. Otherwise error says where the text departs
// from the layout.
struct ReportContents {
    std::string header;  // the first line with its newline
    std::vector<ReportedPoint> points;
    std::size_t completeLength = 0;
    std::string error;
};

ReportContents ParseReport(std::string_view text);

// The text of a JSON or CSV report that a resumed run carries on with keptPoints points from
// the report file, or why it cannot: a missing file would lose those points.
struct CompanionText {
    std::string text;
    std::string error;
};
CompanionText ReadCompanion(const std::filesystem::path& path, std::size_t keptPoints);

}  // namespace rs
