#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/algebraic_decoder.h"
#include "engine/jump_ahead.h"
#include "engine/point_statistics.h"

namespace rs {

// What one block adds to a point's counts. Only a block with more hits than t is decoded;
// any other comes out right and unflagged.
struct BlockOutcome {
    std::int32_t hits = 0;
    std::int32_t errorSymbols = 0;
    std::int64_t bitErrors = 0;
    bool failure = false;
};

// Adds a block; true when its information came out wrong.
inline bool AddBlock(PointStatistics& statistics, const BlockOutcome& block) {
    ++statistics.blocks;
    statistics.channelErrors += block.hits;
    statistics.errorSymbols += block.errorSymbols;
    statistics.bitErrors += block.bitErrors;
    if (block.failure) {
        ++statistics.detectedFailures;
    }
    if (block.errorSymbols != 0) {
        ++statistics.errorBlocks;
        return true;
    }
    return false;
}

// Counts a block from its place in the draw stream alone. The code is linear and the channel's
// error pattern is drawn independently of the codeword, so a block's counts depend on that
// pattern only: its hits are the candidate draws (below the hit threshold) among its position
// draws, each followed by the draw of its value; the k information draws before them are
// never looked at, and nothing is encoded. A block with more hits than t goes through the
// decoder's stages from the syndromes of its few nonzero positions, and its wrong information
// symbols are where the pattern plus the decoder's corrections is nonzero.
class BlockCounter {
  public:
    // Decodes through a configured codec of GF(2^m).
    BlockCounter(ReedSolomonCodec& codec, std::int32_t m);
    // Decodes algebraically, with no table of the field.
    BlockCounter(std::int32_t m, std::int32_t t);

    std::int32_t N() const { return n; }
    std::int32_t K() const { return k; }
    // The most draws one block can take: every position a hit.
    std::uint64_t LongestBlock() const {
        return static_cast<std::uint64_t>(k) + 2 * static_cast<std::uint64_t>(n);
    }

    // The error values from now on come from the stream seeded so.
    void Restart(PackedState seeded);

    // The block that begins with draw blockStart, which moves on to the next block's first
    // draw. candidates.Next(from, limit) gives the first candidate in [from, limit), or limit.
    template <typename Candidates>
    BlockOutcome Walk(Candidates& candidates, std::uint64_t& blockStart) {
        // A hit takes one more draw for its value, and a candidate that falls on an
        // information draw or on a value draw is no hit.
        positionsStart = blockStart + static_cast<std::uint64_t>(k);
        std::uint64_t draw = positionsStart;
        std::uint64_t end = draw + static_cast<std::uint64_t>(n);  // one on with each hit
        std::int32_t* positions = hitPositions.data();
        auto room = static_cast<std::int32_t>(hitPositions.size());
        std::int32_t hits = 0;
        for (;;) {
            const std::uint64_t hit = candidates.Next(draw, end);
            if (hit == end) {
                break;
            }
            if (hits == room) {
                GrowHits();
                positions = hitPositions.data();
                room = static_cast<std::int32_t>(hitPositions.size());
            }
            // The position is the hit's draw less the value draws of the earlier hits.
            positions[hits] =
                static_cast<std::int32_t>(hit - positionsStart - static_cast<std::uint64_t>(hits));
            ++hits;
            draw = hit + 2;
            ++end;
        }
        blockStart = end;
        hitCount = hits;
        if (hits <= t) {
            return {hits, 0, 0, false};
        }
        return codec != nullptr ? Decode(*codec) : Decode(*algebraic);
    }

  private:
    template <typename Decoder>
    BlockOutcome Decode(Decoder& decoder);
    void GrowHits();
    // The value of draw index, from the scalar generator moved forward.
    std::uint32_t ValueOfDraw(std::uint64_t index);

    ReedSolomonCodec* const codec;
    std::unique_ptr<AlgebraicDecoder> algebraic;
    const std::int32_t n;
    const std::int32_t k;
    const std::int32_t t;
    const std::int32_t q;
    const JumpAhead& jump;

    // The scalar generator for error values: its state after `valueCursor` draws.
    PackedState seeded = 0;
    PackedState valueState = 0;
    std::uint64_t valueCursor = 0;

    // The current block's hit positions and their values. They grow when a block has more
    // hits than any before, up to n. Hit i at position p took draw positionsStart + p + i, and
    // its value is the draw after that.
    std::int32_t hitCount = 0;
    std::uint64_t positionsStart = 0;
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
