#pragma once

// What a run gives back: per point the counts, the rates with their intervals, the theory and
// the time, as plain data.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "rs_sim/experiment.h"

namespace rs_sim {

// The code as run.
struct CodeFacts {
    std::int32_t n = 0;
    std::int32_t k = 0;
    std::int32_t t = 0;
    std::int32_t q = 0;  // 2^m
    std::int32_t m = 0;
    double rate = 0.0;           // k / (n - punctured)
    std::int32_t punctured = 0;  // parity symbols not sent, erased at the receiver
};

// A Monte-Carlo point's counts.
struct Counts {
    std::int64_t blocks = 0;
    std::int64_t errorBlocks = 0;     // blocks whose information came out wrong
    std::int64_t channelErrors = 0;   // symbols the channel changed
    std::int64_t errorSymbols = 0;    // wrong information symbols after decoding
    std::int64_t bitErrors = 0;       // wrong information bits after decoding
    std::int64_t failures = 0;        // blocks a practical decoder would flag
    std::int64_t miscorrections = 0;  // wrong blocks it would not flag
    // Bits the channel flipped, counted on the channels that flip bits (0 elsewhere).
    std::int64_t channelBitErrors = 0;
    // The sum over frames of the square of each frame's error blocks, on the channels that send
    // frames (0 elsewhere): the interleaved codewords of a frame share its bursts, so frames,
    // not blocks, are the independent trials of the FER's interval.
    std::int64_t errorBlockSquares = 0;
    // On the q-ary channel that erases (0 elsewhere): the symbols it erased (punctured ones not
    // counted), and the errors and erasures of the blocks delivered right and unflagged, all of
    // which the decoder corrected.
    std::int64_t channelErasures = 0;
    std::int64_t errorsCorrected = 0;
    std::int64_t erasuresCorrected = 0;
    // The sum over blocks (over frames where codewords are interleaved) of each one's wrong
    // information symbols squared, for the SER's interval; the largest 64-bit value when the sum
    // would go beyond it.
    std::int64_t errorSymbolSquares = 0;

    bool operator==(const Counts&) const = default;
};

// A point's counts and what the reports derive from them. Rates of a point without blocks
// are NaN.
struct PointResult {
    float P0 = 0.0F;
    Counts counts;
    double channelSER = 0.0;  // channel errors over the symbols sent
    // Channel bit errors over the bits sent, where the channel counts them; NaN elsewhere.
    double channelBER = 0.0;
    double FER = 0.0;  // error blocks over blocks
    // Its 95 % interval: exact (Clopper-Pearson) when blocks are independent, over frames when
    // interleaved codewords share them.
    double FERLow = 0.0;
    double FERHigh = 0.0;
    std::int64_t transmittedSymbols = 0;  // information symbols sent
    double SER = 0.0;                     // wrong information symbols over those sent
    // Its 95 % interval, over blocks (or frames) as the trials that share their symbols' fate.
    double SERLow = 0.0;
    double SERHigh = 0.0;
    double BER = 0.0;        // over the k m information bits of each block
    double theoryFER = 0.0;  // the bounded-distance decoder's FER on this channel
    double seconds = 0.0;    // the point's blocks and statistics
    // BPSK's erasure threshold THETA at this point (as given, or the best one there); none on
    // a channel without one.
    std::optional<double> eraseBelow;
};

// The rates a stratified run estimates, per block sent.
enum class Rate : std::uint8_t { kFER, kSER, kBER, kFailure, kMiscorrection };
inline constexpr std::size_t kRateCount = 5;

// A nonnegative estimate with its 95 % interval, each as a natural logarithm (-infinity for
// 0), so that rates of 1e-400 and beyond keep their digits.
struct LogEstimate {
    double value = 0.0;
    double low = 0.0;
    double high = 0.0;
};

// A stratified run's estimates at one P0.
struct StratifiedPoint {
    double P0 = 0.0;
    std::array<LogEstimate, kRateCount> rates{};
    double theoryFER = 0.0;  // ln of the bounded-distance decoder's FER
    // ln of what the weights not sampled could add to any rate; every upper end includes it.
    double tail = 0.0;
    // The channel at this point: its symbol error probability, and on a channel that flips
    // bits its bit error probability (0 on the q-ary channel, whose P0 is its symbol's).
    double channelSER = 0.0;
    double channelBER = 0.0;
    // BPSK's erasure threshold THETA at this point (as given, or the best one there); none on
    // a channel without one.
    std::optional<double> eraseBelow;
};

// What the patterns of one weight gave, summed over the patterns.
struct WeightTally {
    std::int64_t patterns = 0;
    std::int64_t wrongBlocks = 0;          // patterns whose information came out wrong
    std::int64_t errorSymbols = 0;         // wrong information symbols
    std::int64_t errorSymbolsSquared = 0;  // their squares, pattern by pattern, for the spread
    std::int64_t bitErrors = 0;            // wrong information bits
    std::int64_t bitErrorsSquared = 0;
    std::int64_t failures = 0;        // patterns the decoder would have flagged
    std::int64_t miscorrections = 0;  // wrong patterns it would not have flagged

