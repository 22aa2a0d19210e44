#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"

namespace rs {

// About how long one dense block takes the fast engine on one thread, before any block has
// run: a point of M >= 20 near P0 = 0.3 takes a fraction of a second to minutes a block, and
// its first progress would otherwise come only after its first blocks. The walk's cost per
// draw and per hit are fixed figures measured on the development machine; the decoding's,
// which dominates and varies most (tabled or not, with t), is timed here on two patterns of
// hits of this code, decoded as the engine decodes them, and extrapolated linearly in the
// hits to the n P0 a block of the point expects.
class BlockTimeEstimate {
  public:
    // A block is dense when it expects this many hits or more: below, blocks are fast, the
    // first progress comes soon, and the walk's cost no longer follows the hits.
    static constexpr double kDenseHits = 10000.0;

    // The code as the engine runs it: tabled through a codec of its own, or without tables.
    BlockTimeEstimate(std::int32_t m, std::int32_t t, std::int32_t length, bool tabled);

    // Seconds one block at P0 takes, about; NaN for a point that is not dense.
    double Seconds(double P0);

  private:
    // The mean seconds of decoding patterns of hits errors at random positions.
    double DecodeSeconds(std::int32_t hits);

    std::unique_ptr<ReedSolomonCodec> codec;
    std::unique_ptr<BlockCounter> counter;
    std::vector<std::int32_t> positions;
    std::vector<Symbol> values;
    std::uint64_t state = 0x9e3779b97f4a7c15;  // the patterns' own generator
};

}  // namespace rs
