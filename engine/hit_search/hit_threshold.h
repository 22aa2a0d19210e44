#pragma once

#include <cstdint>

namespace rs {

// The channel's test NextUniform() < P0 as one integer compare: a draw r hits exactly when
// r < HitThreshold(P0). The division r / 2147483647 is monotone in r, so the draws that hit
// form a prefix of 0..2^31-1; its end is found by bisection on the very expression the
// reference engine evaluates. 0 for P0 of 0 or less, 2^31 for P0 above 1.
std::uint32_t HitThreshold(double p0);

// Below this hit threshold (P0 < 1/256) candidates are sparse: a chunk's are moved bit by bit
// rather than by transposes, and a segment lists them, so that the stitch passes over the
// blocks between them in one step; above it, segments are walked speculatively instead.
inline constexpr std::uint32_t kListedThreshold = std::uint32_t{1} << 23;

// Whether draw r hits, computed as the reference engine does.
bool HitsLiterally(std::uint32_t r, double p0);

}  // namespace rs
