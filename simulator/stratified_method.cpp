#include "simulator/stratified_method.h"

#include <algorithm>
#include <array>
#include <new>

#include "engine/engine_plan.h"
#include "engine/stratified/stratified_study.h"
#include "rs_sim/experiment.h"
#include "system/performance_counter.h"

namespace rs_sim {

namespace {

// Each weight's rates with their intervals, the normal quantile times each side's error.
std::array<Estimate, kRateCount> WeightRates(const rs::WeightTally& tally, std::int32_t k,
                                             std::int32_t m) {
    static const double z = rs::NormalQuantile(rs::kConfidence);
    const rs::StratumRates rates = rs::SummarizeWeight(tally, k, m);
    std::array<Estimate, kRateCount> estimates{};
    for (std::size_t i = 0; i < kRateCount; ++i) {
        const rs::StratumRate& r = rates[i];
        estimates[i] = {r.mean, std::max(r.mean - z * r.errorLow, 0.0),
                        std::min(r.mean + z * r.errorHigh, 1.0)};
    }
    return estimates;
}

StratifiedResults ResultsOf(const rs::StudyResult& study, const CodeFacts& code) {
    StratifiedResults results;
    results.t = study.t;
    results.firstWeight = study.firstWeight;
    results.lastWeight = study.lastWeight;
    results.tallies = study.tallies;
    for (const rs::WeightTally& tally : study.tallies) {
        results.patterns += tally.patterns;
        results.weightRates.push_back(WeightRates(tally, code.k, code.m));
    }
    results.points = study.points;
    results.confidence = rs::kConfidence;
    results.precise = study.precise;
    results.rounds = study.rounds;
    return results;
}

}  // namespace

Expected<Results> RunStratifiedStudy(const Experiment& experiment, const Stratified& method,
                                     const RunControls& controls) {
    Results results;
    results.code = FactsOf(experiment.code.m, experiment.code.t, experiment.code.length);
    rs::StudyRequest request;
    request.code = {.m = experiment.code.m,
                    .t = experiment.code.t,
                    .length = experiment.code.length.value_or(0),
                    .tabled = experiment.code.m <= rs::kLargestTabledField};
    for (const float P0 : experiment.points.values) {
        // P0 as its decimal text reads, not the float's binary expansion.
        request.points.push_back(ShortestDecimal(P0));
    }
    request.seed = static_cast<std::uint32_t>(experiment.seed);
    request.threads = experiment.threads;
    request.samples = method.samples;
    request.precision = method.precision;
    rs::SteadyPerformanceCounter steady;
    Clock& clock = controls.clock != nullptr ? *controls.clock : steady;
    const std::int64_t started = clock.Count();
    const auto seconds = [&] {
        return static_cast<double>(clock.Count() - started) /
               static_cast<double>(clock.Frequency());
    };
    rs::StudyResult study;
    try {
        study = rs::RunStudy(request, [&](int round, std::int64_t patterns) {
            if (controls.observer != nullptr) {
                controls.observer->Round(round, patterns, seconds());
            }
        });
    } catch (const std::bad_alloc&) {
        return {{}, "out of memory while sampling error patterns"};
    }
    results.stratified = ResultsOf(study, results.code);
    results.stratified->seconds = seconds();
    return {std::move(results), {}};
}

}  // namespace rs_sim
