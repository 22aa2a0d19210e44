#pragma once

#include <cstdint>
#include <vector>

#include <memory>

#include "codec/reed_solomon_codec.h"
#include "engine/algebraic_decoder.h"
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
    // Fields up to this degree decode through the table-built codec and its Chien search over
    // all n positions; from the next one on, the algebraic decoder is faster (about 280x the
    // reference at M = 16 against 20x), and above M = 24 or so the tables would not fit.
    static constexpr std::int32_t kLargestTabledField = 12;

    // Decodes through a configured codec for the code of GF(2^m) correcting t errors. threads
    // find the candidate draws (1: only the calling thread); rowsPerLane as CandidateStream's.
    FastEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel, int threads = 1,
               int rowsPerLane = 0);
    // Decodes algebraically, with no table of the field.
    FastEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel, int threads = 1,
               int rowsPerLane = 0);

    void StartPoint(float P0, std::int32_t seed) override;
    void RunBlocks(PointStatistics& statistics, std::int32_t blockLimit) override;

    // Draws the point's blocks have taken so far.
    std::uint64_t DrawsUsed() const { return blockStart; }

  private:
    // One block; true when its information came out wrong.
    bool RunBlock(PointStatistics& statistics);
    // Decodes the block whose hits are listed; adds its counts and says whether it is wrong.
    template <typename Decoder>
    bool DecodeHits(Decoder& decoder, PointStatistics& statistics);
    void GrowHits();
    // The value of draw index, from the scalar generator moved forward.
    std::uint32_t ValueOfDraw(std::uint64_t index);

    ReedSolomonCodec* const codec;
    std::unique_ptr<AlgebraicDecoder> algebraic;
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

    // The current block's hit positions and their values. They grow when a block has more
    // hits than any before, up to n. Hit i at position p took draw positionsStart + p + i, and
    // its value is the draw after that.
    std::int32_t hitCount = 0;
    std::uint64_t positionsStart = 0;
    std::uint64_t ValueDrawOf(std::size_t i) const {
        return positionsStart + static_cast<std::uint64_t>(hitPositions[i]) + i + 1;
    }
    std::vector<std::int32_t> hitPositions;
    std::vector<Symbol> hitValues;
    // The decoder's corrections of the block being decoded, by position.
    struct Correction {
        std::int32_t position;
        Symbol value;
    };
    std::vector<Correction> corrections;
};

}  // namespace rs
