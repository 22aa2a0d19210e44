#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "engine/engine.h"
#include "engine/point_statistics.h"
#include "rs_sim/simulator.h"

namespace rs {

// Where a point runs: its P0, and the generator's state its stream starts from.
struct PointStart {
    float P0 = 0.0F;
    PackedState start = 0;
};

// A finished point: its counts and its seconds.
struct PointRecord {
    float P0 = 0.0F;
    PointStatistics statistics;
    double seconds = 0.0;
};

// What a running point tells, on the thread that runs it.
class PointListener {
  public:
    virtual ~PointListener() = default;
    // The counts so far after seconds: at each progress step, and when timed progress is due.
    virtual void Progress(const PointStatistics& sofar, double seconds) = 0;
    // The blocks are done; the point's clock stops after this returns.
    virtual void Counted(const PointStatistics& counts) = 0;
};

// One point: blocks from an engine until a limit, its progress as the blocks come, its time.
class PointRunner {
  public:
    PointRunner(const rs_sim::StopRules& limits, Engine& engine, rs_sim::Clock& clock)
        : limits(limits), engine(engine), clock(clock) {}

    // Runs the point; next is the point that follows it, if any, which the engine may begin
    // meanwhile. progressEvery > 0 asks for progress that often, in seconds, besides the
    // steps. Returns nothing when stop turned true before the point ended.
    std::optional<PointRecord> Run(const PointStart& point, const std::optional<PointStart>& next,
                                   PointListener& listener, double progressEvery = 0.0,
                                   const std::atomic<bool>* stop = nullptr);

  private:
    // The smallest block count at which the progress step can change from now.
    std::int64_t NextPossibleStepChange(const PointStatistics& statistics, std::int32_t step) const;

    const rs_sim::StopRules limits;
    Engine& engine;
    rs_sim::Clock& clock;
};

}  // namespace rs
