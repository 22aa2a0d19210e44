#include "simulator/p0_grid.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>

#include "rs_sim/experiment.h"
#include "simulator/sweep.h"

namespace rs {

namespace {

// The whole text as a number of type Number, or nothing.
template <typename Number>
bool ReadWhole(std::string_view text, Number& value) {
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && status == std::errc{} && end == text.data() + text.size();
}

// Pieces joined by appending: g++ 12 warns falsely on "..." + std::string at -O3.
std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const std::string_view piece : pieces) {
        text.append(piece);
    }
    return text;
}

// Point j of a grid of perDecade points a decade, 10^(-j/perDecade) to three digits.
double GridValue(long long j, int perDecade) {
    char decimal[32];
    std::snprintf(decimal, sizeof decimal, "%.2e",
                  std::pow(10.0, -static_cast<double>(j) / perDecade));
    double value = 0.0;
    ReadWhole(std::string_view(decimal), value);
    return value;
}

// The grid's points just above and below value ("0.316 and 0.178").
std::string GridNeighbours(double value, int perDecade) {
    const auto middle = static_cast<long long>(std::floor(-std::log10(value) * perDecade));
    double above = GridValue(middle - 1, perDecade);
    double below = GridValue(middle + 2, perDecade);
    for (long long j = middle - 1; j <= middle + 2; ++j) {
        const double point = GridValue(j, perDecade);
        if (point > value) {
            above = std::min(above, point);
        } else if (point < value) {
            below = std::max(below, point);
        }
    }
    const auto text = [](double number) {
        char buffer[32];
        const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, number);
        return std::string(buffer, status == std::errc{} ? end : buffer);
    };
    return text(above) + " and " + text(below);
}

}  // namespace

namespace {

// Comma-separated decimal values, each the float nearest its text; fits says which values the
// option takes, and refusal what a value it refuses is not.
template <typename Fits>
P0GridParse ParseList(std::string_view text, P0Grid::Kind kind, std::string_view option,
                      std::string_view refusal, Fits fits) {
    P0GridParse parse;
    parse.grid.kind = kind;
    parse.grid.text = std::string(text);
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        std::string_view item = text.substr(start, comma - start);
        while (!item.empty() && item.front() == ' ') {
            item.remove_prefix(1);
        }
        while (!item.empty() && item.back() == ' ') {
            item.remove_suffix(1);
        }
        float value = 0.0F;
        if (!ReadWhole(item, value) || !std::isfinite(value) || !fits(value)) {
            parse.error = Join({option, ": \"", item, "\" ", refusal});
            return parse;
        }
        if (parse.grid.points.size() == kMaxSweepPoints) {
            parse.error =
                Join({option, ": more than ", std::to_string(kMaxSweepPoints), " values"});
            return parse;
        }
        parse.grid.points.push_back(value);
        if (comma == std::string_view::npos) {
            return parse;
        }
        start = comma + 1;
    }
}

// FROM:TO:X as its three texts; nothing without two colons.
std::optional<std::array<std::string_view, 3>> ThreeFields(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    return std::array<std::string_view, 3>{
        text.substr(0, first), text.substr(first + 1, second - first - 1), text.substr(second + 1)};
}

}  // namespace

P0GridParse ParseP0List(std::string_view text) {
    return ParseList(text, P0Grid::Kind::kList, "--p0",
                     "is not a probability: give decimal values from 0 to 1, separated by commas",
                     [](float value) { return !std::signbit(value) && value <= 1.0F; });
}

P0GridParse ParseEbN0List(std::string_view text) {
    return ParseList(text, P0Grid::Kind::kEbN0List, "--ebn0",
                     "is not an Eb/N0: give decimal values in dB, separated by commas",
                     [](float) { return true; });
}

P0GridParse ParseEbN0Range(std::string_view text) {
    P0GridParse parse;
    parse.grid.kind = P0Grid::Kind::kEbN0Range;
    parse.grid.text = std::string(text);
    const auto refuse = [&](std::initializer_list<std::string_view> why) {
        parse.grid.points.clear();
        parse.error = Join({"--ebn0-range: \"", text, "\" "}) + Join(why);
        return parse;
    };
    const auto fields = ThreeFields(text);
    double from = 0.0;
    double to = 0.0;
    double step = 0.0;
    if (!fields || !ReadWhole((*fields)[0], from) || !ReadWhole((*fields)[1], to) ||
        !ReadWhole((*fields)[2], step)) {
        return refuse({"is not FROM:TO:STEP, as in 0:8:0.5 (dB)"});
    }
    const auto top = static_cast<float>(to);
    if (!std::isfinite(static_cast<float>(from)) || !std::isfinite(top) ||
        !std::isfinite(static_cast<float>(step))) {
        return refuse({"needs finite FROM, TO and STEP"});
    }
    if (step == 0.0) {
        return refuse({"needs a STEP other than 0"});
    }
    if ((to - from) * step < 0.0) {
        return refuse({"never reaches TO: STEP must be ", step > 0.0 ? "negative" : "positive",
                       " when TO is ", step > 0.0 ? "below" : "above", " FROM"});
    }
    // Counted before they are made: a tiny STEP must not fill the memory first.
    if ((to - from) / step >= static_cast<double>(kMaxSweepPoints)) {
        return refuse({"has more than ", std::to_string(kMaxSweepPoints), " points"});
    }
    // A value counts as TO when it rounds to the same float: 0:0.3:0.1 ends at 0.3, though
    // 3 x 0.1 is a little above 0.3 in double precision.
    for (std::size_t i = 0;; ++i) {
        const auto value = static_cast<float>(from + static_cast<double>(i) * step);
        if (step > 0.0 ? value > top : value < top) {
            return parse;
        }
        if (!parse.grid.points.empty() && value == parse.grid.points.back()) {
            return refuse({"has a STEP too small to change Eb/N0 from ",
                           rs_sim::ShortestText(value), " in single precision"});
        }
        if (parse.grid.points.size() == kMaxSweepPoints) {
            return refuse({"has more than ", std::to_string(kMaxSweepPoints), " points"});
        }
        parse.grid.points.push_back(value);
    }
}

