#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace rs {

// The CPUs a CFS quota of quota microseconds per period allows, rounded up; none for no quota
// (-1 in cgroup v1) or for numbers that make no sense.
std::optional<std::int32_t> CfsQuotaCap(std::int64_t quota, std::int64_t period);

// The CPUs a cgroup v2 cpu.max text ("max 100000" or "quota period") allows; none for "max"
// or text that is not of that form.
std::optional<std::int32_t> CpuMaxCap(std::string_view cpuMax);

// The affinity count held to the quota's cap, at least 1.
std::int32_t CappedCpuCount(std::int32_t affinityCpus, std::optional<std::int32_t> cap);

// The CPUs in the calling thread's affinity mask, however many the machine has; none when the
// kernel will not tell.
std::optional<std::int32_t> AffinityCpuCount();

// The cap of the CPU quota on the process's own cgroup, v2 or v1, where one is set.
std::optional<std::int32_t> CgroupCpuCap();

// The CPUs this process may run on at once: its affinity mask (the hardware threads where that
// is unknown) held to its cgroup's quota, at least 1.
std::int32_t UsableCpuCount();

}  // namespace rs
