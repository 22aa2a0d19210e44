#include "report/text/report_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <span>
#include <sstream>

namespace rs {

namespace {

enum class Match { kComplete, kCutShort, kDifferent };

// Matches the fixed layout of one point's lines, piece by piece. Running out of text on the
// way means the point was cut short; any other departure means the text is no point at all.
class PointMatcher {
  public:
    explicit PointMatcher(std::string_view text) : text(text) {}

    Match Literal(std::string_view literal) {
        const std::string_view rest = text.substr(position);
        if (rest.size() < literal.size()) {
            return literal.starts_with(rest) ? Match::kCutShort : Match::kDifferent;
        }
        if (!rest.starts_with(literal)) {
            return Match::kDifferent;
        }
        position += literal.size();
        return Match::kComplete;
    }

    // A figure as the report formats it: up to the next blank or newline. Cut short, number
    // holds what there is of it.
    Match Number(std::string_view& number) {
        const std::size_t start = position;
        while (position < text.size() && text[position] != ' ' && text[position] != '\n') {
            ++position;
        }
        number = text.substr(start, position - start);
        if (position == text.size()) {
            return Match::kCutShort;
        }
        return number.empty() ? Match::kDifferent : Match::kComplete;
    }

    std::size_t Position() const { return position; }

  private:
    std::string_view text;
    std::size_t position = 0;
};

// How the report writes the figures that are not counts, as patterns in which '#' is a digit,
// '*' any further digits and 's' the sign of an exponent: "%.2e" and "%.2f" as
// FormatScientific2 and FormatFixed2 write them, and the words for values that are not finite.
constexpr std::string_view kScientific[] = {"#.##es###*", "-#.##es###*", "nan", "inf", "-inf"};
constexpr std::string_view kFixed[] = {"#*.##", "-#*.##", "nan", "inf", "-inf"};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether text follows pattern to its end or, when partial, as far as text goes.
bool FollowsPattern(std::string_view text, std::string_view pattern, bool partial) {
    std::size_t at = 0;
    for (const char expected : pattern) {
        if (expected == '*') {
            while (at < text.size() && IsDigit(text[at])) {
                ++at;
            }
            continue;
        }
        if (at == text.size()) {
            return partial;
        }
        const char c = text[at++];
        const bool fits = expected == '#'   ? IsDigit(c)
                          : expected == 's' ? c == '+' || c == '-'
                                            : c == expected;
        if (!fits) {
            return false;
        }
    }
    return at == text.size();
}

// A count has no sign and no leading zero, so its text is exactly std::to_string of its
// value, whether whole or the start of a longer count.
template <typename Integer>
bool ParseCount(std::string_view digits, Integer& value) {
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0') ||
        !std::ranges::all_of(digits, IsDigit)) {
        return false;
    }
    const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return status == std::errc{} && end == digits.data() + digits.size();
}

// The figures of one point at the start of text, as far as they go.
struct PointText {
    Match match = Match::kComplete;
    std::array<std::string_view, kFigureCount> figures{};
    PointExtent extent{0, false, false};
    std::size_t length = 0;
};

PointText MatchPoint(std::string_view text) {
    PointMatcher matcher(text);
    PointText point;
    for (const FigureLayout& layout : kPointLayout) {
        if (point.match = matcher.Literal(layout.before); point.match != Match::kComplete) {
            return point;
        }
        std::string_view& figure = point.figures[point.extent.figures];
        point.match = matcher.Number(figure);
        if (point.match == Match::kCutShort) {
            // A figure not yet begun is left out, not taken for an empty one.
            point.extent.lastPartial = !figure.empty();
            point.extent.figures += figure.empty() ? 0 : 1;
            return point;
        }
        if (point.match == Match::kDifferent) {
            return point;
        }
        ++point.extent.figures;
        if (point.match = matcher.Literal(layout.after); point.match != Match::kComplete) {
            return point;
        }
    }
    point.extent.complete = true;
    point.length = matcher.Position();
    return point;
}

// Reads a count into its place in point, for the counts a point keeps.
bool ReadCount(Figure figure, std::string_view digits, ReportedPoint& point) {
    switch (figure) {
        case Figure::kBlocks:
            return ParseCount(digits, point.blocks);
        case Figure::kErrorBlocks:
            return ParseCount(digits, point.errorBlocks);
        case Figure::kTransmittedSymbols:
            return ParseCount(digits, point.transmittedSymbols);
        case Figure::kErrorSymbols:
            return ParseCount(digits, point.errorSymbols);
        default: {
            std::int64_t unused = 0;
            return ParseCount(digits, unused);
        }
    }
}

// The patterns a figure that is not a count may follow.
std::span<const std::string_view> NumberForms(FigureForm form) {
    return form == FigureForm::kFixed ? std::span<const std::string_view>(kFixed)
                                      : std::span<const std::string_view>(kScientific);
}

// Reads the figures of a point into point, or says which one is not as the report writes it.
std::string ReadFigures(const PointText& text, ReportedPoint& point) {
    for (std::size_t i = 0; i < text.extent.figures; ++i) {
        const std::string_view figure = text.figures[i];
        const bool partial = text.extent.lastPartial && i + 1 == text.extent.figures;
        const FigureLayout& layout = kPointLayout[i];
        const bool count = layout.form == FigureForm::kCount;
        const bool fits =
            count ? ReadCount(static_cast<Figure>(i), figure, point)
                  : std::ranges::any_of(NumberForms(layout.form), [&](std::string_view form) {
                        return FollowsPattern(figure, form, partial);
                    });
        if (!fits) {
            const std::string written = std::string(layout.name).append("=").append(figure);
            if (count && figure.starts_with('-')) {
                return "has a negative count, " + written;
            }
            return "has " + written + ", which is not " + (count ? "a count" : "a number") +
                   " as the report writes it";
        }
    }
    point.P0Text = std::string(text.figures[0]);
    return {};
}

}  // namespace

ReportContents ParseReport(std::string_view text) {
    ReportContents contents;
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) {
        contents.error = "it has no complete header line";
        return contents;
    }
    contents.header = std::string(text.substr(0, newline + 1));
    std::size_t position = newline + 1;
    while (position < text.size()) {
        const PointText found = MatchPoint(text.substr(position));
        if (found.match == Match::kDifferent) {
            contents.error = "the text after point " + std::to_string(contents.points.size()) +
                             " is not a point of the report";
            return contents;
        }
        ReportedPoint point;
        if (std::string why = ReadFigures(found, point); !why.empty()) {
            contents.error = "point " + std::to_string(contents.points.size() + 1) +
                             (found.extent.complete ? " " : " (cut short) ") + why;
            return contents;
        }
        if (!found.extent.complete) {
            contents.cutShort = std::move(point);
            contents.cutShortExtent = found.extent;
            break;
        }
        contents.points.push_back(std::move(point));
        position += found.length;
    }
    contents.completeLength = position;
    return contents;
}

CompanionText ReadCompanion(const std::filesystem::path& path, std::size_t keptPoints) {
    CompanionText companion;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        companion.error = path.string() + ": cannot resume: the file is missing, so the " +
                          std::to_string(keptPoints) +
                          " points kept from the report would be lost; run without --resume";
        return companion;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    companion.text = buffer.str();
    return companion;
}

}  // namespace rs
