// Points run several at once and told of in sweep order: what the stress test's comparison
// with one thread cannot see, the front point's progress while it runs, how far lanes run
// ahead, and how a sweep stops.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "report/text/status_line.h"
#include "simulator/point_lanes.h"
#include "sweep_harness.h"
#include "test_support.h"

namespace rs {
namespace {

// Sends blocks without errors, one at a time, and can hold a point's run or fail its start.
class ScriptedEngine final : public Engine {
  public:
    // Runs before each run of blocks, with the point's P0 and its blocks so far.
    std::function<void(float, std::int32_t)> beforeBlocks;
    // Points started, across every lane.
    std::atomic<int>* starts = nullptr;
    float failingP0 = -1.0F;

    void StartPointAt(float P0, PackedState /*start*/) override {
        if (starts != nullptr) {
            ++*starts;
        }
        if (P0 == failingP0) {
            throw std::bad_alloc();
        }
        current = P0;
    }
    void RunBlocks(PointStatistics& statistics, std::int64_t /*blockLimit*/) override {
        if (beforeBlocks) {
            beforeBlocks(current, statistics.blocks);
        }
        ++statistics.blocks;
    }

  private:
    float current = 0.0F;
};

struct Lanes {
    explicit Lanes(int count, std::int32_t maxBlocks) : limits{maxBlocks, 1} {
        for (int i = 0; i < count; ++i) {
            auto engine = std::make_unique<ScriptedEngine>();
            engine->starts = &starts;
            scripted.push_back(engine.get());
            engines.push_back(std::move(engine));
        }
    }
    LaneSetup Setup() {
        return {limits, [](std::size_t) { return SeededState(1234); }, engines, counter};
    }

    rs_sim::StopRules limits;
    std::vector<std::unique_ptr<Engine>> engines;
    std::vector<ScriptedEngine*> scripted;
    std::atomic<int> starts{0};
    testing::SecondPerPointCounter counter;
};

// What the calling thread is told, point by point.
class Told final : public SweepListener {
  public:
    void Started(std::size_t, float) override {}
    void Progress(std::size_t point, const PointStatistics& sofar, double) override {
        if (onProgress) {
            onProgress(point, sofar);
        }
    }
    void Counted(std::size_t, const PointStatistics& counts) override { counted.push_back(counts); }
    bool Finished(std::size_t, const PointRecord& record) override {
        finished.push_back(record.P0);
        return static_cast<int>(finished.size()) != stopAt;
    }

