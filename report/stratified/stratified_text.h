#pragma once

#include <optional>
#include <string>

#include "report/stratified/stratified_json.h"
#include "rs_sim/results.h"

namespace rs {

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
