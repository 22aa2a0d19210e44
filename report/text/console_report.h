#pragma once

#include <cstdint>
#include <functional>

#include "report/text/status_line.h"
#include "rs_sim/simulator.h"
#include "system/output_stream.h"

namespace rs {

inline constexpr std::int32_t kBarWidth = rs_sim::kProgressSteps;

// Thousands of information symbols per second.
double TransmittingSpeed(std::int64_t blocks, std::int32_t k, double experimentTime);

// What the console report writes to and calls.
struct ConsoleReportSetup {
    OutputStream& console;
    OutputStream& results;
    rs_sim::StopRules limits;
    rs_sim::CodeFacts code;
    // BPSK over AWGN heads each point with its Eb/N0; a channel that flips bits adds its bit
    // error rate to the console's statistics. The results file's points stay as they are.
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    // The status line under a long point, on the console; none when null.
    StatusConsole* status = nullptr;
    double statusAfter = kStatusAfter;  // the seconds a point runs before its status shows
    // Called after a point's lines are written: false stops the run.
    std::function<bool(const rs_sim::PointResult&)> finished;
};

// A Monte-Carlo sweep's text, point by point, on the console and in the results stream: the
// heading and the ruler as a point starts, a star a step as it progresses, its statistics when
// counted, then its time and throughput.
class ConsoleReport final : public rs_sim::Observer {
  public:
    explicit ConsoleReport(const ConsoleReportSetup& setup) : setup(setup) {}

    void PointStarted(std::size_t index, float P0) override;
    void PointEstimated(std::size_t index, double blockSeconds, double pointSeconds) override;
    void Progress(std::size_t index, const rs_sim::Counts& sofar, double seconds) override;
    void PointCounted(std::size_t index, const rs_sim::PointResult& result) override;
    bool PointFinished(std::size_t index, const rs_sim::PointResult& result) override;

  private:
    const ConsoleReportSetup setup;
    std::int32_t starsShown = 0;
    double statusShownAt = 0.0;  // the point's seconds at its last status
};

}  // namespace rs
