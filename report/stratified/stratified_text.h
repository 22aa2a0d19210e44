#pragma once

#include <optional>
#include <string>

#include "rs_sim/results.h"

namespace rs {

// How a stratified run was asked to sample: patterns per weight, or a precision.
struct StratifiedAsk {
    std::optional<std::int64_t> samples;
    double precision = 0.0;
    std::uint32_t seed = 0;
};

// The largest share of any rate (FER, SER, BER) at any point that the weights left out could
// hold, as a natural logarithm.
double LogTailShare(const rs_sim::StratifiedResults& result);

// The text a stratified run shows on the console and writes to its report, after the code's
// header line: how it sampled and its intervals, then each point, then the weights. On the
// default channel it reads as it always has; on a channel that flips bits each point is headed
// as the sweep gives it (Eb/N0 in dB for BPSK over AWGN), shows the channel's symbol and bit
// error rates, and has a weight table of its own.
std::string StratifiedMethodText(const StratifiedAsk& ask, const rs_sim::StratifiedResults& result,
                                 std::int64_t patterns);
std::string StratifiedPointText(const rs_sim::StratifiedPoint& point,
                                const rs_sim::Channel& channel);
std::string PerWeightText(const rs_sim::StratifiedResults& result, const rs_sim::Channel& channel);

}  // namespace rs
