#pragma once

// Running an experiment: make a simulator (everything that can refuse the experiment is checked
// there, before anything runs), then run it whole and get its results; an observer hears of
// each point as it goes, and a flag stops the run early. Simulate does both steps.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "rs_sim/experiment.h"
#include "rs_sim/remote.h"
#include "rs_sim/results.h"

namespace rs_sim {

// Hears of a run on the thread that called Run. A Monte-Carlo run tells of its points in
// order, each as PointStarted, Progress calls, PointCounted and PointFinished; a stratified
// run calls Round after each round of patterns.
class Observer {
  public:
    virtual ~Observer() = default;
    // The point at index among the experiment's points starts.
    virtual void PointStarted(std::size_t /*index*/, float /*P0*/) {}
    // Before the blocks of a point so dense that its first progress could be far off: about how
    // long one block and the whole point will take, from timing this code's decoding (the
    // point's expected blocks from its limits and the bounded-distance FER).
    virtual void PointEstimated(std::size_t /*index*/, double /*blockSeconds*/,
                                double /*pointSeconds*/) {}
    // The running point's counts so far, after seconds: whenever its progress step
    // (ProgressStep) advances, and every RunControls::progressEvery seconds when asked for.
    virtual void Progress(std::size_t /*index*/, const Counts& /*sofar*/, double /*seconds*/) {}
    // The point's blocks are done: its counts and rates, its seconds not yet known (0). The
    // point's clock stops right after this call returns.
    virtual void PointCounted(std::size_t /*index*/, const PointResult& /*result*/) {}
    // The point is done, with its time. Returning false stops the run: its results then end
    // with this point.
    virtual bool PointFinished(std::size_t /*index*/, const PointResult& /*result*/) {
        return true;
    }
    // A stratified run finished a round, with patterns decoded so far, after seconds.
    virtual void Round(int /*round*/, std::int64_t /*patterns*/, double /*seconds*/) {}
};

// A point's progress in kProgressSteps steps: its blocks' share of maxBlocks, or its error
// blocks' share of maxErrorBlocks when that is larger; kProgressSteps when a limit is reached.
inline constexpr std::int32_t kProgressSteps = 30;
std::int32_t ProgressStep(const Counts& counts, const StopRules& stop);

// A steadily growing count and its counts per second, which time the points. The steady clock
// unless a run is given another (a test's).
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::int64_t Count() = 0;
    virtual std::int64_t Frequency() = 0;
};

// How a run is watched, stopped and timed; all optional.
struct RunControls {
    Observer* observer = nullptr;
    // Set from any thread (a signal handler, another thread) to stop the run soon: the point
    // running is dropped, and the results hold the points finished before it.
    const std::atomic<bool>* stop = nullptr;
    // Progress every this many seconds as well as at each step; 0 for steps alone.
    double progressEvery = 0.0;
    Clock* clock = nullptr;
    // Runs the points from this index on, as a resumed run does: each keeps the stream it
    // would have had in the whole run, and the observer hears their indices among all.
    std::size_t firstPoint = 0;
};

// What a simulator may take of the machine.
struct Resources {
    // The bytes the run may use: a run that would need more is refused. The machine's
    // available memory when not given.
    std::optional<std::uint64_t> memory;
    // Other processes' lanes (rs-sim-mpi's ranks), which the fast engine shares a point with.
    std::shared_ptr<const RemoteWorkers> remote;
};

class Simulator {
  public:
    // Checks the experiment and makes its engines. The error is the message the program
    // prints for the same experiment (a code out of range, memory the machine lacks).
    static Expected<Simulator> Make(const Experiment& experiment, const Resources& resources = {});
    Simulator(Simulator&&) noexcept;
    Simulator& operator=(Simulator&&) noexcept;
    ~Simulator();

    // The engine that runs the blocks: "fast" or "reference".
    const char* EngineName() const;

    // Runs the experiment whole, once. The error, when there is no result, says what ended it
    // (memory that ran out midway).
    Expected<Results> Run(const RunControls& controls = {});

    struct State;

  private:
    explicit Simulator(std::unique_ptr<State> state);
    std::unique_ptr<State> state;
};

// Make, then Run.
Expected<Results> Simulate(const Experiment& experiment, const RunControls& controls = {});

// The library's version, "MAJOR.MINOR.PATCH".
const char* Version();

}  // namespace rs_sim
