#include "report/text/console_report.h"

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <utility>

#include "report/text/channel_text.h"
#include "report/text/number_format.h"
#include "report/text/report_layout.h"

namespace rs {

double TransmittingSpeed(std::int64_t blocks, std::int32_t k, double experimentTime) {
    if (blocks == 0) {
        return 0.0;  // not 0/0 when the clock did not advance
    }
    return static_cast<double>(blocks) * static_cast<double>(k) * 0.001 / experimentTime;
}

namespace {

// Writes the figures first to last of a point with the text around them: first the console's
// pieces, then all of them to the results file, each value formatted once.
void WriteFigures(std::span<const FigureValue, kFigureCount> values, Figure first, Figure last,
                  OutputStream& console, OutputStream& results) {
    struct Piece {
        std::string text;
        bool resultsOnly;
    };
    std::array<Piece, kFigureCount> pieces;
    std::size_t count = 0;
    for (std::size_t i = FigureIndex(first); i <= FigureIndex(last); ++i) {
        const FigureLayout& layout = kPointLayout[i];
        std::string text = std::string(layout.before)
                               .append(FormatFigure(static_cast<Figure>(i), values[i]))
                               .append(layout.after);
        if (layout.joinsPrevious && count > 0) {
            pieces[count - 1].text.append(text);
        } else {
            pieces[count++] = Piece{std::move(text), layout.resultsOnly};
        }
    }
    const std::span<const Piece> written(pieces.data(), count);
    for (const Piece& piece : written) {
        if (!piece.resultsOnly) {
            console.Write(piece.text);
        }
    }
    for (const Piece& piece : written) {
        results.Write(piece.text);
    }
}

std::array<FigureValue, kFigureCount> Figures(const rs_sim::PointResult& result, std::int32_t k) {
    std::array<FigureValue, kFigureCount> values{};
    const auto set = [&](Figure figure, FigureValue value) { values[FigureIndex(figure)] = value; };
    set(Figure::kP0, static_cast<double>(result.P0));
    set(Figure::kChannelSER, result.channelSER);
    set(Figure::kBlocks, result.counts.blocks);
    set(Figure::kErrorBlocks, result.counts.errorBlocks);
    set(Figure::kFER, result.FER);
    set(Figure::kTransmittedSymbols, result.transmittedSymbols);
    set(Figure::kErrorSymbols, result.counts.errorSymbols);
    set(Figure::kSER, result.SER);
    set(Figure::kExperimentTime, result.seconds);
    set(Figure::kTransmittingSpeed, TransmittingSpeed(result.counts.blocks, k, result.seconds));
    return values;
}

}  // namespace

void ConsoleReport::PointStarted(std::size_t /*index*/, float P0) {
    starsShown = 0;
    statusShownAt = -kStatusEvery;  // shown as soon as the point runs long
    const std::string heading = SweptValueText(static_cast<double>(P0), setup.channel);
    setup.console.Write("\n" + heading + "\n");
    setup.console.Write("0%       Please wait      100%\n");
}

void ConsoleReport::PointEstimated(std::size_t /*index*/, double blockSeconds,
                                   double pointSeconds) {
    // Up front, not after statusAfter: the first progress may be the first block's end.
    if (setup.status != nullptr && std::isfinite(blockSeconds) && std::isfinite(pointSeconds)) {
        setup.status->Show(EstimateText(blockSeconds, pointSeconds));
    }
}

void ConsoleReport::Progress(std::size_t /*index*/, const rs_sim::Counts& sofar, double seconds) {
    const std::int32_t stars = rs_sim::ProgressStep(sofar, setup.limits);
    for (; starsShown < stars; ++starsShown) {
        setup.console.Write("*");
    }
    if (setup.status != nullptr && seconds >= setup.statusAfter &&
        seconds - statusShownAt >= kStatusEvery) {
        setup.status->Show(StatusText(sofar, setup.limits, seconds));
        statusShownAt = seconds;
    }
}

void ConsoleReport::PointCounted(std::size_t /*index*/, const rs_sim::PointResult& result) {
    const std::array<FigureValue, kFigureCount> figures = Figures(result, setup.code.k);
    if (!CountsChannelBits(setup.channel)) {
        WriteFigures(figures, Figure::kP0, Figure::kSER, setup.console, setup.results);
        return;
    }
    // The channel's bit error rate beside its symbol error rate, on the console alone.
    WriteFigures(figures, Figure::kP0, Figure::kChannelSER, setup.console, setup.results);
    setup.console.Write("   Channel BER=" + FormatScientific2(result.channelBER));
    WriteFigures(figures, Figure::kBlocks, Figure::kSER, setup.console, setup.results);
}

bool ConsoleReport::PointFinished(std::size_t /*index*/, const rs_sim::PointResult& result) {
    WriteFigures(Figures(result, setup.code.k), Figure::kExperimentTime, Figure::kTransmittingSpeed,
                 setup.console, setup.results);
    return !setup.finished || setup.finished(result);
}

}  // namespace rs
