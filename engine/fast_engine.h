#pragma once

#include <cstdint>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/candidate_stream.h"
#include "engine/engine.h"
#include "engine/jump_ahead.h"

namespace rs {

// The same experiment without the work that cannot change a count. The code is linear and the
// channel's error pattern e is drawn independently of the codeword, so a block's counts depend
// on e alone: the information draws are skipped, not made, and nothing is encoded. A block
// with at most t hits is always decoded correctly, so only the hits are counted; only a block
// with more goes through the decoder's stages, from syndromes of its few nonzero positions,
// and its wrong information symbols are where e plus the decoder's corrections is nonzero.
// The hits are the draws below an integer threshold, found by the bit-sliced kernel.
class FastEngine final : public Engine {
  public:
    // The codec must be configured; q = 2^M.
    FastEngine(ReedSolomonCodec& codec, std::int32_t q, const DrawKernel& kernel);

    void StartPoint(float P0, std::int32_t seed) override;
    void RunBlocks(PointStatistics& statistics, std::int32_t blockLimit) override;

  private:
    // One block; true when its information came out wrong.
    bool RunBlock(PointStatistics& statistics);
    // Decodes the block whose hits are listed; adds its counts and says whether it is wrong.
    bool DecodeHits(PointStatistics& statistics);
    // The value of draw index, from the scalar generator moved forward.
    std::uint32_t ValueOfDraw(std::uint64_t index);

    ReedSolomonCodec& codec;
    const std::int32_t n;
    const std::int32_t k;
    const std::int32_t t;
    const std::int32_t q;
    CandidateStream candidates;
    const JumpAhead& jump;
    PackedState seeded = 0;
    std::uint64_t blockStart = 0;  // draw index where the next block begins

    // The scalar generator for error values: its state after `valueCursor` draws.
    PackedState valueState = 0;
    std::uint64_t valueCursor = 0;

    // The current block's hits: positions, and the draw index of each error value; room for
    // n, as every position may be hit.
    std::int32_t hitCount = 0;
    std::vector<std::int32_t> hitPositions;
    std::vector<std::uint64_t> hitValueDraws;
    std::vector<Symbol> hitValues;
    // Per position, e plus the corrections of the block being decoded; zero between blocks.
    std::vector<Symbol> difference;
    std::vector<std::int32_t> touched;
};

}  // namespace rs
