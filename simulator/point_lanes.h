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
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/parameter_file.h"
#include "engine/engine.h"
#include "engine/parallel/thread_annotations.h"
#include "report/text/status_line.h"
#include "simulator/point_runner.h"
#include "system/output_stream.h"
#include "system/performance_counter.h"

namespace rs {

// What every lane shares: the experiment, the code, where each point's stream starts (by its
// index among the points), an engine per lane and the clock.
struct LaneSetup {
    const SimulationParameters& parameters;
    std::int32_t n;
    std::int32_t k;
    std::function<PackedState(std::size_t)> startOf;
    std::span<const std::unique_ptr<Engine>> engines;
    PerformanceCounter& counter;
    // Where the point being handed on shows its status while it runs long; none when null.
    StatusConsole* status = nullptr;
    double statusAfter = kStatusAfter;  // the seconds a point runs before its status shows
};

// A sweep's points, several at once: each lane thread takes the next point not yet taken and
// runs it whole on its own engine, so its counts are those of one thread. The calling thread
// hands the points on in sweep order: the console gets the earliest unfinished point's text as
// it comes, stars included, and a later point's text when its turn comes. Lanes run at most
// kMostPointsAhead points past the one being handed on, so held text stays small.
class PointLanes {
  public:
    // Hands a finished point on: its record and its results lines. False stops the sweep.
    using Finish = std::function<bool(const PointRecord&, std::string_view resultsLines)>;

    static constexpr std::size_t kMostPointsAhead = 64;

    PointLanes(const LaneSetup& setup, std::span<const float> points);
    // Stops the lanes and waits for them.
    ~PointLanes();
    PointLanes(const PointLanes&) = delete;
    PointLanes& operator=(const PointLanes&) = delete;

    // Runs every point and hands each on through finish. False as soon as finish is false; an
    // exception thrown in a lane (out of memory) is thrown here when its point's turn comes.
    bool Run(OutputStream& console, const Finish& finish);

  private:
    // A point's lines as its lane writes them, until the calling thread takes them.
    struct HeldPoint {
        std::string console;
        std::string results;
        std::optional<PointRecord> record;
        std::exception_ptr failure;
        bool done = false;
        PointStatistics sofar;  // the counts so far, for the status line
        double seconds = 0.0;   // the point's seconds at sofar
    };
    // A lane's text for one point, into its held point.
    class HeldStream;
    // The lanes share the clock, which need not be safe across threads.
    class LockedCounter;

    void Lane(Engine& engine);
    void Append(std::size_t point, bool console, std::string_view text) RS_EXCLUDES(lock);
    void Stop() RS_EXCLUDES(lock);

    const SimulationParameters& parameters;
    const std::int32_t n;
    const std::int32_t k;
    const std::function<PackedState(std::size_t)> startOf;
    const std::span<const float> points;
    std::unique_ptr<LockedCounter> counter;
    StatusConsole* const status;
    const double statusAfter;
    Mutex lock;
    std::condition_variable changed;  // a point was taken, written to or finished; or stop
    std::vector<HeldPoint> held RS_GUARDED_BY(lock);  // by index into points
    std::size_t nextPoint RS_GUARDED_BY(lock) = 0;    // the first point no lane has taken
    std::size_t front RS_GUARDED_BY(lock) = 0;        // the first point not yet handed on
    std::atomic<bool> stop{false};   // read by the lanes' points between runs of blocks
    std::vector<std::thread> lanes;  // last, so that it starts after the rest is set up
};

}  // namespace rs
