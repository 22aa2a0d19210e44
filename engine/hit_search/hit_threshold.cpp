#include "engine/hit_search/hit_threshold.h"

namespace rs {

bool HitsLiterally(std::uint32_t r, double p0) {
    return static_cast<double>(r) / static_cast<double>(0x7FFFFFFFU) < p0;
}

std::uint32_t HitThreshold(double p0) {
    // Invariant: every r below low hits, no r at or above high does.
    std::uint64_t low = 0;
    std::uint64_t high = std::uint64_t{1} << 31;
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (HitsLiterally(static_cast<std::uint32_t>(middle), p0)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return static_cast<std::uint32_t>(low);
}

}  // namespace rs
