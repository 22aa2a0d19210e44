#include "system/cpu_count.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace rs {

namespace {

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    constexpr std::string_view kSpace = " \t\n";
    std::size_t start = text.find_first_not_of(kSpace);
    while (start != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(kSpace, start), text.size());
        words.push_back(text.substr(start, end - start));
        start = text.find_first_not_of(kSpace, end);
    }
    return words;
}

// Whether a comma-separated list such as "rw,cpu,cpuacct" holds the item.
bool ListHolds(std::string_view list, std::string_view item) {
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        if (list.substr(0, comma) == item) {
            return true;
        }
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return false;
}

std::optional<std::string> ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file that holds one integer, such as cpu.cfs_quota_us.
std::optional<std::int64_t> ReadInteger(const std::filesystem::path& path) {
    const std::optional<std::string> text = ReadText(path);
    if (!text) {
        return std::nullopt;
    }
    const std::vector<std::string_view> words = Words(*text);
    return words.size() == 1 ? ParseInteger(words[0]) : std::nullopt;
}

// The directory of the process's cgroup: in the v2 hierarchy, or in the one of v1's cpu
// controller. A mount shows its hierarchy from its root on, which inside a container may be the
// container's own cgroup.
std::optional<std::filesystem::path> CgroupDirectory(bool v2) {
    std::optional<std::string> cgroup;
    std::ifstream cgroups("/proc/self/cgroup");
    for (std::string line; !cgroup && std::getline(cgroups, line);) {
        // "hierarchy:controllers:path"; v2 is hierarchy 0 without controllers.
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        const std::string_view controllers(line.data() + first + 1, second - first - 1);
        if (v2 ? line.starts_with("0::") : ListHolds(controllers, "cpu")) {
            cgroup = line.substr(second + 1);
        }
    }
    if (!cgroup) {
        return std::nullopt;
    }
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        // "id parent device root point options [tags] - type source superoptions"
        const std::size_t dash = line.find(" - ");
        if (dash == std::string::npos) {
            continue;
        }
        const std::vector<std::string_view> mount = Words(std::string_view(line).substr(0, dash));
        const std::vector<std::string_view> kind = Words(std::string_view(line).substr(dash + 3));
        if (mount.size() < 5 || kind.size() < 3 ||
            !(v2 ? kind[0] == "cgroup2" : kind[0] == "cgroup" && ListHolds(kind[2], "cpu"))) {
            continue;
        }
        const std::string root(mount[3]);
        const std::string point(mount[4]);
        if (root == "/") {
            return point + *cgroup;
        }
        if (*cgroup == root || cgroup->starts_with(root + "/")) {
            return point + cgroup->substr(root.size());
        }
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::int32_t> CfsQuotaCap(std::int64_t quota, std::int64_t period) {
    if (quota <= 0 || period <= 0) {
        return std::nullopt;
    }
    const std::int64_t cpus = quota / period + (quota % period != 0 ? 1 : 0);
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(cpus, std::numeric_limits<std::int32_t>::max()));
}

std::optional<std::int32_t> CpuMaxCap(std::string_view cpuMax) {
    const std::vector<std::string_view> words = Words(cpuMax);
    if (words.size() != 2) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> quota = ParseInteger(words[0]);
    const std::optional<std::int64_t> period = ParseInteger(words[1]);
    if (!quota || !period) {
        return std::nullopt;
    }
    return CfsQuotaCap(*quota, *period);
}

std::int32_t CappedCpuCount(std::int32_t affinityCpus, std::optional<std::int32_t> cap) {
    return std::max(1, cap ? std::min(affinityCpus, *cap) : affinityCpus);
}

std::optional<std::int32_t> AffinityCpuCount() {
    // A fixed cpu_set_t holds 1024 CPUs; the kernel refuses a mask smaller than its own, so the
    // set grows until it fits.
    for (std::size_t sets = 1; sets <= 1024; sets *= 2) {
        std::vector<cpu_set_t> mask(sets);
        const std::size_t bytes = sets * sizeof(cpu_set_t);
        if (sched_getaffinity(0, bytes, mask.data()) == 0) {
            return static_cast<std::int32_t>(CPU_COUNT_S(bytes, mask.data()));
        }
        if (errno != EINVAL) {
            break;
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> CgroupCpuCap() {
    // A quota on any cgroup above the process's holds it too: the tightest counts. The walk
    // up ends where the cgroup files do, at the hierarchy's root.
    std::optional<std::int32_t> tightest;
    const auto hold = [&](std::optional<std::int32_t> cap) {
        if (cap && (!tightest || *cap < *tightest)) {
            tightest = cap;
        }
    };
    if (const auto directory = CgroupDirectory(true)) {
        for (std::filesystem::path at = *directory;; at = at.parent_path()) {
            const auto cpuMax = ReadText(at / "cpu.max");
            if (!cpuMax || at == at.parent_path()) {
                break;
            }
            hold(CpuMaxCap(*cpuMax));
        }
        if (tightest) {
            return tightest;
        }
    }
    if (const auto directory = CgroupDirectory(false)) {
        for (std::filesystem::path at = *directory;; at = at.parent_path()) {
            const auto quota = ReadInteger(at / "cpu.cfs_quota_us");
            const auto period = ReadInteger(at / "cpu.cfs_period_us");
            if (!quota || !period || at == at.parent_path()) {
                break;
            }
            hold(CfsQuotaCap(*quota, *period));
        }
    }
    return tightest;
}

std::int32_t UsableCpuCount() {
    std::optional<std::int32_t> affinityCpus = AffinityCpuCount();
    if (!affinityCpus) {
        affinityCpus = static_cast<std::int32_t>(std::thread::hardware_concurrency());
    }
    return CappedCpuCount(*affinityCpus, CgroupCpuCap());
}

}  // namespace rs
