#pragma once

#include <cstdint>

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

    bool operator==(const PointStatistics&) const = default;
};

}  // namespace rs
