#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "rs_sim/simulator.h"
#include "simulator/point_lanes.h"

namespace rs {

// Every point restarts the generator from this seed, so any point can be reproduced alone.
inline constexpr std::int32_t kSeed = rs_sim::kDefaultSeed;
// Independent points start this many draws apart in the seed's stream: more than a point draws
// below 2^40 / (2n + k) blocks (a block draws k + n, and one more per hit), about 1.5 x 10^9
// blocks of RS(255,223); the experiment's check refuses larger limits with independent points.
inline constexpr int kIndependentPointShift = 40;
// A sweep longer than this is taken for a mistake in "param.dat" rather than an experiment.
inline constexpr std::size_t kMaxSweepPoints = 1000000;

// The channel error probabilities of the sweep, from Pmax down while the next value, taken
// in double precision before rounding to single, stays at or above Pmin.
struct SweepPlan {
    std::vector<float> points;
    std::string error;  // set when the sweep would never end or is absurdly long
};
SweepPlan PlanSweep(float Pmax, float Pmin, float Pstep);

// The rates of a point's report; a point without blocks gives NaN rates.
struct PointRates {
    double channelSER;
    double FER;
    std::int64_t transmittedSymbols;
    double SER;
};
PointRates ComputeRates(const PointStatistics& statistics, std::int32_t n, std::int32_t k);
// Seconds between two counts.
double ExperimentTime(std::int64_t startCount, std::int64_t stopCount, std::int64_t frequency);

// The Monte-Carlo sweep: per point, blocks from an engine until a limit, told point by point.
// With two engines or more, points run that many at once, one on each, and are told of as on
// the first engine alone.
// About how long a point's blocks will take, before they run, where it can tell.
struct PointEstimate {
    double blockSeconds;
    double pointSeconds;
};
using PointEstimator = std::function<std::optional<PointEstimate>(float P0)>;

class SweepRunner {
  public:
    // A channel that sends frames keys each point's streams by (seed, point) instead.
    SweepRunner(const rs_sim::CodeFacts& code, const rs_sim::StopRules& limits,
                std::span<const std::unique_ptr<Engine>> engines, std::int32_t seed,
                bool independent, rs_sim::Channel channel = rs_sim::QarySymmetricChannel{},
                std::int32_t interleave = 1)
        : code(code),
          limits(limits),
          engines(engines),
          seed(seed),
          independent(independent),
          channel(std::move(channel)),
          interleave(interleave) {}

    // Tells the observer, before each point, what estimator makes of it.
    void SetEstimator(PointEstimator made) { estimator = std::move(made); }

    // Runs the points from controls.firstPoint on, telling its observer, and appends their
    // results. False when the observer or the stop flag stopped the sweep.
    bool Run(std::span<const float> points, const rs_sim::RunControls& controls,
             rs_sim::Clock& clock, std::vector<rs_sim::PointResult>& results);
    // Runs points, the first being point first of the whole sweep, telling listener.
    bool Run(std::span<const float> points, std::size_t first, const rs_sim::RunControls& controls,
             rs_sim::Clock& clock, SweepListener& listener);

  private:
    // Where the stream of point index (of the whole sweep) starts: the seed's state, or with
    // independent points that state jumped ahead by index x 2^40 draws; for a channel that
    // sends frames, the point's key.
    PackedState StartOf(std::size_t index) const;

    const rs_sim::CodeFacts code;
    const rs_sim::StopRules limits;
    const std::span<const std::unique_ptr<Engine>> engines;
    const std::int32_t seed;
    const bool independent;
    const rs_sim::Channel channel;
    const std::int32_t interleave;
    PointEstimator estimator;
};

}  // namespace rs
