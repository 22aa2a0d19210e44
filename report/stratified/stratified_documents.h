#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "report/documents/json_report.h"
#include "report/plot/plot.h"
#include "report/stratified/stratified_text.h"

namespace rs {

// The CSV of a stratified run: one header line, one row per point. A value below the range of
// a double is left empty beside its log10 column. Every row names the code's n and k, the
// channel and the method; on a channel other than the default one more column gives the
// channel's bit error rate (empty where it flips no bits).
extern const char* const kStratifiedCsvHeader;
std::string StratifiedCsvHeader(const rs_sim::Channel& channel);
std::string StratifiedCsv(const rs_sim::StratifiedResults& result, const rs_sim::CodeFacts& code,
                          const rs_sim::Channel& channel);

// The JSON document of a stratified run: today's program, version, experiment and code, with
// "method": "stratified", how it sampled, the points (today's rate names with their intervals,
// and log10 fields that keep values below the range of a double) and the per-weight table. On a
// channel that flips bits each point adds its channel's bit error rate and, where it drew
// patterns of its own, its own per-weight table, in place of the document's.
nlohmann::ordered_json StratifiedJson(const RunDescription& run, const StratifiedAsk& ask,
                                      const rs_sim::StratifiedResults& result,
                                      std::int64_t patterns, double seconds);

// The points as the plot draws them.
std::vector<EstimatedPoint> EstimatedPoints(const rs_sim::StratifiedResults& result);

// A value given as its natural logarithm, as a double when it is 0 or a normal double, and
// NaN below that (never a denormal or a false 0).
double PlainValue(double logValue);

}  // namespace rs
