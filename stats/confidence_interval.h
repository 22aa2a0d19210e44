#pragma once

#include <cstdint>

namespace rs {

// A two-sided interval for a proportion.
struct Interval {
    double low;
    double high;
};

// The exact (Clopper-Pearson) two-sided interval at the given confidence for x successes out
// of trials: each tail holds at most (1 - confidence) / 2, so the interval covers the true
// proportion at least that often. x = 0 gives low = 0 and x = trials gives high = 1. With no
// trials there is no information: both ends are NaN.
Interval ClopperPearson(std::int64_t x, std::int64_t trials, double confidence = 0.95);

// The FER's interval when the blocks come in frames of clusterSize codewords that share the
// channel, so that frames, not blocks, are the independent trials. errorBlockSquares is the sum
// over frames of the square of each frame's error blocks. Frames are full but for the last,
// which holds what is left of blocks. The frames' spread gives a design effect D, the variance
// of the FER over frames against that of independent blocks, and the interval is Clopper-Pearson
// at the effective size blocks / D (Korn and Graubard's interval). A frame of one codeword is a
// block: clusterSize 1 is Clopper-Pearson itself, as are no blocks (NaN) and counts out of range.
Interval ClusteredInterval(std::int64_t errorBlocks, std::int64_t blocks,
                           std::int64_t errorBlockSquares, std::int32_t clusterSize,
                           double confidence = 0.95);

// The SER's interval. A block's k information symbols share its decoding, and a frame's
// codewords its channel, so clusters of clusterSymbols symbols (k, or k times the interleave)
// are the independent trials, and their spread sets the design effect as for the FER over
// frames. errorSymbolSquares is the sum over clusters of each cluster's wrong symbols squared;
// the largest 64-bit value (a sum that saturated) or one below errorSymbols (counts kept
// without it) is read as the widest spread, each cluster all wrong or all right. No wrong
// symbols give the bound of no wrong cluster, 0 to Clopper-Pearson's upper end over clusters.
Interval SymbolErrorInterval(std::int64_t errorSymbols, std::int64_t symbols,
                             std::int64_t errorSymbolSquares, std::int64_t clusterSymbols,
                             double confidence = 0.95);

}  // namespace rs
