#include "driver/report_file.h"

#include <charconv>
#include <fstream>
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

    // A number as the report formats it: up to the next blank or newline.
    Match Number(std::string_view& number) {
        const std::size_t start = position;
        while (position < text.size() && text[position] != ' ' && text[position] != '\n') {
            ++position;
        }
        if (position == text.size()) {
            return Match::kCutShort;
        }
        number = text.substr(start, position - start);
        return number.empty() ? Match::kDifferent : Match::kComplete;
    }

    std::size_t Position() const { return position; }

  private:
    std::string_view text;
    std::size_t position = 0;
};

template <typename Integer>
bool ParseInteger(std::string_view digits, Integer& value) {
    const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return status == std::errc{} && end == digits.data() + digits.size() && value >= 0;
}

// Matches one point at the start of text.
Match MatchPoint(std::string_view text, ReportedPoint& point, std::size_t& length) {
    PointMatcher matcher(text);
    std::string_view numbers[10];
    // Literal pieces, each followed by the number with the same index, if any.
    struct Piece {
        std::string_view literal;
        bool numberFollows;
    };
    static constexpr Piece kPieces[] = {
        {"\nP0=", true},
        {"   \nChannel SER=", true},
        {"\nTransmitted blocks=", true},
        {"      Error blocks=", true},
        {"      FER=", true},
        {"\nTransmitted symbols=", true},
        {"   Error symbols=", true},
        {"   SER=", true},
        {"\nExperiment time=", true},
        {" seconds\nTransmitting speed=", true},
        {" KSymbols/second\n", false},
    };
    std::size_t next = 0;
    for (const Piece& piece : kPieces) {
        if (const Match m = matcher.Literal(piece.literal); m != Match::kComplete) {
            return m;
        }
        if (piece.numberFollows) {
            if (const Match m = matcher.Number(numbers[next++]); m != Match::kComplete) {
                return m;
            }
        }
    }
    point.P0Text = std::string(numbers[0]);
    if (!ParseInteger(numbers[2], point.blocks) || !ParseInteger(numbers[3], point.errorBlocks) ||
        !ParseInteger(numbers[5], point.transmittedSymbols) ||
        !ParseInteger(numbers[6], point.errorSymbols)) {
        return Match::kDifferent;
    }
    length = matcher.Position();
    return Match::kComplete;
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
        ReportedPoint point;
        std::size_t length = 0;
        const Match match = MatchPoint(text.substr(position), point, length);
        if (match == Match::kCutShort) {
            break;
        }
        if (match == Match::kDifferent) {
            contents.error = "the text after point " + std::to_string(contents.points.size()) +
                             " is not a point of the report";
            return contents;
        }
        contents.points.push_back(std::move(point));
        position += length;
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
