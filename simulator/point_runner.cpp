#include "simulator/point_runner.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "simulator/sweep.h"

namespace {

// The step of blocks and error blocks, both limits positive.
inline std::int32_t StepOf(std::int64_t blocks, std::int64_t errorBlocks,
                           const rs_sim::StopRules& stop) {
    const double blockFraction = static_cast<double>(blocks) / static_cast<double>(stop.maxBlocks);
    const double errorFraction =
        static_cast<double>(errorBlocks) / static_cast<double>(stop.maxErrorBlocks);
    const double x = blockFraction >= errorFraction
                         ? (static_cast<double>(blocks) * rs_sim::kProgressSteps) /
                               static_cast<double>(stop.maxBlocks)
                         : (static_cast<double>(errorBlocks) * rs_sim::kProgressSteps) /
                               static_cast<double>(stop.maxErrorBlocks);
    return static_cast<std::int32_t>(std::floor(x));
}

}  // namespace

namespace rs_sim {

// The step follows whichever limit is nearer, ties going to the block count; the block that
// reaches a limit brings it to exactly kProgressSteps.
std::int32_t ProgressStep(const Counts& counts, const StopRules& stop) {
    if (stop.maxBlocks <= 0 || stop.maxErrorBlocks <= 0) {
        return kProgressSteps;  // such a point ends before its first block
    }
    return StepOf(counts.blocks, counts.errorBlocks, stop);
}

}  // namespace rs_sim

namespace rs {

std::optional<PointRecord> PointRunner::Run(const PointStart& point,
                                            const std::optional<PointStart>& next,
                                            PointListener& listener, double progressEvery,
                                            const std::atomic<bool>* stop) {
    PointStatistics statistics;
    std::int32_t step = 0;
    engine.BoundBlocks(limits.maxBlocks);
    engine.StartPointAt(point.P0, point.start);
    if (next) {
        engine.ExpectPointAt(next->P0, next->start);
    }
    const std::int64_t startCount = clock.Count();
    const std::int64_t frequency = clock.Frequency();

    // The step is evaluated after every block in effect: the engine runs on only through
    // blocks after which it could not change. Timed progress runs in slices of blocks that
    // take about progressEvery.
    using Steady = std::chrono::steady_clock;
    const Steady::time_point began = Steady::now();
    std::int64_t slice = 256;
    while (statistics.blocks < limits.maxBlocks && statistics.errorBlocks < limits.maxErrorBlocks) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        std::int64_t limit = NextPossibleStepChange(statistics, step);
        const bool timed = progressEvery > 0.0;
        if (timed) {
            limit = std::min(limit, statistics.blocks + slice);
        }
        // The clock is read only for timed progress and for a step's: a dense point returns
        // after every error block, and two reads a block would cost it a fifth of its time.
        const Steady::time_point before = timed ? Steady::now() : Steady::time_point();
        engine.RunBlocks(statistics, limit);
        const std::int32_t reached = StepOf(statistics.blocks, statistics.errorBlocks, limits);
        if (!timed && reached == step) {
            continue;
        }
        const Steady::time_point after = Steady::now();
        if (timed) {
            const double took = std::chrono::duration<double>(after - before).count();
            if (took < progressEvery / 2) {
                slice = std::min<std::int64_t>(2 * slice, std::int64_t{1} << 31);
            } else if (took > progressEvery) {
                slice = std::max<std::int64_t>(slice / 2, 1);
            }
        }
        step = reached;
        listener.Progress(statistics, std::chrono::duration<double>(after - began).count());
    }
    listener.Counted(statistics);
    // The time covers the blocks and what the listener made of the counts.
    const std::int64_t stopCount = clock.Count();
    return PointRecord{point.P0, statistics, ExperimentTime(startCount, stopCount, frequency)};
}

// With the error blocks as they are, the step follows the error fraction until the block
// fraction reaches it, and the block fraction from then on; both quotients only grow with the
// block count. So the smallest block count at which the step can differ from now is either that
// crossing or the next block step, found by bisection on the same expressions ProgressStep
// evaluates.
std::int64_t PointRunner::NextPossibleStepChange(const PointStatistics& statistics,
                                                 std::int32_t step) const {
    const std::int64_t maxBlocks = limits.maxBlocks;
    const auto blockFraction = [&](std::int64_t blocks) {
        return static_cast<double>(blocks) / static_cast<double>(maxBlocks);
    };
    const double errorFraction =
        static_cast<double>(statistics.errorBlocks) / static_cast<double>(limits.maxErrorBlocks);
    // The smallest count in (statistics.blocks, maxBlocks] that satisfies a condition that,
    // once true, stays true; maxBlocks when none does. The estimate only narrows the search,
    // which runs after every error block: the condition alone decides.
    const auto firstFrom = [&](auto condition, double estimate) {
        std::int64_t low = statistics.blocks + 1;
        std::int64_t high = maxBlocks;
        if (low < high && estimate >= static_cast<double>(low) &&
            estimate <= static_cast<double>(high)) {
            const auto guess = static_cast<std::int64_t>(estimate);
            if (const std::int64_t above = std::min(high, guess + 2); condition(above)) {
                high = above;
            }
            if (const std::int64_t below = std::max(low, guess - 2); !condition(below)) {
                low = below + 1;
            }
        }
        while (low < high) {
            const std::int64_t middle = low + (high - low) / 2;
            if (condition(middle)) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        return low;
    };
    if (!(blockFraction(statistics.blocks) >= errorFraction)) {
        return firstFrom([&](std::int64_t b) { return blockFraction(b) >= errorFraction; },
                         errorFraction * static_cast<double>(maxBlocks));
    }
    return firstFrom(
        [&](std::int64_t b) {
            return std::floor((static_cast<double>(b) * rs_sim::kProgressSteps) /
                              static_cast<double>(maxBlocks)) > static_cast<double>(step);
        },
        (step + 1.0) * static_cast<double>(maxBlocks) / rs_sim::kProgressSteps);
}

}  // namespace rs
