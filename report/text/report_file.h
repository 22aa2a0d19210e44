#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/text/report_layout.h"

namespace rs {

// One point as "results.dat" holds it: the figures a resumed run can check and carry on from.
// The channel error count is written only as a rounded rate, so it is not here.
struct ReportedPoint {
    std::string P0Text;  // as written, e.g. "3.00e-002"
    std::int64_t blocks = 0;
    std::int64_t errorBlocks = 0;
    std::int64_t transmittedSymbols = 0;
    std::int64_t errorSymbols = 0;
};

// How much of a point the text holds: all of it, or, for a point an interruption cut short,
// its first figures, the last of which may itself be cut short. Figures it does not reach read
// empty or 0 in the point.
struct PointExtent {
    std::size_t figures = kFigureCount;
    bool lastPartial = false;
    bool complete = true;

    // Whether what is written of figure can begin, or for a whole figure be, expected.
    bool Agrees(Figure figure, std::string_view written, std::string_view expected) const {
        const auto index = static_cast<std::size_t>(figure);
        if (index >= figures) {
            return true;
        }
        return index + 1 == figures && lastPartial ? expected.starts_with(written)
                                                   : written == expected;
    }
};

// What an existing report file holds: its header line, its complete points, and how many of
// its bytes they fill. Anything after them must be the beginning of one more point, cut short
// when a run was stopped; that tail is not kept, but is read as far as it goes so that it can
// be checked too. Otherwise error says where the text departs from the layout, or which
// figure is not written as the report writes it (a count as plain digits, no sign).
struct ReportContents {
    std::string header;  // the first line with its newline
    std::vector<ReportedPoint> points;
    std::size_t completeLength = 0;
    std::optional<ReportedPoint> cutShort;  // the tail, as far as it goes
    PointExtent cutShortExtent;
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
