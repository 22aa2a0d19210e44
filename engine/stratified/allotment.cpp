#include "engine/stratified/allotment.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "stats/binomial_weights.h"

namespace rs {

namespace {

// The most a round multiplies an item's patterns by: the variance shares are estimates too.
constexpr std::int64_t kMostGrowth = 16;

}  // namespace

double LogFloor(const StratifiedPoint& point) {
    double floor = 0.0;
    for (const Rate rate : kPreciseRates) {
        floor = std::min(floor, point.rates[static_cast<std::size_t>(rate)].value);
    }
    return floor;
}

bool Precise(const std::vector<StratifiedPoint>& points, double precision) {
    bool precise = true;
    for (const StratifiedPoint& point : points) {
        for (const Rate rate : kPreciseRates) {
            const LogEstimate& e = point.rates[static_cast<std::size_t>(rate)];
            if (e.value == kLogZero) {
                continue;
            }
            const double width =
                std::max(std::exp(e.high - e.value) - 1.0, 1.0 - std::exp(e.low - e.value));
            precise = precise && width <= precision * (1.0 + 1e-9);
        }
    }
    return precise;
}

std::vector<std::int64_t> WantedPatterns(
    const StudyRequest& request, const std::vector<WeightTally>& tallies,
    const std::vector<StratumRates>& rates,
    const std::function<double(std::size_t point, std::size_t item)>& logWeight) {
    std::vector<std::int64_t> wanted(tallies.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        wanted[i] = tallies[i].patterns;
    }
    const double z = NormalQuantile(kConfidence);
    std::vector<double> logWeights(wanted.size());
    std::vector<std::pair<double, std::size_t>> shares;
    for (std::size_t p = 0; p < request.points.size(); ++p) {
        double largest = kLogZero;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            logWeights[i] = logWeight(p, i);
            largest = std::max(largest, logWeights[i]);
        }
        if (largest == kLogZero) {
            continue;
        }
        for (const Rate rate : kPreciseRates) {
            const auto r = static_cast<std::size_t>(rate);
            // In units of the largest weight: the estimate, each item's variance share, and
            // the variance the precision allows.
            double sum = 0.0;
            double total = 0.0;
            shares.clear();
            for (std::size_t i = 0; i < wanted.size(); ++i) {
                const double scale = std::exp(logWeights[i] - largest);
                const StratumRate& s = rates[i][r];
                sum += scale * s.mean;
                const double error = std::max(s.errorLow, s.errorHigh);
                const double share = scale * scale * error * error;
                total += share;
                shares.emplace_back(share, i);
            }
            // The tail's share widens the upper end beside the sampling error.
            const double allowed = std::pow((request.precision - request.tailShare) * sum / z, 2.0);
            if (sum <= 0.0 || total <= allowed) {
                continue;  // a rate of 0 has no relative width to reach
            }
            // The largest shares get more patterns until what is left of the rest fits a
            // quarter of the allowance.
            std::sort(shares.begin(), shares.end(), std::greater<>());
            double rest = total;
            const auto growth = std::min<std::int64_t>(
                kMostGrowth, static_cast<std::int64_t>(std::bit_ceil(
                                 static_cast<std::uint64_t>(std::ceil(total / allowed)))));
            for (const auto& [share, i] : shares) {
                if (rest <= allowed / 4.0) {
                    break;
                }
                rest -= share;
                wanted[i] = std::max(wanted[i],
                                     std::min(request.mostSamples, tallies[i].patterns * growth));
            }
        }
    }
    return wanted;
}

}  // namespace rs
