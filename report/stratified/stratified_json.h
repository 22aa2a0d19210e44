#pragma once

// A stratified run's JSON document, and what its CSV shares with it.

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "report/documents/run_description.h"
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

// The JSON document of a stratified run: today's program, version, experiment and code, with
// "method": "stratified", how it sampled, the points (today's rate names with their intervals,
// and log10 fields that keep values below the range of a double) and the per-weight table. On a
// channel that flips bits each point adds its channel's bit error rate and, where it drew
// patterns of its own, its own per-weight table, in place of the document's.
nlohmann::ordered_json StratifiedJson(const RunDescription& run, const StratifiedAsk& ask,
                                      const rs_sim::StratifiedResults& result,
                                      std::int64_t patterns, double seconds);

// The rates with the names the reports give them.
extern const std::array<std::pair<rs_sim::Rate, const char*>, rs_sim::kRateCount> kRateNames;

// A value given as its natural logarithm, as a double when it is 0 or a normal double, and
// NaN below that (never a denormal or a false 0).
double PlainValue(double logValue);
// log10 of a value given as its natural logarithm.
double Log10(double logValue);
// The channel's symbol error rate at a point: on the default channel that is P0 itself.
double ChannelSER(const rs_sim::StratifiedPoint& point, const rs_sim::Channel& channel);

}  // namespace rs
