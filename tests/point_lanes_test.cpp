// Points run several at once and handed on in sweep order: what the stress test's comparison
// with one thread cannot see, the console's stars while a point runs, and how a sweep stops.
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

#include "simulator/point_lanes.h"
#include "report/text/status_line.h"
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
    void RunBlocks(PointStatistics& statistics, std::int32_t /*blockLimit*/) override {
        if (beforeBlocks) {
            beforeBlocks(current, statistics.blocks);
        }
        ++statistics.blocks;
    }

  private:
    float current = 0.0F;
};

struct Lanes {
    explicit Lanes(int count, std::int32_t maxBlocks)
        : parameters{1.0F, 0.0F, 0.1F, maxBlocks, 1, 4, 1} {
        for (int i = 0; i < count; ++i) {
            auto engine = std::make_unique<ScriptedEngine>();
            engine->starts = &starts;
            scripted.push_back(engine.get());
            engines.push_back(std::move(engine));
        }
    }
    LaneSetup Setup() {
        return {parameters, 15,     13, [](std::size_t) { return SeededState(1234); },
                engines,    counter};
    }

    SimulationParameters parameters;
    std::vector<std::unique_ptr<Engine>> engines;
    std::vector<ScriptedEngine*> scripted;
    std::atomic<int> starts{0};
    testing::SecondPerPointCounter counter;
};

TEST(PointLanes, TheFirstPointsStarsShowWhileItRuns) {
    // The first point's lane waits, halfway, for a star on the console: were the point's text
    // held until it ended, it would wait in vain.
    Lanes lanes(2, 60);
    std::mutex mutex;
    std::condition_variable shown;
    bool starSeen = false;
    std::atomic<bool> waitedInVain{false};
    for (ScriptedEngine* engine : lanes.scripted) {
        engine->beforeBlocks = [&](float P0, std::int32_t blocks) {
            if (P0 == 0.5F && blocks == 30) {
                std::unique_lock<std::mutex> hold(mutex);
                waitedInVain =
                    !shown.wait_for(hold, std::chrono::seconds(20), [&] { return starSeen; });
            }
        };
    }
    testing::CapturingStream console;
    console.onWrite = [&](std::string_view piece) {
        if (piece.find('*') != std::string_view::npos) {
            const std::lock_guard<std::mutex> hold(mutex);
            starSeen = true;
            shown.notify_all();
        }
    };
    const float points[] = {0.5F, 0.4F, 0.3F};
    PointLanes sweep(lanes.Setup(), points);
    std::vector<float> handedOn;
    EXPECT_TRUE(sweep.Run(console, [&](const PointRecord& record, std::string_view lines) {
        handedOn.push_back(record.P0);
        EXPECT_NE(lines.find("Experiment time"), std::string_view::npos);
        return true;
    }));
    EXPECT_FALSE(waitedInVain);
    EXPECT_EQ(handedOn, std::vector<float>(std::begin(points), std::end(points)));
}

TEST(PointLanes, EveryPointIsHandedOnInOrderUntilTheSweepStops) {
    // Far more points than lanes run ahead; a sweep stopped at its second point leaves its
    // lanes with a bounded number of points started.
    for (const int stopAt : {0, 2}) {
        Lanes lanes(3, 5);
        std::vector<float> points;
        for (int i = 0; i < 400; ++i) {
            points.push_back(1.0F - 0.002F * static_cast<float>(i));
        }
        PointLanes sweep(lanes.Setup(), points);
        testing::CapturingStream console;
        std::vector<float> handedOn;
        const bool ran = sweep.Run(console, [&](const PointRecord& record, std::string_view) {
            handedOn.push_back(record.P0);
            return static_cast<int>(handedOn.size()) != stopAt;
        });
        if (stopAt == 0) {
            EXPECT_TRUE(ran);
            EXPECT_EQ(handedOn, points);
        } else {
            EXPECT_FALSE(ran);
            EXPECT_EQ(handedOn.size(), 2U);
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
    testing::CapturingStream console;
    std::vector<float> handedOn;
    EXPECT_THROW(sweep.Run(console,
                           [&](const PointRecord& record, std::string_view) {
                               handedOn.push_back(record.P0);
                               return true;
                           }),
                 std::bad_alloc);
    EXPECT_EQ(handedOn, (std::vector<float>{0.5F, 0.4F, 0.3F}));
}

// While the point being handed on runs, the calling thread shows its status, and the screen
// ends as the console text alone leaves it.
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
        StatusConsole console(terminal, 100);
        LaneSetup setup = lanes.Setup();
        setup.status = status ? &console : nullptr;
        setup.statusAfter = 0.0;
        PointLanes lanesRun(setup, points);
        EXPECT_TRUE(
            lanesRun.Run(console, [&](const PointRecord&, std::string_view) { return true; }));
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
