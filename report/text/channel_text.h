#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rs_sim/experiment.h"
#include "rs_sim/results.h"

namespace rs {

// How the reports name a channel. The q-ary symmetric channel is the program's own: its reports
// say nothing of a channel, as they never did, so that they stay byte for byte as they were.
bool IsDefaultChannel(const rs_sim::Channel& channel);

// Whether the points are Eb/N0 values in dB (BPSK over AWGN) rather than probabilities.
bool SweepsEbN0(const rs_sim::Channel& channel);

// Whether the channel erases symbols (the q-ary channel with an erasure probability, BPSK with a
// threshold), so that a point reports its erasures and the errors and erasures corrected.
bool CountsErasures(const rs_sim::Channel& channel);
// BPSK's threshold as the reports write it ("0.25", "best"); empty without one.
std::string ThresholdText(const rs_sim::Channel& channel);
// Whether the channel flips bits, so that a point counts the channel's bit errors.
bool CountsChannelBits(const rs_sim::Channel& channel);

// A point as the reports head it: "Eb/N0=2.50 dB" where the sweep is in Eb/N0, else
// "P0=1.00e-003".
std::string SweptValueText(double P0, const rs_sim::Channel& channel);

// The shortest decimal text that reads back as the same double ("0.5", "10", "1e-05").
std::string DecimalText(double value);

// The report's header line: the code, then, for a channel other than the default, its words
// "  channel=NAME", the q-ary channel's "  erasures=PE" when it erases, BPSK's
// "  eraseBelow=THETA" (or "best") when it has a threshold, the Gilbert-Elliott
// chain's "  level=  burst=  goodError=  badError=",
// "  interleave=I" when I > 1, and "  seed=S" for a seed other than the default, so that a
// resumed run can tell whether it continues the same stream.
std::string ReportHeader(const rs_sim::CodeFacts& code, const rs_sim::Channel& channel,
                         std::int32_t interleave, std::int32_t seed = rs_sim::kDefaultSeed,
                         bool deliverReceived = false);

// Why a report's header line is not the expected one, or empty when it is: the code's part
// first, then the first channel word that differs, a word left out read as its default
// ("its header has channel=q-ary-symmetric where this run has channel=bpsk-awgn").
std::string HeaderDifference(std::string_view written, std::string_view expected);

// The channel as a plot's title names it ("binary symmetric channel").
std::string ChannelTitle(const rs_sim::Channel& channel, std::int32_t interleave);

}  // namespace rs
