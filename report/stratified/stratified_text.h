#pragma once

#include <optional>
#include <string>

#include "report/documents/point_fields.h"
#include "engine/stratified/stratified_study.h"

namespace rs {

// How a stratified run was asked to sample: patterns per weight, or a precision.
struct StratifiedAsk {
    std::optional<std::int64_t> samples;
    double precision = 0.0;
    std::uint32_t seed = 0;
};

// The largest share of any rate (FER, SER, BER) at any point that the weights left out could
// hold, as a natural logarithm.
double LogTailShare(const StudyResult& result);

// The text a stratified run shows on the console and writes to its report, after the code's
// header line: how it sampled and its intervals, then each point, then the weights.
std::string StratifiedMethodText(const StratifiedAsk& ask, const StudyResult& result,
                                 std::int64_t patterns);
std::string StratifiedPointText(const StratifiedPoint& point);
std::string PerWeightText(const StudyResult& result);

}  // namespace rs
