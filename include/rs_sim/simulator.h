#pragma once

// Running an experiment: one call that runs it whole and returns its results, an observer
// that hears of each point as it goes, and a flag that stops it early.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "rs_sim/experiment.h"
#include "rs_sim/results.h"

namespace rs_sim {

// Hears of a Monte-Carlo run point by point, on the thread that called Simulate, points in
// order; a stratified run calls Round after each round of patterns.
class Observer {
  public:
    virtual ~Observer() = default;
    // The point at index among the experiment's points starts.
    virtual void PointStarted(std::size_t /*index*/, float /*P0*/) {}
    // The counts so far of the running point, after seconds, about four times a second.
    virtual void Progress(std::size_t /*index*/, const Counts& /*sofar*/, double /*seconds*/) {}
    // The point is done. Returning false stops the run (its results then end with this point).
    virtual bool PointFinished(std::size_t /*index*/, const PointResult& /*result*/) {
        return true;
    }
    // A stratified run finished a round with patterns decoded so far, after seconds.
    virtual void Round(int /*round*/, std::int64_t /*patterns*/, double /*seconds*/) {}
};

// How a run is watched and stopped; all optional.
struct RunControls {
    Observer* observer = nullptr;
    // Set from any thread (a signal handler, another thread) to stop the run soon: the point
    // running is dropped and the results hold the points finished before it.
    const std::atomic<bool>* stop = nullptr;
};

// Runs the experiment whole. The error, when there is no result, is the message the program
// prints for the same experiment (a refused experiment, memory the machine lacks).
Expected<Results> Simulate(const Experiment& experiment, const RunControls& controls = {});

// The library's version, "MAJOR.MINOR.PATCH".
const char* Version();

}  // namespace rs_sim