P0GridParse ParseP0Decades(std::string_view text) {
    P0GridParse parse;
    parse.grid.kind = P0Grid::Kind::kDecades;
    parse.grid.text = std::string(text);
    const auto fields = ThreeFields(text);
    double from = 0.0;
    double to = 0.0;
    int perDecade = 0;
    if (!fields || !ReadWhole((*fields)[0], from) || !ReadWhole((*fields)[1], to) ||
        !ReadWhole((*fields)[2], perDecade)) {
        parse.error = Join({"--p0-decades: \"", text,
                            "\" is not FROM:TO:N, as in 1e-1:1e-6:4 (four points a decade)"});
        return parse;
    }
    if (!(from > 0.0) || !(to > 0.0) || !(from <= 1.0) || !(from >= to)) {
        parse.error = Join({"--p0-decades: \"", text, "\" needs 1 >= FROM >= TO > 0"});
        return parse;
    }
    if (perDecade < 1 || perDecade > 1000) {
        parse.error = Join({"--p0-decades: \"", text, "\" needs N from 1 to 1000 points a decade"});
        return parse;
    }
    // Values within a relative hair of FROM or TO count as them: FROM = 1e-1 is 10^(-4/4).
    constexpr double kHair = 1e-9;
    const double top = from * (1.0 + kHair);
    const double bottom = to * (1.0 - kHair);
    // Start a step above FROM, so that its own value is reached whatever the logarithm's
    // rounding.
    for (auto j = static_cast<long long>(std::floor(-std::log10(from) * perDecade)) - 1;; ++j) {
        char decimal[32];
        std::snprintf(decimal, sizeof decimal, "%.2e",
                      std::pow(10.0, -static_cast<double>(j) / perDecade));
        const double value = GridValue(j, perDecade);
        if (value < bottom) {
            break;
        }
        if (value > top) {
            continue;
        }
        float point = 0.0F;
        if (!ReadWhole(std::string_view(decimal), point) || point == 0.0F) {
            parse.grid.points.clear();
            parse.error = Join(
                {"--p0-decades: \"", text, "\" reaches ", decimal, ", beyond single precision"});
            return parse;
        }
        if (parse.grid.points.size() == kMaxSweepPoints) {
            parse.grid.points.clear();
            parse.error = Join({"--p0-decades: \"", text, "\" has more than ",
                                std::to_string(kMaxSweepPoints), " points"});
            return parse;
        }
        parse.grid.points.push_back(point);
    }
    if (parse.grid.points.empty()) {
        parse.error = Join({"--p0-decades: \"", text, "\" holds no point of the grid"});
        return parse;
    }
    // FROM and TO must be points of the grid: a sweep that silently began or ended elsewhere
    // would not be the one asked for.
    const double first = rs_sim::ShortestDecimal(parse.grid.points.front());
    const double last = rs_sim::ShortestDecimal(parse.grid.points.back());
    for (const auto& [name, asked, nearest] :
         {std::tuple{"FROM", from, first}, std::tuple{"TO", to, last}}) {
        if (std::abs(nearest - asked) > kHair * asked) {
            parse.grid.points.clear();
            parse.error = Join({"--p0-decades: \"", text, "\": ", name, " is not a point of ",
                                std::to_string(perDecade), " a decade; the nearest are ",
                                GridNeighbours(asked, perDecade)});
            return parse;
        }
    }
    return parse;
}

}  // namespace rs

namespace rs_sim {

double ShortestDecimal(float value) {
    char buffer[64];
    const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
    if (status != std::errc{}) {
        return static_cast<double>(value);
    }
    *end = '\0';
    return std::strtod(buffer, nullptr);
}

std::string ShortestText(float value) {
    // Six significant digits showed 1.0000001 as 1 in a message saying it is above 1.
    char buffer[64];
    const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return status == std::errc{} ? std::string(buffer, end) : std::string("nan");
}

}  // namespace rs_sim
