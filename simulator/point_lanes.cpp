#include "simulator/point_lanes.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/contract.h"

namespace rs {

class PointLanes::HeldListener final : public PointListener {
  public:
    HeldListener(PointLanes& lanes, std::size_t point) : lanes(lanes), point(point) {}

    void Progress(const PointStatistics& sofar, double seconds) override {
        {
            MutexLock hold(lanes.lock);
            HeldPoint& held = lanes.held[point];
            held.sofar = sofar;
            held.seconds = seconds;
            ++held.progressed;
        }
        // The calling thread tells of the front point's progress as it comes.
        lanes.changed.notify_all();
    }
    void Counted(const PointStatistics& counts) override {
        MutexLock hold(lanes.lock);
        lanes.held[point].counted = counts;
    }

  private:
    PointLanes& lanes;
    const std::size_t point;
};

class PointLanes::LockedClock final : public rs_sim::Clock {
  public:
    explicit LockedClock(rs_sim::Clock& clock) : clock(clock) {}
    std::int64_t Count() override {
        MutexLock held(lock);
        return clock.Count();
    }
    std::int64_t Frequency() override {
        MutexLock held(lock);
        return clock.Frequency();
    }

  private:
    Mutex lock;
    rs_sim::Clock& clock RS_GUARDED_BY(lock);
};

PointLanes::PointLanes(const LaneSetup& setup, std::span<const float> points)
    : limits(setup.limits),
      startOf(setup.startOf),
      points(points),
      clock(std::make_unique<LockedClock>(setup.clock)),
      progressEvery(setup.progressEvery),
      externalStop(setup.stop) {
    RS_ASSERT(!setup.engines.empty(), "lanes run on at least one engine");
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
        HeldListener listener(*this, point);
        PointRunner runner(limits, engine, *clock);
        std::optional<PointRecord> record;
        std::exception_ptr failure;
        try {
            record = runner.Run({points[point], startOf(point)}, std::nullopt, listener,
                                progressEvery, &stop);
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

PointLanes::HeldPoint PointLanes::Await(std::size_t point, std::uint64_t forwarded) {
    const auto stopAsked = [this] {
        return externalStop != nullptr && externalStop->load(std::memory_order_relaxed);
    };
    MutexLock hold(lock);
    while (!held[point].done && held[point].progressed == forwarded && !stopAsked()) {
        if (externalStop == nullptr) {
            lock.Await(changed);
        } else {
            // Nothing notifies of the flag: it is looked at a few times a second.
            lock.AwaitFor(changed, std::chrono::milliseconds(100));
        }
    }
    if (!held[point].done) {
        return held[point];
    }
    front = point + 1;
    return std::move(held[point]);
}

bool PointLanes::Run(SweepListener& listener) {
    for (std::size_t point = 0; point < points.size(); ++point) {
        listener.Started(point, points[point]);
        std::uint64_t forwarded = 0;
        HeldPoint told = Await(point, forwarded);
        for (; !told.done; told = Await(point, forwarded)) {
            if (externalStop != nullptr && externalStop->load(std::memory_order_relaxed)) {
                Stop();
                return false;
            }
            // The listener's work holds no lane up: it runs outside the lock.
            listener.Progress(point, told.sofar, told.seconds);
            forwarded = told.progressed;
        }
        changed.notify_all();  // a lane may take a point further ahead
        if (told.failure) {
            Stop();
            std::rethrow_exception(told.failure);
        }
        if (!told.record) {
            Stop();
            return false;
        }
        if (told.progressed != forwarded) {
            listener.Progress(point, told.sofar, told.seconds);
        }
        RS_ASSERT(told.counted.has_value(), "a finished point was counted first");
        listener.Counted(point, *told.counted);
        if (!listener.Finished(point, *told.record)) {
            Stop();
            return false;
        }
    }
    return true;
}

}  // namespace rs
