#include "stats/confidence_interval.h"

#include <algorithm>
#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>

#include "base/contract.h"

namespace rs {

namespace {

// Clopper-Pearson's ends for a real number of successes and trials, as an effective size needs.
Interval BetaInterval(double successes, double trials, double confidence) {
    const double tail = (1.0 - confidence) / 2.0;
    const double failures = trials - successes;
    // The ends are the beta quantiles Beta(x, N-x+1) at tail and Beta(x+1, N-x) at 1-tail;
    // a beta with a zero shape is a point mass, which is why the extremes are set directly.
    const double low = successes == 0.0
                           ? 0.0
                           : boost::math::quantile(
                                 boost::math::beta_distribution<>(successes, failures + 1.0), tail);
    const double high =
        failures == 0.0
            ? 1.0
            : boost::math::quantile(boost::math::beta_distribution<>(successes + 1.0, failures),
                                    1.0 - tail);
    return {low, high};
}

double StudentQuantile(double degrees, double probability) {
    return boost::math::quantile(boost::math::students_t_distribution<>(degrees), probability);
}

}  // namespace

Interval ClopperPearson(std::int64_t x, std::int64_t trials, double confidence) {
    if (trials <= 0 || x < 0 || x > trials) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    return BetaInterval(static_cast<double>(x), static_cast<double>(trials), confidence);
}

namespace {

// Korn and Graubard's interval: the FER is a ratio estimator over frames, its variance over
// frames sets the design effect D, and Clopper-Pearson runs at blocks / D trials with the FER
// unchanged. Unlike a normal interval it keeps Clopper-Pearson's skew and its hold at a few tens
// of error blocks, the counts a simulation stops at. D is held at 1 or more: a D below 1 is
// the spread's noise when errors hardly cluster, and would claim more trials than blocks sent.
// With no errors, only errors or a single frame the spread says nothing about clustering, and D
// takes the largest the frames allow, as if each frame failed or passed whole; then the frames
// are the trials, a bound that holds however the frame's codewords depend on each other.
// In real numbers: errors of n trials in clusters of size, full but for the last, with squares
// the sum over clusters of each cluster's errors squared.
Interval Clustered(double errors, double n, double squares, double size, double confidence) {
    const double frames = std::ceil(n / size);
    const double last = n - (frames - 1.0) * size;
    const double sizeSquares = (frames - 1.0) * size * size + last * last;

    double effect = sizeSquares / n;
    double degreesShrink = 1.0;
    if (errors > 0.0 && errors < n && frames > 1.0) {
        const double fer = errors / n;
        // The residuals sum(y - FER m)^2 over frames need sum(y m), which the counts give but for
        // the short last frame's share; its largest error count gives the smallest sum(y m) and
        // so the widest interval.
        const double errorsBySize = size * errors - (size - last) * std::min(last, errors);
        const double residuals =
            std::max(squares - 2.0 * fer * errorsBySize + fer * fer * sizeSquares, 0.0);
        effect = std::max(residuals / (errors * (n - errors) / n), 1.0);
        // The spread comes from frames - 1 degrees of freedom, not n - 1.
        const double upper = 1.0 - (1.0 - confidence) / 2.0;
        const double ratio = StudentQuantile(n - 1.0, upper) / StudentQuantile(frames - 1.0, upper);
        degreesShrink = ratio * ratio;
    }
    const double trials = n / effect * degreesShrink;
    return BetaInterval(errors / n * trials, trials, confidence);
}

}  // namespace

Interval ClusteredInterval(std::int64_t errorBlocks, std::int64_t blocks,
                           std::int64_t errorBlockSquares, std::int32_t clusterSize,
                           double confidence) {
    RS_ASSERT(clusterSize >= 1, "a frame holds at least one codeword");
    if (clusterSize == 1 || blocks <= 0 || errorBlocks < 0 || errorBlocks > blocks) {
        return ClopperPearson(errorBlocks, blocks, confidence);
    }
    RS_ASSERT(errorBlockSquares >= errorBlocks && errorBlockSquares <= clusterSize * errorBlocks,
              "each frame's square lies between its error blocks and clusterSize times them");
    return Clustered(static_cast<double>(errorBlocks), static_cast<double>(blocks),
                     static_cast<double>(errorBlockSquares), clusterSize, confidence);
}

Interval SymbolErrorInterval(std::int64_t errorSymbols, std::int64_t symbols,
                             std::int64_t errorSymbolSquares, std::int64_t clusterSymbols,
                             double confidence) {
    RS_ASSERT(clusterSymbols >= 1, "a block holds at least one information symbol");
    if (symbols <= 0 || errorSymbols < 0 || errorSymbols > symbols) {
        return ClopperPearson(errorSymbols, symbols, confidence);
    }
    const auto errors = static_cast<double>(errorSymbols);
    const auto size = static_cast<double>(clusterSymbols);
    // A saturated sum says only that the spread is large, and one below the wrong symbols
    // (counts kept without it) nothing: take the widest, every cluster all wrong or all right.
    const bool known = errorSymbolSquares >= errorSymbols &&
                       errorSymbolSquares < std::numeric_limits<std::int64_t>::max();
    const double squares = known ? static_cast<double>(errorSymbolSquares) : size * errors;
    RS_ASSERT(squares <= size * errors * (1.0 + 1e-12),
              "a cluster's square is at most its size times its wrong symbols");
    return Clustered(errors, static_cast<double>(symbols), squares, size, confidence);
}

}  // namespace rs
