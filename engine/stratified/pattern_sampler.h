#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"
#include "engine/kernel/draw_kernels.h"
#include "random/philox_stream.h"
#include "stats/weight_tally.h"

namespace rs {

// The code a stratified study samples: RS over GF(2^m) correcting t, shortened to length
// (0: the full 2^m - 1), decoded with the field's tables or, beyond them, without. A wrong
// symbol's value is uniform over the q - 1 nonzero ones, as on the q-ary symmetric channel, or,
// with bitError > 0, that of a channel flipping each bit with that probability, given that the
// symbol is wrong. With bitUnreliable > 0 a bit is also unreliable with that probability (a
// symbol with one is erased), so a wrong symbol's bits are each wrong with bitError, right
// with 1 - bitError - bitUnreliable. The receiver of strata of errors and erasures misses the
// last `punctured` parity symbols and, with deliverReceived, a flagged block delivers its
// received information, an erased symbol wrong, as the frame engine's does.
struct StratifiedCode {
    std::int32_t m = 0;
    std::int32_t t = 0;
    std::int32_t length = 0;
    bool tabled = true;
    double bitError = 0.0;
    double bitUnreliable = 0.0;
    std::int32_t punctured = 0;
    bool deliverReceived = false;
};

// Draws error patterns of a given weight and counts what the decoder makes of them. Sample s of
// weight w from a seed is always the same pattern: its w positions a uniform subset of the n
// sent positions (Floyd's algorithm), then its values in increasing position. A uniform value
// is one draw over the q - 1 nonzero symbols. A bit-flipping channel's value is its number of
// flipped bits c, P(c) proportional to C(m, c) p^c (1 - p)^(m - c) for c = 1..m, by inversion
// of a 53-bit uniform, then which c of the m bits, a uniform subset; together that is the
// channel's law of the value given a wrong symbol. The decoding is the fast engine's, stage for
// stage.
class PatternSampler {
  public:
    PatternSampler(const StratifiedCode& code, const DrawKernel& kernel);

    std::int32_t N() const { return counter->N(); }
    std::int32_t K() const { return counter->K(); }

    // Adds samples first .. first + count - 1 of weight (1..n) to the tally.
    void Sample(std::uint32_t seed, std::int32_t weight, std::uint64_t first, std::uint64_t count,
                WeightTally& tally);

    // The pattern of one sample: its positions, increasing, and their values.
    struct Pattern {
        std::span<const std::int32_t> positions;
        std::span<const Symbol> values;
    };
    Pattern Draw(std::uint32_t seed, std::int32_t weight, std::uint64_t sample);

    // Adds samples first .. first + count - 1 of the stratum of `errors` errors and `erasures`
    // erasures among the n - punctured sent symbols. Sample s is drawn from the stream keyed by
    // (seed, errors + erasures) in lane 1 + erasures, apart from every weight's: a uniform
    // (errors + erasures)-subset of the sent positions (Floyd's algorithm), a uniform
    // erasures-subset of those, in increasing position, erased, the rest errors with values as
    // Draw gives them. A flagged block that delivers its received information then draws the
    // sent value of each erased information symbol, uniform, for its wrong bits.
    void SampleStratum(std::uint32_t seed, std::int32_t errors, std::int32_t erasures,
                       std::uint64_t first, std::uint64_t count, WeightTally& tally);

    // The counts of one sample of a stratum, and its pattern: the errors' positions and values,
    // and the erasures the decoder is told of (the channel's and the punctured parity).
    struct StratumSample {
        BlockOutcome outcome;
        std::span<const std::int32_t> positions;
        std::span<const Symbol> values;
        std::span<const std::int32_t> erasures;
    };
    StratumSample CountStratum(std::uint32_t seed, std::int32_t errors, std::int32_t erasures,
                               std::uint64_t sample);

  private:
    // Picks count of the first `from` indices, a uniform subset (Floyd's algorithm), into
    // `positions`, increasing.
    void PickSubset(PhiloxStream& stream, std::int32_t from, std::int32_t count);
    static void AddToTally(const BlockOutcome& outcome, WeightTally& tally);
    std::unique_ptr<ReedSolomonCodec> codec;
    std::unique_ptr<BlockCounter> counter;
    Symbol BitFlips(PhiloxStream& stream) const;

    std::int32_t q = 0;
    std::int32_t m = 0;
    // With a bit-flipping channel: P(at most c + 1 bits flip | the symbol is wrong) at c, the
    // last exactly 1; empty for uniform values.
    std::vector<double> flipsAtMost;
    std::vector<std::uint8_t> chosen;  // by position, while a pattern is drawn
    std::vector<std::int32_t> positions;
    std::vector<Symbol> values;
    // A stratum's sample: its picked sent positions, which of them are erased, and the erasures
    // the decoder is told of.
    std::vector<std::int32_t> picked;
    std::vector<std::uint8_t> erasedPick;
    std::vector<std::int32_t> erasureList;
    std::int32_t punctured = 0;
    bool deliverReceived = false;
    std::int32_t t = 0;
};

}  // namespace rs
