#include "simulator/point_runner.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <span>
#include <string>
#include <utility>

#include "report/text/number_format.h"
#include "report/text/report_layout.h"
#include "report/text/status_line.h"
#include "simulator/sweep.h"

namespace rs {

PointRun::PointRun(const SimulationParameters& parameters, std::int32_t n, std::int32_t k,
                   Engine& engine, OutputStream& console, OutputStream& results,
                   PerformanceCounter& counter)
    : parameters(parameters),
      n(n),
      k(k),
      engine(engine),
      console(console),
      results(results),
      counter(counter) {}

std::optional<PointRecord> PointRun::Run(const PointStart& point,
                                         const std::optional<PointStart>& next,
                                         const std::atomic<bool>* stop) {
    const float P0 = point.P0;
    statistics = PointStatistics{};
    starsShown = 0;
    engine.BoundBlocks(parameters.maxBlocks);
    engine.StartPointAt(P0, point.start);
    if (next) {
        engine.ExpectPointAt(next->P0, next->start);
    }

    console.Write("\nP0=" + FormatScientific2(static_cast<double>(P0)) + "\n");
    console.Write("0%       Please wait      100%\n");

    const std::int64_t startCount = counter.Count();
    const std::int64_t frequency = counter.Frequency();

    // The bar is evaluated after every block in effect: the engine runs on only through
    // blocks after which it could not change.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point began = Clock::now();
    std::int64_t step = 256;  // blocks a run, while progress is wanted
    while (statistics.blocks < parameters.maxBlocks &&
           statistics.errorBlocks < parameters.maxErrorBlocks) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        std::int32_t limit = NextPossibleBarChange();
        if (!progress) {
            engine.RunBlocks(statistics, limit);
            UpdateBar();
            continue;
        }
        limit = static_cast<std::int32_t>(std::min<std::int64_t>(limit, statistics.blocks + step));
        const Clock::time_point before = Clock::now();
        engine.RunBlocks(statistics, limit);
        UpdateBar();
        const Clock::time_point after = Clock::now();
        const double took = std::chrono::duration<double>(after - before).count();
        if (took < kStatusEvery / 2) {
            step = std::min<std::int64_t>(2 * step, std::int64_t{1} << 31);
        } else if (took > kStatusEvery) {
            step = std::max<std::int64_t>(step / 2, 1);
        }
        progress(statistics, std::chrono::duration<double>(after - began).count());
    }
    return Report(P0, startCount, frequency);
}

// With the error blocks as they are, the bar shows the error fraction's stars until the block
// fraction reaches the error fraction, and the block fraction's stars from then on; both
// quotients only grow with the block count. So the smallest block count at which the bar can
// differ from now is either that crossing or the next block star, found by bisection on the
// same expressions UpdateBar evaluates.
std::int32_t PointRun::NextPossibleBarChange() const {
    const std::int32_t maxBlocks = parameters.maxBlocks;
    const auto blockFraction = [&](std::int32_t blocks) {
        return static_cast<double>(blocks) / static_cast<double>(maxBlocks);
    };
    const double errorFraction = static_cast<double>(statistics.errorBlocks) /
                                 static_cast<double>(parameters.maxErrorBlocks);
    // The smallest count in (statistics.blocks, maxBlocks] that satisfies a condition that,
    // once true, stays true; maxBlocks when none does. The estimate only narrows the search,
    // which runs after every error block: the condition alone decides.
    const auto firstFrom = [&](auto condition, double estimate) {
        std::int32_t low = statistics.blocks + 1;
        std::int32_t high = maxBlocks;
        if (low < high && estimate >= low && estimate <= high) {
            const auto guess = static_cast<std::int32_t>(estimate);
            if (const std::int32_t above = std::min(high, guess + 2); condition(above)) {
                high = above;
            }
            if (const std::int32_t below = std::max(low, guess - 2); !condition(below)) {
                low = below + 1;
            }
        }
        while (low < high) {
            const std::int32_t middle = low + (high - low) / 2;
            if (condition(middle)) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        return low;
    };
    if (!(blockFraction(statistics.blocks) >= errorFraction)) {
        return firstFrom([&](std::int32_t b) { return blockFraction(b) >= errorFraction; },
                         errorFraction * maxBlocks);
    }
    return firstFrom(
        [&](std::int32_t b) {
            return std::floor((b * static_cast<double>(kBarWidth)) /
                              static_cast<double>(maxBlocks)) > static_cast<double>(starsShown);
        },
        (starsShown + 1.0) * maxBlocks / kBarWidth);
}

// The bar follows whichever limit is nearer, ties going to the block count; the block that
// reaches a limit brings it to exactly kBarWidth stars.
void PointRun::UpdateBar() {
    const double blockFraction =
        static_cast<double>(statistics.blocks) / static_cast<double>(parameters.maxBlocks);
    const double errorFraction = static_cast<double>(statistics.errorBlocks) /
                                 static_cast<double>(parameters.maxErrorBlocks);
    const double x = blockFraction >= errorFraction
                         ? (statistics.blocks * static_cast<double>(kBarWidth)) /
                               static_cast<double>(parameters.maxBlocks)
                         : (statistics.errorBlocks * static_cast<double>(kBarWidth)) /
                               static_cast<double>(parameters.maxErrorBlocks);
    const auto stars = static_cast<std::int32_t>(std::floor(x));
    if (stars == starsShown) {
        return;
    }
    for (std::int32_t i = starsShown; i < stars; ++i) {
        console.Write("*");
    }
    starsShown = stars;
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

}  // namespace

PointRecord PointRun::Report(float P0, std::int64_t startCount, std::int64_t frequency) {
    const PointRates rates = ComputeRates(statistics, n, k);
    std::array<FigureValue, kFigureCount> values{};
    const auto set = [&](Figure figure, FigureValue value) { values[FigureIndex(figure)] = value; };
    set(Figure::kP0, static_cast<double>(P0));
    set(Figure::kChannelSER, rates.channelSER);
    set(Figure::kBlocks, std::int64_t{statistics.blocks});
    set(Figure::kErrorBlocks, std::int64_t{statistics.errorBlocks});
    set(Figure::kFER, rates.FER);
    set(Figure::kTransmittedSymbols, rates.transmittedSymbols);
    set(Figure::kErrorSymbols, statistics.errorSymbols);
    set(Figure::kSER, rates.SER);
    WriteFigures(values, Figure::kP0, Figure::kSER, console, results);

    // The time covers the blocks and the statistics lines, not the time lines themselves.
    const std::int64_t stopCount = counter.Count();
    const double experimentTime = ExperimentTime(startCount, stopCount, frequency);
    set(Figure::kExperimentTime, experimentTime);
    set(Figure::kTransmittingSpeed, TransmittingSpeed(statistics.blocks, k, experimentTime));
    WriteFigures(values, Figure::kExperimentTime, Figure::kTransmittingSpeed, console, results);
    return PointRecord{P0, statistics, experimentTime};
}

}  // namespace rs
