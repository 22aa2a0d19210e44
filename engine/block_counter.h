#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/contract.h"
#include "codec/algebraic_decoder.h"
#include "codec/reed_solomon_codec.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/point_statistics.h"
#include "field/byte_field.h"
#include "random/jump_ahead.h"

namespace rs {

// What one block adds to a point's counts. Only a block with more hits than t is decoded;
// any other comes out right and unflagged.
struct BlockOutcome {
    std::int32_t hits = 0;
    std::int32_t errorSymbols = 0;
    std::int64_t bitErrors = 0;
    bool failure = false;
    // A flagged block that delivers its received information rather than its decoding counts
    // its symbols and bits as delivered, but is judged wrong or right by its decoding, so that
    // the FER is that of the decoder whatever it delivers.
    bool deliveredReceived = false;
    bool decodedWrong = false;

    bool operator==(const BlockOutcome&) const = default;
};

// How a decoded block counts: wrong when its information came out wrong; flagged when a
// practical decoder would have reported a failure, wrong or not; a miscorrection when wrong but
// not flagged, delivered as correct.
struct BlockVerdict {
    bool wrong;
    bool flagged;
    bool miscorrected;
};

constexpr BlockVerdict Judge(const BlockOutcome& block) {
    const bool wrong = block.deliveredReceived ? block.decodedWrong : block.errorSymbols != 0;
    return {wrong, block.failure, wrong && !block.failure};
}

// Adds a block; true when its information came out wrong.
inline bool AddBlock(PointStatistics& statistics, const BlockOutcome& block) {
    const BlockVerdict verdict = Judge(block);
    ++statistics.blocks;
    statistics.channelErrors += block.hits;
    statistics.errorSymbols += block.errorSymbols;
    AddProduct(statistics.errorSymbolSquares, block.errorSymbols, block.errorSymbols);
    statistics.bitErrors += block.bitErrors;
    statistics.detectedFailures += verdict.flagged ? 1 : 0;
    statistics.errorBlocks += verdict.wrong ? 1 : 0;
    statistics.miscorrections += verdict.miscorrected ? 1 : 0;
    return verdict.wrong;
}

// Adds a block's erasures, erased by the channel: a block delivered right and unflagged had its
// errors (hits) and erasures all corrected.
inline void AddErasures(PointStatistics& statistics, const BlockOutcome& block,
                        std::int32_t erasures) {
    statistics.channelErasures += erasures;
    if (!Judge(block).wrong && !block.failure) {
        statistics.errorsCorrected += block.hits;
        statistics.erasuresCorrected += erasures;
    }
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
    // Whether a code finds a locator's roots by the codec's Chien search over all n positions,
    // about n (L + 1) lookups for a locator of degree L, rather than by algebra on the tables,
    // about m L^2 products and a fixed cost. Measured on BM_Grid: Chien is faster for n up to
    // 63 and at RS(255,223), algebra for t = 1 and 4 from M = 9 on and for every code from
    // M = 10 on but the densest points. Up to M = 8 the search runs on byte vectors, a shuffle
    // per product, and beats algebra at every t: 0.80 against 1.45 us a block at M = 8, t = 4,
    // P0 = 0.03.
    static bool RootsByChien(std::int64_t n, std::int32_t m, std::int32_t t) {
        constexpr std::int64_t kChienAlways = 63;
        constexpr std::int64_t kChienPerRootProduct = 2;
        return m <= ByteField::kLargestByteField || n <= kChienAlways ||
               n <= kChienPerRootProduct * m * t;
    }

    // Decodes through a configured codec of GF(2^m), with its tables; the Chien search's sums
    // run on the kernel's target. A length below 2^m - 1 counts blocks of the code shortened to
    // that length (RS(length, length - 2t)); 0 for the full length.
    BlockCounter(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel,
                 std::int32_t length = 0);
    // Decodes algebraically, with no table of the field.
    BlockCounter(std::int32_t m, std::int32_t t, std::int32_t length = 0);

    std::int32_t N() const { return n; }
    std::int32_t K() const { return k; }
    // The most draws one block can take: every position a hit.
    std::uint64_t LongestBlock() const { return LongestBlock(n, k); }
    static std::uint64_t LongestBlock(std::int64_t n, std::int64_t k) {
        return static_cast<std::uint64_t>(k + 2 * n);
    }

    // The error values from now on come from the stream seeded so.
    void Restart(PackedState seeded);

    // The block that begins with draw blockStart, which moves on to the next block's first
    // draw. candidates.Word(w) gives the candidate bits of draws 64 w .. 64 w + 63, for w that
    // never decrease from call to call.
    template <typename Candidates>
    BlockOutcome Walk(Candidates& candidates, std::uint64_t& blockStart) {
        // A hit takes one more draw for its value, so the block ends n draws after its
        // positions start plus one for each hit before the end; a candidate that falls on an
        // information draw or on a value draw is no hit.
        positionsStart = blockStart + static_cast<std::uint64_t>(k);
        std::uint64_t end = positionsStart + static_cast<std::uint64_t>(n);
        std::uint64_t word = positionsStart / 64;
        std::uint64_t from = ~std::uint64_t{0} << (positionsStart % 64);
        std::size_t taken = 0;
        std::int32_t hits = 0;
        for (std::uint64_t wordStart = 64 * word; wordStart < end; wordStart += 64, ++word) {
            const std::uint64_t c = candidates.Word(word) & from;
            from = ~std::uint64_t{0};
            if (c == 0) {
                continue;  // most words at low P0
            }
            const std::uint64_t wordHits = HitsOfRuns(c);
            // Count the hits before the end, which each hit moves one on.
            std::uint64_t counted = 0;
            for (;;) {
                const std::uint64_t before = end - wordStart >= 64
                                                 ? ~std::uint64_t{0}
                                                 : (std::uint64_t{1} << (end - wordStart)) - 1;
                const std::uint64_t fresh = wordHits & before & ~counted;
                if (fresh == 0) {
                    break;
                }
                counted |= fresh;
                end += static_cast<std::uint64_t>(std::popcount(fresh));
            }
            // Words with hits are kept for the decoder; there are at most as many as hits.
            if (taken == hitWords.size()) {
                hitWords.resize(2 * taken);
            }
            hitWords[taken] = {word, counted};
            taken += counted != 0 ? 1 : 0;
            hits += std::popcount(counted);
            // A hit on the word's last draw makes the next word's first draw its value.
            from = ~(counted >> 63);
        }
        blockStart = end;
        hitCount = hits;
        if (hits <= t) {
            return {hits, 0, 0, false};
        }
        ListHits(taken);
        return DecodeHits();
    }

    // Whether a block's positions and as many draws again fit one 64-bit window, for WalkShort.
    bool ShortBlocks() const { return 2 * n <= 64; }

    // Walk for codes of ShortBlocks(): the candidates of the block's positions and the draws
    // after them come from one 64-bit window, and a block whose candidates are all hits (no
    // two adjacent) with no candidate among the draws its hits add ends at once, its hits
    // listed from the window when it needs decoding. Any other block goes through Walk.
    // candidates.Pair(w) gives the candidate words w and w + 1, for w that never decrease.
    template <typename Candidates>
    BlockOutcome WalkShort(Candidates& candidates, std::uint64_t& blockStart) {
        RS_ASSERT(ShortBlocks(), "WalkShort needs a code whose block fits one window");
        const std::uint64_t start = blockStart + static_cast<std::uint64_t>(k);
        const std::uint64_t word = start / 64;
        const unsigned offset = start % 64;
        const auto [low, high] = candidates.Pair(word);
        // Draw start + i at bit i; the double shift keeps an offset of 0 defined.
        const std::uint64_t window = (low >> offset) | ((high << 1) << (63 - offset));
        const std::uint64_t positions = window & positionMask;
        const std::uint64_t added =
            (window >> n) & ((std::uint64_t{1} << std::popcount(positions)) - 1);
        std::uint64_t hitBits = positions;
        std::int32_t hits = std::popcount(positions);
        if (((positions & (positions >> 1)) | added) != 0) {
            // Adjacent candidates, or candidates among the draws the hits add: the hits are
            // every other candidate of a run (the draw before the window is an information
            // draw, so none is a value draw), counted up to the block's end, found in two
            // rounds but for a chain of hits there, which goes through Walk.
            const std::uint64_t runHits = HitsOfRuns(window);
            const auto before = [](std::int32_t end) {
                return end >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << end) - 1;
            };
            std::int32_t end = n + std::popcount(runHits & positionMask);
            end = n + std::popcount(runHits & before(end));
            if (n + std::popcount(runHits & before(end)) != end) {
                struct Words {
                    Candidates& candidates;
                    std::uint64_t first;
                    std::uint64_t low;
                    std::uint64_t high;
                    std::uint64_t Word(std::uint64_t w) {
                        return w == first ? low : w == first + 1 ? high : candidates.Word(w);
                    }
                } words{candidates, word, low, high};
                return Walk(words, blockStart);
            }
            hits = end - n;
            hitBits = runHits & before(end);
        }
        blockStart = start + static_cast<std::uint64_t>(n) + static_cast<std::uint64_t>(hits);
        if (hits <= t) {
            return {hits, 0, 0, false};
        }
        // Hit i at window bit b took draw start + b, so its position is b - i.
        positionsStart = start;
        hitCount = hits;
        std::int32_t* position = hitPositions.data();
        std::int32_t earlier = 0;
        for (std::uint64_t bits = hitBits; bits != 0; bits &= bits - 1) {
            *position++ = std::countr_zero(bits) - earlier++;
        }
        return DecodeHits();
    }

