#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "base/thread_annotations.h"
#include "simulator/point_runner.h"

namespace rs {

// What a sweep tells of its points, on the thread that runs the sweep, point by point in order.
class SweepListener {
  public:
    virtual ~SweepListener() = default;
    virtual void Started(std::size_t point, float P0) = 0;
    virtual void Progress(std::size_t point, const PointStatistics& sofar, double seconds) = 0;
    virtual void Counted(std::size_t point, const PointStatistics& counts) = 0;
    // False stops the sweep.
    virtual bool Finished(std::size_t point, const PointRecord& record) = 0;
};

// What every lane shares: the limits, where each point's stream starts (by its index among the
// points), an engine per lane, the clock, how often progress is timed, and a stop flag.
struct LaneSetup {
    rs_sim::StopRules limits;
    std::function<PackedState(std::size_t)> startOf;
    std::span<const std::unique_ptr<Engine>> engines;
    rs_sim::Clock& clock;
    double progressEvery = 0.0;
    const std::atomic<bool>* stop = nullptr;
};

// A sweep's points, several at once: each lane thread takes the next point not yet taken and
// runs it whole on its own engine, so its counts are those of one thread. The calling thread
// tells of the points in sweep order: the earliest unfinished point's progress as it comes, a
// later point's when its turn comes. Lanes run at most kMostPointsAhead points past the one
// being told of, so what is held stays small.
class PointLanes {
  public:
    static constexpr std::size_t kMostPointsAhead = 64;

    PointLanes(const LaneSetup& setup, std::span<const float> points);
    // Stops the lanes and waits for them.
    ~PointLanes();
    PointLanes(const PointLanes&) = delete;
    PointLanes& operator=(const PointLanes&) = delete;

    // Runs every point and tells listener of each. False as soon as the listener or the stop
    // flag stops the sweep; an exception thrown in a lane (out of memory) is thrown here when
    // its point's turn comes.
    bool Run(SweepListener& listener);

  private:
    // What a lane's point told, until the calling thread takes it.
    struct HeldPoint {
        std::uint64_t progressed = 0;  // progress calls so far
        PointStatistics sofar;
        double seconds = 0.0;  // the point's seconds at sofar
        std::optional<PointStatistics> counted;
        std::optional<PointRecord> record;
        std::exception_ptr failure;
        bool done = false;
    };
    // A lane's point's events, into its held point.
    class HeldListener;
    // The lanes share the clock, which need not be safe across threads.
    class LockedClock;

    void Lane(Engine& engine);
    void Stop() RS_EXCLUDES(lock);
    // Waits for the point to finish or tell more than forwarded progress; the held point then.
    HeldPoint Await(std::size_t point, std::uint64_t forwarded) RS_EXCLUDES(lock);

    const rs_sim::StopRules limits;
    const std::function<PackedState(std::size_t)> startOf;
    const std::span<const float> points;
    std::unique_ptr<LockedClock> clock;
    const double progressEvery;
    const std::atomic<bool>* const externalStop;
    Mutex lock;
    std::condition_variable changed;  // a point was taken, progressed or finished; or stop
    std::vector<HeldPoint> held RS_GUARDED_BY(lock);  // by index into points
    std::size_t nextPoint RS_GUARDED_BY(lock) = 0;    // the first point no lane has taken
    std::size_t front RS_GUARDED_BY(lock) = 0;        // the first point not yet told of
    std::atomic<bool> stop{false};   // read by the lanes' points between runs of blocks
    std::vector<std::thread> lanes;  // last, so that it starts after the rest is set up
};

}  // namespace rs