    std::function<void(std::size_t, const PointStatistics&)> onProgress;
    std::vector<PointStatistics> counted;
    std::vector<float> finished;
    int stopAt = -1;
};

TEST(PointLanes, TheFrontPointsProgressIsToldWhileItRuns) {
    // The point's lane waits, halfway, to be told of: were its progress held until it ended,
    // or the calling thread not woken by it, it would wait in vain.
    Lanes lanes(1, 60);
    std::mutex mutex;
    std::condition_variable told;
    bool progressSeen = false;
    std::atomic<bool> waitedInVain{false};
    lanes.scripted[0]->beforeBlocks = [&](float, std::int32_t blocks) {
        if (blocks == 30) {
            std::unique_lock<std::mutex> hold(mutex);
            waitedInVain =
                !told.wait_for(hold, std::chrono::seconds(5), [&] { return progressSeen; });
        }
    };
    Told listener;
    listener.onProgress = [&](std::size_t, const PointStatistics& sofar) {
        if (sofar.blocks >= 2 && sofar.blocks <= 30) {
            const std::lock_guard<std::mutex> hold(mutex);
            progressSeen = true;
            told.notify_all();
        }
    };
    const float points[] = {0.5F};
    PointLanes sweep(lanes.Setup(), points);
    EXPECT_TRUE(sweep.Run(listener));
    EXPECT_FALSE(waitedInVain);
    ASSERT_EQ(listener.counted.size(), 1U);
    EXPECT_EQ(listener.counted[0].blocks, 60);
}

TEST(PointLanes, LanesRunAtMostTheirLeadAheadOfTheFrontPoint) {
    // The front point holds its lane; the other lane takes every point it may, and no more.
    Lanes lanes(2, 3);
    std::atomic<bool> release{false};
    for (ScriptedEngine* engine : lanes.scripted) {
        engine->beforeBlocks = [&](float P0, std::int32_t) {
            while (P0 == 1.0F && !release.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
    }
    std::vector<float> points;
    for (int i = 0; i < 200; ++i) {
        points.push_back(1.0F - 0.001F * static_cast<float>(i));
    }
    PointLanes sweep(lanes.Setup(), points);
    std::thread releaser([&] {
        // Once the other lane has taken its lead it must wait for the front, however long.
        const auto lead = static_cast<int>(PointLanes::kMostPointsAhead);
        for (int waited = 0; lanes.starts.load() < lead && waited < 20000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(lanes.starts.load(), lead);
        release = true;
    });
    Told listener;
    EXPECT_TRUE(sweep.Run(listener));
    releaser.join();
    EXPECT_EQ(listener.finished, points);
}

TEST(PointLanes, EveryPointIsToldInOrderUntilTheSweepStops) {
    // Far more points than lanes run ahead; a sweep stopped at its second point leaves its
    // lanes with a bounded number of points started.
    for (const int stopAt : {0, 2}) {
        Lanes lanes(3, 5);
        std::vector<float> points;
        for (int i = 0; i < 400; ++i) {
            points.push_back(1.0F - 0.002F * static_cast<float>(i));
        }
        PointLanes sweep(lanes.Setup(), points);
        Told listener;
        listener.stopAt = stopAt;
        const bool ran = sweep.Run(listener);
        if (stopAt == 0) {
            EXPECT_TRUE(ran);
            EXPECT_EQ(listener.finished, points);
        } else {
            EXPECT_FALSE(ran);
            EXPECT_EQ(listener.finished.size(), 2U);
            EXPECT_LE(lanes.starts.load(), static_cast<int>(2 + PointLanes::kMostPointsAhead + 3));
        }
    }
}

TEST(PointLanes, ALanesFailureComesInItsPointsTurn) {
    Lanes lanes(2, 5);
    for (ScriptedEngine* engine : lanes.scripted) {
        engine->failingP0 = 0.25F;
    }
    const float points[] = {0.5F, 0.4F, 0.3F, 0.25F, 0.2F};
    PointLanes sweep(lanes.Setup(), points);
    Told listener;
    EXPECT_THROW(sweep.Run(listener), std::bad_alloc);
    EXPECT_EQ(listener.finished, (std::vector<float>{0.5F, 0.4F, 0.3F}));
}

// While the point being told of runs, the console shows its status, and the screen ends as
// the console text alone leaves it.
TEST(PointLanes, TheRunningPointsStatusShowsAndGoes) {
    const float points[] = {0.5F, 0.4F, 0.3F};
    const auto sweep = [&](bool status) {
        Lanes lanes(2, 400);
        for (ScriptedEngine* engine : lanes.scripted) {
            engine->beforeBlocks = [](float, std::int32_t) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            };
        }
        testing::CapturingStream terminal;
        testing::CapturingStream results;
        StatusConsole console(terminal, 100);
        testing::Simulation simulation({1.0F, 0.0F, 0.1F, 400, 1, 4, 1}, 15, 13,
                                       std::move(lanes.engines), console, results, lanes.counter);
        simulation.SetStatus(status ? &console : nullptr, 0.0);
        EXPECT_TRUE(simulation.RunSweep(points));
        return terminal.text;
    };
    const std::string shown = sweep(true);
    const std::string plain = sweep(false);
    EXPECT_NE(shown.find(" blocks  "), std::string::npos);
    EXPECT_EQ(plain.find(" blocks  "), std::string::npos);
    EXPECT_EQ(testing::Screen(shown), testing::Screen(plain));
}

}  // namespace
}  // namespace rs
