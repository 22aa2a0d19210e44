#pragma once

#include <cmath>
#include <cstdint>

#include "base/contract.h"
#include "random/philox_stream.h"

namespace rs {

// Independent trials at one success probability, skipped over: the number of failures before
// the next success is geometric, drawn by inversion from one uniform. One draw per success,
// instead of one per trial, is what lets a channel at a low error rate cost little per block.
class GeometricGap {
  public:
    // Gaps beyond any frame: the trials never succeed.
    static constexpr std::uint64_t kNever = std::uint64_t{1} << 62U;

    explicit GeometricGap(double probability) : probability(probability) {
        RS_ASSERT(probability >= 0.0 && probability <= 1.0, "a probability is 0 to 1");
        logStay = std::log1p(-probability);
    }

    // Failures before the next success, at most kNever.
    std::uint64_t Draw(PhiloxStream& stream) const {
        if (probability >= 1.0) {
            return 0;
        }
        if (probability <= 0.0) {
            return kNever;
        }
        // P(gap >= g) = (1 - p)^g = P(log U / log(1 - p) >= g) for U uniform on (0, 1].
        const double gap = std::floor(std::log(stream.UniformOpenBelow()) / logStay);
        return gap >= static_cast<double>(kNever) ? kNever : static_cast<std::uint64_t>(gap);
    }

    double Probability() const { return probability; }

  private:
    double probability;
    double logStay = 0.0;
};

}  // namespace rs
