#pragma once

// What to simulate: a Reed-Solomon code, a channel, the channel values to run, when a point
// stops, how the rates are estimated, and on how many threads. Plain values: build one, check
// it with CheckExperiment, hand it to Simulate (simulator.h).

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rs_sim {

// A value, or the message the program prints when there is none.
template <typename T>
struct Expected {
    std::optional<T> value;
    std::string error;

    explicit operator bool() const { return value.has_value(); }
};

// RS(n, n - 2t) over GF(2^m), 1 <= m <= 30, with n = 2^m - 1, or shortened to length symbols
// (2t < length <= 2^m - 1): the codeword's first positions are never sent.
struct Code {
    std::int32_t m = 0;
    std::int32_t t = 0;
    std::optional<std::int32_t> length;

    // The symbols sent per block.
    std::int32_t N() const;
    // The information symbols per block.
    std::int32_t K() const { return N() - 2 * t; }
};

// Each symbol is replaced with probability P0 by one of the q - 1 others, uniformly: the
// channel the program has always run. P0 is its symbol error probability. With an erasure
// probability PE, each symbol is instead erased with probability PE (the receiver knows where)
// or else replaced with probability P0, never both (P0 + PE <= 1); such a run draws its frames
// from counter-based streams as the other channels do, and the decoder corrects errors and
// erasures. Without one the channel is drawn exactly as it always was.
struct QarySymmetricChannel {
    std::optional<double> erasure;
};

// Each of a block's n x m bits flips independently with probability P0. A symbol's bits are its
// polynomial-basis bits (bit b is the coefficient of x^b).
struct BinarySymmetricChannel {};

// BPSK over AWGN. P0 is Eb/N0 in dB; the amplitude is +-1 and the noise's deviation
// sigma = 1/sqrt(2 R Eb/N0), R = k/n of the code as sent (shortened or not, punctured parity
// left out). With hard decisions each bit flips independently with probability Q(1/sigma).
// With a threshold THETA (in units of the amplitude), a bit received with |y| < THETA is
// unreliable and a symbol with an unreliable bit is erased (decoded for errors and erasures):
// per bit, wrong and reliable with a = Q((1 + THETA)/sigma), unreliable with
// b = Q((1 - THETA)/sigma) - Q((1 + THETA)/sigma). THETA = 0 is the hard-decision channel.
struct BpskAwgnChannel {
    // At each point, the THETA in [0, 1] that minimises the bounded-distance FER
    // P(2e + s > 2t) of the code as sent.
    struct BestThreshold {
        bool operator==(const BestThreshold&) const = default;
    };
    // A fixed THETA, finite and not negative, or the best one at each point.
    using Threshold = std::variant<double, BestThreshold>;
    // None: hard decisions, without erasures (the channel as it always was).
    std::optional<Threshold> eraseBelow;
};

// A two-state Markov chain, Good and Bad, over the frame's bits (or symbols), in error with
// probability goodError in Good and badError in Bad. A burst in Bad lasts burst bits (or
// symbols) on average: P(Bad -> Good) = 1 / burst. P0 is the long-run error probability, which
// fixes the share of time in Bad and with it P(Good -> Bad). Every frame starts in a state drawn
// from the chain's stationary distribution, so frames are independent.
struct GilbertElliottChannel {
    enum class Level : std::uint8_t {
        kBit,     // the chain steps per bit; a wrong bit flips
        kSymbol,  // the chain steps per symbol; a wrong symbol becomes one of the q - 1 others
    };
    Level level = Level::kBit;
    double goodError = 0.0;
    double badError = 0.5;
    double burst = 0.0;  // the mean burst length, at least 1: there is no default
};

// The channel the blocks cross; P0 is the value each channel sweeps. The q-ary symmetric channel
// draws from the program's own generator, as it always has; the others draw each frame's errors
// from a counter-based stream keyed by (seed, point) with the frame's index in the counter. Each
// channel is drawn in engine/ (the literal reference path first, then the fast one, which must
// count alike) and states its exact per-symbol error probabilities in stats/.
using Channel = std::variant<QarySymmetricChannel, BinarySymmetricChannel, BpskAwgnChannel,
                             GilbertElliottChannel>;

// The channel's name on the command line and in the reports: "q-ary-symmetric",
// "binary-symmetric", "bpsk-awgn", "gilbert-elliott".
const char* ChannelName(const Channel& channel);

// Whether the channel is drawn frame by frame from counter-based streams keyed by (seed,
// point), rather than from the program's own generator (the plain q-ary symmetric channel).
inline bool SendsFrames(const Channel& channel) {
    const auto* symmetric = std::get_if<QarySymmetricChannel>(&channel);
    return symmetric == nullptr || symmetric->erasure.has_value();
}
// Whether the channel erases symbols, so that a run decodes errors and erasures and counts its
// erasures: the q-ary channel with an erasure probability, BPSK with a threshold (either even
// at 0, as the q-ary channel erases at 0).
inline bool Erases(const Channel& channel) {
    if (const auto* bpsk = std::get_if<BpskAwgnChannel>(&channel)) {
        return bpsk->eraseBelow.has_value();
    }
    const auto* symmetric = std::get_if<QarySymmetricChannel>(&channel);
    return symmetric != nullptr && symmetric->erasure.has_value();
}
// The channel's erasure probability per sent symbol where it is one number for every point:
// the q-ary channel's PE; 0 on a channel without erasures. BPSK's erasures below a threshold
// depend on the point (stats/channel_model.h gives them), and this gives NaN for them.
inline double ErasureProbability(const Channel& channel) {
    if (const auto* bpsk = std::get_if<BpskAwgnChannel>(&channel)) {
        return bpsk->eraseBelow ? std::numeric_limits<double>::quiet_NaN() : 0.0;
    }
    const auto* symmetric = std::get_if<QarySymmetricChannel>(&channel);
    return symmetric != nullptr ? symmetric->erasure.value_or(0.0) : 0.0;
}

// The most codewords one frame interleaves.
inline constexpr std::int32_t kMaxInterleave = 1024;

// The P0 values a run visits, in order, and how they were given (the reports say so). For BPSK
// over AWGN they are Eb/N0 values in dB.
struct Points {
    enum class Kind : std::uint8_t {
        kSweep,      // the experiment file's Pmax, Pmin and Pstep
        kList,       // values as listed
        kDecades,    // "FROM:TO:N", N values a decade
        kEbN0List,   // Eb/N0 values in dB as listed
        kEbN0Range,  // "FROM:TO:STEP", Eb/N0 in dB on a linear grid
    };
    Kind kind = Kind::kList;
    std::vector<float> values;
    // The sweep's lines, when kind is kSweep.
    float Pmax = 0.0F;
    float Pmin = 0.0F;
    float Pstep = 0.0F;
    // A list, decades or range as written, for the reports and the resume command.
    std::string text;

    // From Pmax down by Pstep while the next value, taken in double precision before rounding
    // to single, stays at or above Pmin. Refused when it would never end or is absurdly long.
    static Expected<Points> Sweep(float Pmax, float Pmin, float Pstep);
    // "0.1,0.05,2e-3": each the float nearest its decimal text, finite and not negative.
    static Expected<Points> List(std::string_view text);
    // "FROM:TO:N": N points a decade from FROM down to TO at 10^(-j/N) rounded to three
    // significant digits.
    static Expected<Points> Decades(std::string_view text);
    // "-1,0,2.5": Eb/N0 values in dB, each the float nearest its decimal text and finite.
    static Expected<Points> EbN0List(std::string_view text);
    // "FROM:TO:STEP": FROM + i x STEP in double precision, rounded to single, while it stays at
    // or below TO (at or above it for a negative STEP); a value that rounds to TO's float is TO.
    // Refused when STEP is 0, leads away from TO, is too small for single precision, or gives
    // absurdly many values.
    static Expected<Points> EbN0Range(std::string_view text);
    // The given values, as a list.
    static Points Values(std::vector<float> values);
};

// A point ends when either limit is reached: blocks sent, or blocks decoded wrongly. A limit may
// exceed 32 bits: a point's counts are 64-bit.
struct StopRules {
    std::int64_t maxBlocks = 0;
    std::int64_t maxErrorBlocks = 0;
};

// Random blocks through the channel, counted exactly.
struct MonteCarlo {};

// Error patterns of each weight sampled and weighted by their exact binomial chance at every
// P0: rates to any depth, with intervals. Either a fixed number of patterns per weight, or as
// many as bring every interval's relative half-width down to precision.
struct Stratified {
    std::optional<std::int64_t> samples;
    double precision = 0.01;
};

using Method = std::variant<MonteCarlo, Stratified>;

// Which Monte-Carlo engine runs the blocks: both give the same counts.
enum class EngineChoice : std::uint8_t {
    kFast,       // the fast exact engine, on threads
    kReference,  // the literal block-by-block experiment
};

// The seed of the program's default stream.
inline constexpr std::int32_t kDefaultSeed = 1234;
// Seeds beyond this would repeat a smaller seed's stream.
inline constexpr std::int32_t kMaxSeed = (1 << 21) - 1;
inline constexpr int kMaxThreads = 1024;

struct Experiment {
    Code code;
    Channel channel = QarySymmetricChannel{};
    // interleave codewords form a frame: symbol j of codeword i is sent at j x interleave + i.
    // Each codeword is decoded alone, and the stop rules and rates stay per codeword. More than 1
    // only on the channels with counter-based streams.
    std::int32_t interleave = 1;
    // The last `puncture` parity symbols (positions 2t - puncture .. 2t - 1) are not sent and are
    // erased at the receiver, 0 to 2t; the rate and Eb/N0 take the sent length n - puncture. Only
    // on the channels that send frames (the q-ary channel with an erasure probability, 0 if need
    // be).
    std::int32_t puncture = 0;
    // What a block the decoder flags delivers: its decoding, as the decoder corrects blindly, or
    // its received information, an erased symbol counted wrong. kReceived only on the channels
    // that send frames.
    enum class OnFailure : std::uint8_t { kDecoded, kReceived };
    OnFailure onFailure = OnFailure::kDecoded;
    Points points;
    StopRules stop;
    Method method = MonteCarlo{};
    EngineChoice engine = EngineChoice::kFast;
    // The output is the same on any number of threads.
    int threads = 1;
    // Every point restarts the stream from the seed, so any point can be reproduced alone.
    std::int32_t seed = kDefaultSeed;
    // Point i instead starts i x 2^40 draws along the seed's stream: counts independent of one
    // another's. The channels with counter-based streams have independent points already, and
    // give the same counts either way.
    bool independentPoints = false;
};

// The shortest decimal text that reads back as the same single-precision value (0.07 for the
// float nearest 0.07): P0 as it was written, for reports and the stratified method's weights.
double ShortestDecimal(float value);
// The same shortest text ("nan" for a NaN), as messages show a value.
std::string ShortestText(float value);

// Why the experiment cannot run, in the program's words; empty when it can.
std::string CheckExperiment(const Experiment& experiment);

}  // namespace rs_sim
