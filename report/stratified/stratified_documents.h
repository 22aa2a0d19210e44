#pragma once

#include <string>
#include <vector>

#include "report/plot/plot.h"
#include "report/stratified/stratified_json.h"
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

// The points as the plot draws them.
std::vector<EstimatedPoint> EstimatedPoints(const rs_sim::StratifiedResults& result);

}  // namespace rs
