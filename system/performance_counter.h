#pragma once

#include <cstdint>

namespace rs {

// A steadily growing 64-bit count and its rate in counts per second, for timing sweep points.
class PerformanceCounter {
  public:
    virtual ~PerformanceCounter() = default;
    virtual std::int64_t Count() = 0;
    virtual std::int64_t Frequency() = 0;
};

// The monotonic clock: unaffected by changes of the wall-clock time during a run.
class SteadyPerformanceCounter final : public PerformanceCounter {
  public:
    std::int64_t Count() override;
    std::int64_t Frequency() override;
};

}  // namespace rs