    // The same from a list of candidate draws in order, base + list[i], for sparse candidates:
    // list[at] is the first at or after the block's positions, the list holds every candidate
    // up to the block's end, and at moves past the block's.
    BlockOutcome WalkList(const std::uint32_t* list, std::size_t size, std::size_t& at,
                          std::uint64_t base, std::uint64_t& blockStart) {
        positionsStart = blockStart + static_cast<std::uint64_t>(k);
        RS_ASSERT(at >= size || base + list[at] >= positionsStart,
                  "WalkList starts at the first candidate among the block's positions");
        std::uint64_t end = positionsStart + static_cast<std::uint64_t>(n);
        std::uint64_t lastHit = positionsStart - 2;  // none: its value draw is an information draw
        std::int32_t hits = 0;
        for (; at < size; ++at) {
            const std::uint64_t candidate = base + list[at];
            if (candidate >= end) {
                break;
            }
            if (candidate != lastHit + 1) {
                if (static_cast<std::size_t>(hits) == hitPositions.size()) {
                    GrowHits(static_cast<std::size_t>(hits) + 1);
                }
                hitPositions[static_cast<std::size_t>(hits)] =
                    static_cast<std::int32_t>(candidate - positionsStart) - hits;
                ++hits;
                ++end;
                lastHit = candidate;
            }
        }
        blockStart = end;
        hitCount = hits;
        if (hits <= t) {
            return {hits, 0, 0, false};
        }
        return DecodeHits();
    }

