#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/parameter_file.h"
#include "engine/engine_plan.h"
#include "report/text/status_line.h"
#include "simulator/point_runner.h"
#include "system/output_stream.h"
#include "system/performance_counter.h"

namespace rs {

// Every point restarts the generator from this seed, so any point can be reproduced alone.
inline constexpr std::int32_t kSeed = 1234;
// Independent points start this many draws apart in the seed's stream: far more than any point
// draws (2^31 blocks of at most 3 x 2^30 draws would be needed to reach the next).
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

// Called once per finished point, after its statistics are known and before "results.dat" is
// flushed, so files it keeps never hold fewer points than the report. Returns an error
// message, empty on success.
using PointObserver = std::function<std::string(const PointRecord&)>;

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
// Thousands of information symbols per second.
double TransmittingSpeed(std::int32_t blocks, std::int32_t k, double experimentTime);

// The Monte-Carlo sweep: per point, blocks from an engine until a limit, with a progress bar
// on the console and a report on both streams.
class Simulation {
  public:
    // Runs the engine's points for a code with n symbols, k of them information.
    Simulation(const SimulationParameters& parameters, std::int32_t n, std::int32_t k,
               std::unique_ptr<Engine> engine, OutputStream& console, OutputStream& results,
               PerformanceCounter& counter);
    // With two engines or more, a sweep runs that many points at once, one on each, and its
    // output is the same as on the first engine alone.
    Simulation(const SimulationParameters& parameters, std::int32_t n, std::int32_t k,
               std::vector<std::unique_ptr<Engine>> engines, OutputStream& console,
               OutputStream& results, PerformanceCounter& counter);

    // The seed every point restarts from.
    void SetSeed(std::int32_t value) { seed = value; }
    // Point i of the sweep (counted from its first point, the first point RunSweep runs being
    // firstIndex) starts from the seed's stream jumped ahead by i x 2^40 draws, rather than
    // from the seed itself: the points' counts are then independent of one another.
    void SetIndependentPoints(std::size_t firstIndex) { independentFrom = firstIndex; }
    void SetPointObserver(PointObserver observer) { pointObserver = std::move(observer); }
    // Called after each point's report is flushed: the report holds it from then on.
    void SetPointReported(std::function<void()> reported) { pointReported = std::move(reported); }
    // A status line under a long point's bar, on status, which must be the console.
    void SetStatus(StatusConsole* value) { status = value; }
    // Told of each point (by its index among the points RunSweep runs) as it starts; points
    // run at once are told as their turn comes.
    void SetPointStarted(std::function<void(std::size_t, float)> started) {
        pointStarted = std::move(started);
    }
    // Told of a running point's counts a few times a second (points run at once are not).
    using Progress = std::function<void(std::size_t, const PointStatistics&, double seconds)>;
    void SetProgress(Progress value) { progress = std::move(value); }
    // Set from any thread to stop the sweep soon: the point running is dropped.
    void SetStop(const std::atomic<bool>* value) { stop = value; }

    // Runs the points in order. False as soon as "results.dat" cannot be written or the
    // point observer fails.
    bool RunSweep(std::span<const float> points);

    // One point on the first engine: heading, ruler, blocks until a limit, bar and report;
    // next is the point that follows it, if any, which the engine may begin meanwhile. False
    // when "results.dat" could not be written or the point observer failed.
    bool RunPoint(float P0, std::optional<float> next = std::nullopt);

    // The counts of the point RunPoint runs or ran last.
    const PointStatistics& Statistics() const { return run.Statistics(); }
    // The point observer's message when it stopped the sweep; empty when the report failed.
    const std::string& ObserverError() const { return observerError; }

  private:
    // Hands a point whose lines are written on to the observer and the report's flush.
    bool Finish(const PointRecord& record);
    // Where the stream of point index (among the points RunSweep runs) starts.
    PackedState StartOf(std::size_t index) const;

    const SimulationParameters parameters;
    const std::int32_t n;
    const std::int32_t k;
    std::vector<std::unique_ptr<Engine>> engines;
    OutputStream& console;
    OutputStream& results;
    PerformanceCounter& counter;
    PointRun run;  // on the first engine
    std::int32_t seed = kSeed;
    std::optional<std::size_t> independentFrom;  // set for independent points
    StatusConsole* status = nullptr;
    double statusShownAt = -kStatusEvery;  // the point's seconds at its last status
    PointObserver pointObserver;
    std::function<void()> pointReported;
    std::function<void(std::size_t, float)> pointStarted;
    Progress progress;
    const std::atomic<bool>* stop = nullptr;
    std::string observerError;
};

}  // namespace rs
