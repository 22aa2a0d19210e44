#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace rs {

// The figures of a point, in the order "results.dat" writes them.
enum class Figure : std::uint8_t {
    kP0,
    kChannelSER,
    kBlocks,
    kErrorBlocks,
    kFER,
    kTransmittedSymbols,
    kErrorSymbols,
    kSER,
    kExperimentTime,
    kTransmittingSpeed,
};
inline constexpr std::size_t kFigureCount = 10;

constexpr std::size_t FigureIndex(Figure figure) {
    return static_cast<std::size_t>(figure);
}

// How a figure is written: "%.2e" as FormatScientific2, "%.2f" as FormatFixed2, or a count in
// plain digits.
enum class FigureForm : std::uint8_t { kScientific, kFixed, kCount };

// One figure of a point with the text around it. Each figure goes out in one Write of its
// own, or joins the Write of the figure before it; the console shows every Write at once.
struct FigureLayout {
    std::string_view before;  // the literal text in front of the figure
    std::string_view name;    // as error messages call it
    FigureForm form;
    std::string_view after = {};  // the literal text behind it
    bool joinsPrevious = false;
    // The console shows P0 in the point's heading already, so it gets neither P0 nor the rest
    // of its line.
    bool resultsOnly = false;
};

// A point as "results.dat" holds it, which the simulation writes and a resumed run reads back.
// The console gets the same text but for the pieces only for the results file.
inline constexpr std::array<FigureLayout, kFigureCount> kPointLayout = {{
    {"\nP0=", "P0", FigureForm::kScientific, "   ", false, true},
    {"\nChannel SER=", "Channel SER", FigureForm::kScientific},
    {"\nTransmitted blocks=", "Transmitted blocks", FigureForm::kCount},
    {"      Error blocks=", "Error blocks", FigureForm::kCount, {}, true},
    {"      FER=", "FER", FigureForm::kScientific},
    {"\nTransmitted symbols=", "Transmitted symbols", FigureForm::kCount},
    {"   Error symbols=", "Error symbols", FigureForm::kCount},
    {"   SER=", "SER", FigureForm::kScientific},
    {"\nExperiment time=", "Experiment time", FigureForm::kFixed, " seconds\n"},
    {"Transmitting speed=", "Transmitting speed", FigureForm::kFixed, " KSymbols/second\n"},
}};

// A resumed run takes a figure to end at the next blank or newline, and names it in its
// messages as "name=", as the report shows it after the blanks or newline in front.
static_assert([] {
    for (std::size_t i = 0; i < kFigureCount; ++i) {
        const FigureLayout& layout = kPointLayout[i];
        const std::string_view next = layout.after.empty() && i + 1 < kFigureCount
                                          ? kPointLayout[i + 1].before
                                          : layout.after;
        const std::string_view label = layout.before.substr(0, layout.before.size() - 1);
        const std::size_t start = label.find_first_not_of(" \n");
        if (!(next.starts_with(' ') || next.starts_with('\n')) || !layout.before.ends_with('=') ||
            start == std::string_view::npos || label.substr(start) != layout.name) {
            return false;
        }
    }
    return true;
}());

// A figure's value: an integer for a count, so that it is written exactly, else a double.
using FigureValue = std::variant<std::int64_t, double>;

// The figure's text in its layout's form; value must hold the kind that form takes.
std::string FormatFigure(Figure figure, const FigureValue& value);

}  // namespace rs
