#pragma once

#include <cstdint>

#include "rs_sim/simulator.h"

namespace rs {

// A steadily growing 64-bit count and its rate in counts per second, for timing sweep points.
using PerformanceCounter = rs_sim::Clock;

// The monotonic clock: unaffected by changes of the wall-clock time during a run.
class SteadyPerformanceCounter final : public PerformanceCounter {
  public:
    std::int64_t Count() override;
    std::int64_t Frequency() override;
};

}  // namespace rs