    bool operator==(const WeightTally&) const = default;
};

// A stratum of a run with erasures: its errors and its erasures on the channel (the punctured
// parity, erased in every block, not counted).
struct StratumKey {
    std::int32_t errors = 0;
    std::int32_t erasures = 0;

    bool operator==(const StratumKey&) const = default;
};

// An estimate with its 95 % interval.
struct Estimate {
    double value = 0.0;
    double low = 0.0;
    double high = 0.0;
};

// The patterns of one set of weights (firstWeight .. lastWeight, above t): their tallies, and
// each weight's rates (indexed by Rate) with their intervals.
struct WeightSampling {
    std::int32_t firstWeight = 0;
    std::int32_t lastWeight = 0;
    std::vector<WeightTally> tallies;  // weight firstWeight + i at i
    std::vector<std::array<Estimate, kRateCount>> weightRates;
    // With erasures or puncturing the strata are (errors, erasures): tallies[i] is strata[i]'s,
    // and firstWeight .. lastWeight spans their errors plus erasures. Empty otherwise.
    std::vector<StratumKey> strata;
};

// A stratified run: the weights sampled (firstWeight .. lastWeight, above t), their tallies,
// and the estimates at each P0.
struct StratifiedResults {
    std::int32_t t = 0;
    std::int32_t firstWeight = 0;
    std::int32_t lastWeight = 0;
    std::vector<WeightTally> tallies;  // weight firstWeight + i at i
    // Each weight's rates (indexed by Rate) with their intervals: exact Clopper-Pearson for
    // the block rates, the normal interval of the mean for symbols and bits.
    std::vector<std::array<Estimate, kRateCount>> weightRates;
    // With erasures or puncturing, the (errors, erasures) of each tally, as in WeightSampling.
    std::vector<StratumKey> strata;
    double confidence = 0.95;
    std::vector<StratifiedPoint> points;
    bool precise = true;  // every interval met the precision (always with fixed samples)
    int rounds = 0;
    std::int64_t patterns = 0;  // decoded in all
    double seconds = 0.0;
    // On a channel that flips bits, a wrong symbol's value depends on the bit error probability,
    // so each point samples patterns of its own: point i's at i. The shared tallies and
    // weightRates above are then empty, and firstWeight .. lastWeight spans every point's.
    std::vector<WeightSampling> pointWeights;
};

struct Results {
    CodeFacts code;
    Channel channel = QarySymmetricChannel{};
    std::int32_t interleave = 1;
    // Monte-Carlo: the points run, in order (fewer than asked when stopped).
    std::vector<PointResult> points;
    // The stratified method's estimates.
    std::optional<StratifiedResults> stratified;
    // Stopped early: by the stop flag, or by the observer.
    bool stopped = false;
};

// The exact 95 % (Clopper-Pearson) interval of errors in trials, and the bounded-distance
// decoder's FER of a code at P0: what a report derives for points it keeps from a file.
struct Interval {
    double low = 0.0;
    double high = 0.0;
};
Interval FrameErrorInterval(std::int64_t errorBlocks, std::int64_t blocks);
double TheoryFER(const CodeFacts& code, double P0);
// The bounded-distance decoder's FER on any channel, with interleave codewords a frame: exact
// for the Gilbert-Elliott chain too; NaN where P0 is beyond the channel's reach, or where the
// chain's sum would take more than about 10^9 steps.
double TheoryFER(const CodeFacts& code, double P0, const Channel& channel, std::int32_t interleave);
// The facts of a code, as the reports describe it.
CodeFacts FactsOf(std::int32_t m, std::int32_t t, std::optional<std::int32_t> length,
                  std::int32_t punctured = 0);
// The rates and intervals of a point's counts, on the q-ary symmetric channel.
PointResult DerivePoint(float P0, const Counts& counts, const CodeFacts& code, double seconds);
// The same on any channel, with interleave codewords a frame.
PointResult DerivePoint(float P0, const Counts& counts, const CodeFacts& code, double seconds,
                        const Channel& channel, std::int32_t interleave);

}  // namespace rs_sim
