#include "engine/block_time_estimate.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <limits>

#include "base/contract.h"
#include "engine/kernel/draw_kernels.h"

namespace rs {

namespace {

// The fast engine's walk, measured on RS(2^20 - 1, 2^20 - 3) at P0 = 0.05 and 0.3
// (2026-12-10, one thread, 12.5 and 2.5 ms a block): about half a nanosecond a draw, and
// 30 a hit, which lists it and moves the value generator to its draw.
constexpr double kSecondsPerDraw = 0.5e-9;
constexpr double kSecondsPerHit = 30e-9;

// The first patterns decoded, and how long one must take at least, unless it would reach a
// quarter of the block's hits.
constexpr std::int32_t kPatternHits = 2000;
constexpr double kLeastTiming = 0.02;

std::uint64_t Next(std::uint64_t& state) {
    // splitmix64: the positions only need to be spread, not to be the engine's stream.
    std::uint64_t z = (state += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30U)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27U)) * 0x94d049bb133111eb;
    return z ^ (z >> 31U);
}

}  // namespace

BlockTimeEstimate::BlockTimeEstimate(std::int32_t m, std::int32_t t, std::int32_t length,
                                     bool tabled) {
    if (tabled) {
        codec = std::make_unique<ReedSolomonCodec>();
        codec->Configure(m, t);
        RS_ASSERT(codec->IsReady(), "the engine itself was built with these tables");
        counter = std::make_unique<BlockCounter>(*codec, m, BestKernel(), length);
    } else {
        counter = std::make_unique<BlockCounter>(m, t, length);
    }
}

double BlockTimeEstimate::DecodeSeconds(std::int32_t hits) {
    const std::int32_t n = counter->N();
    RS_ASSERT(hits >= 1 && hits <= n, "a pattern's hits fit the block");
    positions.resize(static_cast<std::size_t>(hits));
    values.resize(static_cast<std::size_t>(hits));
    const std::uint64_t q = std::uint64_t{1} << std::bit_width(static_cast<std::uint32_t>(n));
    // Patterns differ in how soon the decoder gives up on them, as blocks do: the mean of a
    // few, each its own.
    constexpr int kPatterns = 3;
    double total = 0.0;
    for (int round = 0; round < kPatterns; ++round) {
        // Spread over the block, one position per stride, the way dense hits fall.
        const std::int64_t stride = n / hits;
        for (std::int32_t i = 0; i < hits; ++i) {
            positions[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(
                i * stride +
                static_cast<std::int64_t>(Next(state) % static_cast<std::uint64_t>(stride)));
            values[static_cast<std::size_t>(i)] = static_cast<Symbol>(1 + Next(state) % (q - 1));
        }
        const auto began = std::chrono::steady_clock::now();
        static_cast<void>(counter->DecodePattern(positions.data(), values.data(), hits));
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    }
    return total / kPatterns;
}

double BlockTimeEstimate::Seconds(double P0) {
    const double n = counter->N();
    const double hits = n * P0;
    if (!(hits >= kDenseHits)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    // Decoding costs a fixed part (the locator and its roots, about t^2) and a part per hit
    // (its syndrome terms, 2t): two pattern sizes give both.
    // Patterns grow until one takes long enough to time on a busy machine, the larger the
    // nearer the block's own hits, whose decoding leaves the caches as the patterns' may not.
    std::int32_t small = std::min(kPatternHits, static_cast<std::int32_t>(n / 2));
    double one = DecodeSeconds(small);
    while (one < kLeastTiming && 4.0 * small <= hits) {
        small *= 2;
        one = DecodeSeconds(small);
    }
    const double two = DecodeSeconds(2 * small);
    const double perHit = std::max(two - one, 0.0) / small;
    const double fixed = std::max(one - perHit * small, 0.0);
    const double k = counter->K();
    return (n + k) * kSecondsPerDraw + hits * (kSecondsPerHit + perHit) + fixed;
}

}  // namespace rs