    // Counts a block whose error pattern is given: count nonzero values at distinct sent
    // positions (0..n-1) in increasing order. The pattern goes through the same decoder stages
    // as a walked block's, whatever its weight.
    BlockOutcome DecodePattern(const std::int32_t* positions, const Symbol* values,
                               std::int32_t count) {
        return DecodePattern(positions, values, count, {});
    }
    // As DecodePattern, with the symbols at `erasures` (distinct sent positions, increasing, at
    // most 2t) known to be unreliable. The pattern is still received minus sent everywhere, so
    // an erased position is in it when its received value is wrong (a channel that zeroes an
    // erasure makes it the sent symbol) and not when it came through right. hits counts the
    // pattern, as for any block.
    BlockOutcome DecodePattern(const std::int32_t* positions, const Symbol* values,
                               std::int32_t count, std::span<const std::int32_t> erasures);

    // The hits among candidate bits c when each hit makes the next draw its value: in every
    // run of consecutive candidates, the first, third, fifth and so on.
    static std::uint64_t HitsOfRuns(std::uint64_t c) {
        constexpr std::uint64_t kEven = 0x5555555555555555;
        const std::uint64_t starts = c & ~(c << 1);
        // Adding a run's lowest bit carries through the run and clears it.
        const std::uint64_t evenRuns = c & ~(c + (starts & kEven));
        return (evenRuns & kEven) | (c & ~evenRuns & ~kEven);
    }

  private:
    // Decodes the block's hits with the values drawn for them.
    BlockOutcome DecodeHits();
    // Decodes the block's hits with their values already in place.
    template <typename Decoder>
    BlockOutcome Decode(Decoder& decoder);
    BlockOutcome DecodeListed() {
        if (tabledRoots) {
            return Decode(*tabledRoots);
        }
        return codec != nullptr ? Decode(*codec) : Decode(*tableFree);
    }
    // The positions of the block's hits, from the words the walk took them from.
    void ListHits(std::size_t words);
    void Allocate();
    // Room for at least count hits.
    void GrowHits(std::size_t count);
    // The value of draw index, from the scalar generator moved forward.
    std::uint32_t ValueOfDraw(std::uint64_t index);

    ReedSolomonCodec* const codec;
    // The Chien search's sums, and the roots they find (n at most), where the codec decodes.
    decltype(DrawKernel::chienRoots) chien = nullptr;
    std::vector<std::int32_t> chienRoots;
    // In fields of at most 256 elements, the syndromes and the Chien search on byte vectors.
    std::unique_ptr<ByteField> byteField;
    ByteFieldView byteView{};
    decltype(DrawKernel::byteChienRoots) byteChien = nullptr;
    decltype(DrawKernel::byteSyndromes) byteSyndromes = nullptr;
    // The errors-and-erasures decoder's products and evaluations there.
    BytePolynomials bytePolynomials{};
    // The roots by algebra: with the codec's tables where RootsByChien says so, without any
    // table when there is no codec.
    std::unique_ptr<AlgebraicDecoder<TabledField>> tabledRoots;
    std::unique_ptr<AlgebraicDecoder<LargeField>> tableFree;
    const std::int32_t order;  // the full code's length, 2^m - 1: the decoders' positions
    const std::int32_t n;      // the code's length, shortened or not: the positions sent
    // The low n bits, for WalkShort.
    const std::uint64_t positionMask = n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
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
    struct HitWord {
        std::uint64_t word;  // draws 64 word .. 64 word + 63
        std::uint64_t bits;  // the hits among them
    };
    std::vector<HitWord> hitWords;
    std::vector<std::int32_t> hitPositions;
    std::vector<Symbol> hitValues;
    // The decoder's corrections of the block being decoded, by position.
    struct Correction {
        std::int32_t position;
        Symbol value;
    };
    std::vector<Correction> corrections;
    // The erasures of the pattern being decoded; none for a walked block.
    std::span<const std::int32_t> blockErasures;
};

}  // namespace rs
