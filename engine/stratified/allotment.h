#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/stratified/stratified_study.h"
#include "stats/stratified_estimate.h"
#include "stats/weight_tally.h"

namespace rs {

// The rates a study's precision is asked of.
inline constexpr std::array<Rate, 3> kPreciseRates = {Rate::kFER, Rate::kSER, Rate::kBER};

// ln of a point's smallest precise rate: what the items left out are held against.
double LogFloor(const StratifiedPoint& point);

// Whether no point's precise rate has an interval wider than the precision asks.
bool Precise(const std::vector<StratifiedPoint>& points, double precision);

// The patterns each sampled item (a weight, or a stratum of errors and erasures) should have
// after a round. At every point, for each precise rate whose interval is wider than the
// precision allows, the items with the largest shares of its variance get their patterns
// multiplied (by at most 16 a round, up to request.mostSamples) until the rest fits a quarter
// of the allowance. logWeight(point, item) is the item's weight at the point, as a logarithm.
std::vector<std::int64_t> WantedPatterns(
    const StudyRequest& request, const std::vector<WeightTally>& tallies,
    const std::vector<StratumRates>& rates,
    const std::function<double(std::size_t point, std::size_t item)>& logWeight);

}  // namespace rs
