#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rs_sim/results.h"
#include "system/output_target.h"

namespace rs {

// Whether the plot goes out as PNG (a .png extension, any case) rather than SVG (.svg).
bool IsPngPlot(const std::filesystem::path& output);
// Whether the extension names a format the plot can take.
bool IsPlotFile(const std::filesystem::path& output);

// Why a plot cannot be drawn without gnuplot, and how to get it.
inline constexpr std::string_view kNoGnuplot =
    "--plot needs gnuplot, which is not on PATH (Debian: apt-get install gnuplot-nox)";

// gnuplot as found on PATH; empty when it is not there.
std::filesystem::path FindGnuplot();

// What the plot shows of one point.
struct PlotPoint {
    double P0 = 0.0;
    std::int64_t blocks = 0;
    std::int64_t errorBlocks = 0;
    std::int64_t errorSymbols = 0;
    std::int64_t miscorrections = -1;  // -1 when not known (a point kept from an older run)
    std::int64_t bitErrors = -1;       // decoded bits in error; -1 when not known
};

// The y axis's ends, when the user sets them (--y-range LOW:HIGH); otherwise the axis reaches a
// little below the lowest rate measured, so that a theory curve falling far below the points
// does not squeeze them into the top of the figure.
struct YRange {
    double low = 0.0;
    double high = 0.0;
};

// What a plot says of the run besides its points: the code, and the channel, which sets the
// axis (P0 on a log axis; Eb/N0 in dB on a linear one for BPSK over AWGN) and the theory.
struct PlotSubject {
    rs_sim::CodeFacts code;
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    std::int32_t interleave = 1;
    std::optional<YRange> yRange;
};

// The gnuplot script for FER with its 95 % intervals, SER, the miscorrection rate and the
// bounded-distance FER curve against P0 on log-log axes, as SVG or PNG by the output's extension.
// Points without blocks, and rates of 0, have no place on a log axis and are left out. For BPSK
// over AWGN the x axis is Eb/N0 in dB, linear, with the decoded BER and the uncoded BPSK bit
// error rate beside. Behind a Gilbert-Elliott chain the bounded-distance curve is the chain's
// exact FER at the run's interleaving depth.
std::string PlotScript(const std::filesystem::path& output, const std::vector<PlotPoint>& points,
                       const PlotSubject& subject);

// Whether the points give the plot anything to draw: a point with blocks.
bool AnythingToPlot(const std::vector<PlotPoint>& points);

// What the plot shows of a point estimated rather than counted (a stratified run): each rate
// as value, low and high end of its 95 % interval, NaN where a log axis has no place for it.
struct EstimatedPoint {
    double P0 = 0.0;
    std::array<double, 3> fer{};
    std::array<double, 3> ser{};
    std::array<double, 3> ber{};
    double miscorrections = 0.0;
};

// The gnuplot script for a stratified run: FER, SER and BER each as a line in its 95 % band,
// the miscorrection rate and the bounded-distance FER, on log-log axes; against Eb/N0 in dB, on
// a linear x axis with uncoded BPSK's bit error rate beside, as PlotScript.
std::string StratifiedPlotScript(const std::filesystem::path& output,
                                 const std::vector<EstimatedPoint>& points,
                                 const PlotSubject& subject);

// One saved run as a comparison draws it: its label (code and seed), code and points, counted
// (a Monte-Carlo run) or estimated (a stratified one).
struct PlottedRun {
    std::string label;
    rs_sim::CodeFacts code;
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    std::int32_t interleave = 1;
    std::vector<PlotPoint> points;
    std::vector<EstimatedPoint> estimated;
};

// The gnuplot script for several runs on one figure: each run's FER with its intervals, SER and
// bounded-distance FER in a colour of its own, labelled by the run. Runs against Eb/N0 go on a
// linear axis and are not mixed with runs against P0 (see SweepsOfOneKind).
std::string CompareScript(const std::filesystem::path& output, const std::vector<PlottedRun>& runs,
                          std::optional<YRange> yRange = std::nullopt);

// Runs gnuplot on the script make(aside) writes to aside, then puts aside in place of the
// output, as DrawPlot.
std::string DrawScript(const std::filesystem::path& gnuplot, const OutputTarget& output,
                       const std::function<std::string(const std::filesystem::path&)>& make);
// DrawScript with CompareScript.
std::string DrawComparison(const std::filesystem::path& gnuplot, const OutputTarget& output,
                           const std::vector<PlottedRun>& runs, std::optional<YRange> yRange);

// DrawScript with StratifiedPlotScript.
std::string DrawStratifiedPlot(const std::filesystem::path& gnuplot, const OutputTarget& output,
                               const std::vector<EstimatedPoint>& points,
                               const PlotSubject& subject);

// Runs gnuplot on the script, writing beside the output and putting it in place (renamed over a
// file, copied into a device or FIFO). Returns an error message of one line, with gnuplot's own
// last word when it failed; empty on success.
std::string DrawPlot(const std::filesystem::path& gnuplot, const OutputTarget& output,
                     const std::vector<PlotPoint>& points, const PlotSubject& subject);

// Why the runs cannot share one x axis (some against Eb/N0, some against P0), naming the first
// of each kind by names[i], or empty.
std::string SweepsOfOneKind(const std::vector<PlottedRun>& runs,
                            const std::vector<std::string>& names);

}  // namespace rs
