#pragma once

#include <cstdint>
#include <vector>

#include "field/galois_field.h"
#include "random/philox_stream.h"
#include "stats/channel_model.h"

namespace rs {

// Where a frame's channel erred: steps of the channel in increasing order (bits, or symbols
// for the channels that replace symbols), with each symbol error's value. A frame of I
// codewords of n sent symbols takes I n steps, or I n m at bit level; symbol j of codeword i is
// frame symbol j I + i, and frame symbol s holds frame bits s m .. s m + m - 1, bit r the
// coefficient of x^r. On a channel that erases, a step is an error or an erasure: an erasure's
// value is 0 and its flag is set. At bit level (BPSK with a threshold), a flagged step is an
// unreliable bit, which erases its symbol; the others are wrong and reliable bits.
struct FrameErrors {
    std::vector<std::uint64_t> steps;
    std::vector<Symbol> values;  // the symbol errors' values, one per step; empty at bit level
    // 1 for an erasure (or an unreliable bit), one per step at symbol level, and at bit level
    // when the channel has unreliable bits; empty at bit level otherwise.
    std::vector<std::uint8_t> erased;
    bool bitLevel = false;

    void Clear() {
        steps.clear();
        values.clear();
        erased.clear();
    }
};

// The one sampling rule of the channels with counter-based streams: from the frame's stream,
// the gaps between errors (geometric at the error rate) and, for the Gilbert-Elliott chain, its
// first state (from the stationary distribution), then the sojourns in each state (geometric at
// the rate of leaving it) with the gaps between errors within them. A symbol error's value is
// drawn right after its step, uniform among the q - 1 nonzero values. On the q-ary channel that
// erases, the gaps are between events at the rate P0 + PE, and each event takes one uniform
// draw right after its step: an error when it is at most P0 / (P0 + PE), its value drawn next,
// else an erasure. At bit level with unreliable bits (rate b) beside the wrong and reliable ones
// (rate a), likewise: gaps at a + b, then one uniform per event, wrong and reliable when it is
// at most a / (a + b), else unreliable. Every engine draws a frame's errors through this rule,
// so they see the same channel.
void SampleFrame(const ChannelModel& model, std::int32_t m, std::uint64_t steps,
                 PhiloxStream& stream, FrameErrors& errors);

// The frame's stream of channel errors, and of the data the literal path sends: the frame's
// index is its counter, so every frame is a function of (seed, point, frame) alone.
inline PhiloxStream ChannelStream(std::uint32_t seed, std::uint32_t point, std::uint64_t frame) {
    return {seed, point, frame, 0};
}
inline PhiloxStream DataStream(std::uint32_t seed, std::uint32_t point, std::uint64_t frame) {
    return {seed, point, frame, 1};
}

}  // namespace rs
