#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rs_sim/experiment.h"

namespace rs {

// A channel at one point, in numbers: what the engines draw from and the theory sums over.
struct ChannelModel {
    enum class Kind : std::uint8_t {
        kQarySymmetric,  // each symbol replaced with probability errorRate
        kBinary,         // each bit flipped with probability errorRate
        kMarkov,         // Gilbert-Elliott: a Good/Bad chain stepping per bit or per symbol
    };
    Kind kind = Kind::kQarySymmetric;
    // Errors flip bits (kBinary, and the chain at bit level) rather than replace symbols.
    bool bitLevel = false;
    // The memoryless channels' error probability per bit (kBinary) or symbol (kQarySymmetric).
    double errorRate = 0.0;
    // The q-ary channel's erasure probability per symbol, exclusive of an error.
    double erasureRate = 0.0;
    // BPSK with erasures below a threshold, per bit: errorRate is the chance a bit is wrong and
    // reliable, unreliableRate the chance it is unreliable (right or wrong), exclusive of the
    // first. A symbol with an unreliable bit is erased.
    double unreliableRate = 0.0;
    // That channel's threshold THETA at this point (given, or the best one there); 0 elsewhere.
    double threshold = 0.0;
    // The chain: error probabilities in each state, its transitions per step, and the
    // stationary share of Bad.
    double goodError = 0.0;
    double badError = 0.0;
    double goodToBad = 0.0;
    double badToGood = 1.0;
    double badShare = 0.0;

    // Whether the errors are independent from symbol to symbol.
    bool Memoryless() const { return kind != Kind::kMarkov; }
    // The chance a symbol of m bits is in error, alone (for the chain, in the stationary state).
    // With unreliable bits, an error is a symbol with no unreliable bit and a wrong one.
    double SymbolErrorProbability(std::int32_t m) const;
    // The chance a symbol of m bits is erased: the q-ary channel's erasure probability, or for
    // BPSK with a threshold the chance one of its bits is unreliable; 0 elsewhere.
    double SymbolErasureProbability(std::int32_t m) const;
    // The chance a bit is in error, alone; for symbol errors, the expected share of a symbol's
    // m bits a uniformly chosen nonzero error value flips, times the symbol error probability.
    double BitErrorProbability(std::int32_t m) const;
};

// Whether the channel's errors flip bits, so that a point counts the bits it flipped.
bool FlipsBits(const rs_sim::Channel& channel);

// Q(x), the upper tail of the standard normal distribution.
double NormalTail(double x);
// BPSK over AWGN, hard decisions: the bit error probability Q(sqrt(2 R Eb/N0)) at Eb/N0 in dB.
double BpskBitErrorProbability(double ebN0Db, double rate);

// The code as a channel carries it: codewords of n symbols of m bits (shortened or not), 2t of
// them parity, the last `punctured` parity symbols never sent.
struct SentCode {
    std::int32_t m = 0;
    std::int32_t n = 0;
    std::int32_t t = 0;
    std::int32_t punctured = 0;

    // The code's rate as sent, k / (n - punctured), on which Eb/N0 counts.
    double Rate() const {
        return static_cast<double>(n - 2 * t) / static_cast<double>(n - punctured);
    }
};

// The channel at P0 for that code, or why P0 is out of the channel's reach (in the program's
// words). BPSK's best threshold is sought here, so that engines, theory and reports agree.
struct ChannelAt {
    std::optional<ChannelModel> model;
    std::string error;
};
ChannelAt ModelChannel(const rs_sim::Channel& channel, const SentCode& code, double P0);

// The largest long-run error probability a Gilbert-Elliott chain reaches with these error
// probabilities and mean burst length: the share of Bad can be at most burst / (burst + 1), where
// every Good sojourn lasts one step.
double LargestMarkovErrorRate(const rs_sim::GilbertElliottChannel& channel);

}  // namespace rs
