#include "simulator/point_lanes.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace rs {

class PointLanes::HeldStream final : public OutputStream {
  public:
    HeldStream(PointLanes& lanes, std::size_t point, bool console)
        : lanes(lanes), point(point), console(console) {}
    void Write(std::string_view text) override { lanes.Append(point, console, text); }
    // The calling thread writes the text on, and learns there whether it could.
    bool Flush() override { return true; }

  private:
    PointLanes& lanes;
    const std::size_t point;
    const bool console;
};

class PointLanes::LockedCounter final : public PerformanceCounter {
  public:
    explicit LockedCounter(PerformanceCounter& counter) : counter(counter) {}
    std::int64_t Count() override {
        MutexLock held(lock);
        return counter.Count();
    }
    std::int64_t Frequency() override {
        MutexLock held(lock);
        return counter.Frequency();
    }

  private:
    Mutex lock;
    PerformanceCounter& counter RS_GUARDED_BY(lock);
};

PointLanes::PointLanes(const LaneSetup& setup, std::span<const float> points)
    : parameters(setup.parameters),
      n(setup.n),
      k(setup.k),
      startOf(setup.startOf),
      points(points),
      counter(std::make_unique<LockedCounter>(setup.counter)),
      status(setup.status),
      statusAfter(setup.statusAfter) {
    {
        MutexLock hold(lock);
        held.resize(points.size());
    }
    const std::size_t count = std::min(setup.engines.size(), points.size());
    lanes.reserve(count);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            lanes.emplace_back([this, &engine = *setup.engines[i]] { Lane(engine); });
        }
    } catch (...) {
        // No thread to be had: the lanes that started must not outlive the sweep.
        Stop();
        for (std::thread& lane : lanes) {
            lane.join();
        }
        throw;
    }
}

PointLanes::~PointLanes() {
    Stop();
    for (std::thread& lane : lanes) {
        lane.join();
    }
}

void PointLanes::Stop() {
    {
        MutexLock hold(lock);
        stop.store(true, std::memory_order_relaxed);
    }
    changed.notify_all();
}

void PointLanes::Append(std::size_t point, bool console, std::string_view text) {
    {
        MutexLock hold(lock);
        (console ? held[point].console : held[point].results).append(text);
    }
    if (console) {
        changed.notify_all();
    }
}

void PointLanes::Lane(Engine& engine) {
    for (;;) {
        std::size_t point = 0;
        {
            MutexLock hold(lock);
            while (!stop.load(std::memory_order_relaxed) && nextPoint < points.size() &&
                   nextPoint >= front + kMostPointsAhead) {
                lock.Await(changed);
            }
            if (stop.load(std::memory_order_relaxed) || nextPoint == points.size()) {
                return;
            }
            point = nextPoint++;
        }
        HeldStream console(*this, point, true);
        HeldStream results(*this, point, false);
        PointRun run(parameters, n, k, engine, console, results, *counter);
        if (status != nullptr) {
            run.SetProgress([this, point](const PointStatistics& sofar, double seconds) {
                MutexLock hold(lock);
                held[point].sofar = sofar;
                held[point].seconds = seconds;
            });
        }
        std::optional<PointRecord> record;
        std::exception_ptr failure;
        try {
            record = run.Run({points[point], startOf(point)}, std::nullopt, &stop);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            MutexLock hold(lock);
            held[point].record = record;
            held[point].failure = failure;
            held[point].done = true;
        }
        changed.notify_all();
        if (failure || !record) {
            return;
        }
    }
}

bool PointLanes::Run(OutputStream& console, const Finish& finish) {
    for (std::size_t point = 0; point < points.size(); ++point) {
        std::size_t shown = 0;
        HeldPoint finished;
        double statusShownAt = -kStatusEvery;  // shown as soon as the point runs long
        // The status is due when the point has run long and its counts moved on since.
        const auto due = [&](const HeldPoint& running) {
            return status != nullptr && !running.done && running.seconds >= statusAfter &&
                   running.seconds - statusShownAt >= kStatusEvery;
        };
        for (bool done = false; !done;) {
            std::string text;
            std::string statusLine;
            {
                MutexLock hold(lock);
                while (!held[point].done && held[point].console.size() == shown &&
                       !due(held[point])) {
                    if (status == nullptr) {
                        lock.Await(changed);
                    } else {
                        // Wakes to show the point's status while it runs long.
                        lock.AwaitFor(changed, std::chrono::duration<double>(kStatusEvery));
                    }
                }
                text = held[point].console.substr(shown);
                done = held[point].done;
                if (done) {
                    finished = std::move(held[point]);
                    front = point + 1;
                } else if (due(held[point])) {
                    statusLine = StatusText(held[point].sofar, parameters, held[point].seconds);
                    statusShownAt = held[point].seconds;
                }
            }
            // The terminal's writes hold no lane up.
            shown += text.size();
            if (!text.empty()) {
                console.Write(text);
            }
            if (!statusLine.empty()) {
                status->Show(statusLine);
            }
        }
        changed.notify_all();  // a lane may take a point further ahead
        if (finished.failure) {
            Stop();
            std::rethrow_exception(finished.failure);
        }
        if (!finished.record || !finish(*finished.record, finished.results)) {
            Stop();
            return false;
        }
    }
    return true;
}

}  // namespace rs
