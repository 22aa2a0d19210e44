#pragma once

#include <cstdint>
#include <limits>

namespace rs {

// Counts of one point, each of 64 bits: the limits of a point may exceed 32 bits, and the symbol
// counts do so in a long point.
struct PointStatistics {
    std::int64_t blocks = 0;
    std::int64_t errorBlocks = 0;
    std::int64_t channelErrors = 0;
    std::int64_t errorSymbols = 0;
    // Information bits in error: the popcount of decoded XOR sent over the k symbols.
    std::int64_t bitErrors = 0;
    // Blocks a practical decoder would have flagged as uncorrectable (a locator of degree
    // above t, or with fewer distinct roots among the sent positions, with nonzero error values,
    // than its degree), whether or not their information came out right.
    std::int64_t detectedFailures = 0;
    // Blocks not flagged whose information came out wrong: those a practical decoder would
    // have delivered as correct.
    std::int64_t miscorrections = 0;
    // Bits the channel flipped, on the channels that flip bits.
    std::int64_t channelBitErrors = 0;
    // The sum over frames of each frame's error blocks squared, on the channels that send
    // interleaved frames: what the FER's interval over frames needs.
    std::int64_t errorBlockSquares = 0;
    // On the channels that erase: the symbols the channel erased (punctured ones not counted),
    // and the errors and erasures of the blocks delivered right and unflagged, all of which the
    // decoder corrected.
    std::int64_t channelErasures = 0;
    std::int64_t errorsCorrected = 0;
    std::int64_t erasuresCorrected = 0;
    // The sum over blocks (over frames, on the channels that send interleaved frames) of each
    // one's wrong information symbols squared: what the SER's interval needs, as a block's
    // symbols share its decoding. It stops at the largest 64-bit value rather than wrap.
    std::int64_t errorSymbolSquares = 0;

    bool operator==(const PointStatistics&) const = default;
};

// Adds a * b (both nonnegative) to a sum of squares, which stops at the largest 64-bit value:
// the SER's interval reads that as the widest spread.
inline void AddProduct(std::int64_t& sum, std::int64_t a, std::int64_t b) {
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    if (a == 0 || b == 0) {
        return;
    }
    sum = a > kMost / b || a * b > kMost - sum ? kMost : sum + a * b;
}

}  // namespace rs
