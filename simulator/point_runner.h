#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "cli/parameter_file.h"
#include "engine/engine.h"
#include "engine/point_statistics.h"
#include "system/output_stream.h"
#include "system/performance_counter.h"

namespace rs {

inline constexpr std::int32_t kBarWidth = 30;

// Where a point runs: its P0, and the generator's state its stream starts from.
struct PointStart {
    float P0 = 0.0F;
    PackedState start = 0;
};

// What a finished point hands to the machine-readable reports.
struct PointRecord {
    float P0 = 0.0F;
    PointStatistics statistics;
    double seconds = 0.0;
};

// One point: its heading and ruler, blocks from an engine until a limit with the progress bar
// as they come, and its report lines, on the console and in the results stream.
class PointRun {
  public:
    // Blocks of a code with n symbols, k of them information, from engine.
    PointRun(const SimulationParameters& parameters, std::int32_t n, std::int32_t k, Engine& engine,
             OutputStream& console, OutputStream& results, PerformanceCounter& counter);

    // Runs the point; next is the point that follows it, if any, which the engine may begin
    // meanwhile. Returns nothing when stop turned true before the point ended: its lines are
    // then incomplete.
    std::optional<PointRecord> Run(const PointStart& point,
                                   const std::optional<PointStart>& next = std::nullopt,
                                   const std::atomic<bool>* stop = nullptr);

    // The counts so far of the point running, or of the last one.
    const PointStatistics& Statistics() const { return statistics; }

    // Called with the counts so far and the point's seconds so far a few times a second (the
    // engine then runs in steps of blocks that take about kStatusEvery), for a status line.
    // Counts never depend on it.
    using Progress = std::function<void(const PointStatistics&, double seconds)>;
    void SetProgress(Progress value) { progress = std::move(value); }

  private:
    std::int32_t NextPossibleBarChange() const;
    void UpdateBar();
    PointRecord Report(float P0, std::int64_t startCount, std::int64_t frequency);

    const SimulationParameters& parameters;
    const std::int32_t n;
    const std::int32_t k;
    Engine& engine;
    OutputStream& console;
    OutputStream& results;
    PerformanceCounter& counter;
    PointStatistics statistics;
    std::int32_t starsShown = 0;
    Progress progress;
};

}  // namespace rs
