#include "system/performance_counter.h"

#include <chrono>

namespace rs {

std::int64_t SteadyPerformanceCounter::Count() {
    return static_cast<std::int64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::int64_t SteadyPerformanceCounter::Frequency() {
    using Period = std::chrono::steady_clock::period;
    return static_cast<std::int64_t>(Period::den / Period::num);
}

}  // namespace rs
