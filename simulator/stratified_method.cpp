#include "simulator/stratified_method.h"

#include <algorithm>
#include <array>
#include <functional>
#include <new>
#include <vector>

#include "base/contract.h"
#include "engine/engine_plan.h"
#include "engine/stratified/stratified_study.h"
#include "rs_sim/experiment.h"
#include "stats/channel_model.h"
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

WeightSampling SamplingOf(const rs::StudyResult& study, const CodeFacts& code) {
    WeightSampling sampling{study.firstWeight, study.lastWeight, study.tallies, {}, study.strata};
    for (const rs::WeightTally& tally : study.tallies) {
        sampling.weightRates.push_back(WeightRates(tally, code.k, code.m));
    }
    return sampling;
}

std::int64_t PatternsOf(const rs::StudyResult& study) {
    std::int64_t patterns = 0;
    for (const rs::WeightTally& tally : study.tallies) {
        patterns += tally.patterns;
    }
    return patterns;
}

// Whether a study must stratify by errors and erasures: the channel or the receiver erases, or
// a flagged block delivers what it received, which only the strata's sampler counts.
bool ByStrata(const Experiment& experiment) {
    const auto* symmetric = std::get_if<QarySymmetricChannel>(&experiment.channel);
    return experiment.puncture > 0 || experiment.onFailure == Experiment::OnFailure::kReceived ||
           (symmetric != nullptr && symmetric->erasure.has_value());
}

rs::StudyResult Study(const rs::StudyRequest& request, bool strata,
                      const std::function<void(int, std::int64_t)>& progress) {
    return strata ? rs::RunStrataStudy(request, progress) : rs::RunStudy(request, progress);
}

// The q-ary channel's points share one study: its error values do not depend on P0.
StratifiedResults SharedStudy(rs::StudyRequest& request, const std::vector<double>& points,
                              const Experiment& experiment, const CodeFacts& code,
                              const std::function<void(int, std::int64_t)>& progress) {
    request.points = points;
    const bool strata = ByStrata(experiment);
    if (strata) {
        request.erasurePoints.assign(points.size(), ErasureProbability(experiment.channel));
    }
    const rs::StudyResult study = Study(request, strata, progress);
    StratifiedResults results;
    results.t = study.t;
    WeightSampling sampling = SamplingOf(study, code);
    results.firstWeight = sampling.firstWeight;
    results.lastWeight = sampling.lastWeight;
    results.tallies = std::move(sampling.tallies);
    results.weightRates = std::move(sampling.weightRates);
    results.strata = std::move(sampling.strata);
    results.patterns = PatternsOf(study);
    results.points = study.points;
    for (StratifiedPoint& point : results.points) {
        point.channelSER = point.P0;
    }
    results.precise = study.precise;
    results.rounds = study.rounds;
    return results;
}

// On a channel flipping bits, a wrong symbol's value depends on the bit error probability, so
// each point has a study of its own, weighted by its symbol error probability. Every point's
// patterns come from the one seed, so that neighbouring points share their positions. Where
// bits can be unreliable the point's symbols are errors or erasures, and its study is by
// strata; the channel's model gives both probabilities and the law of a wrong symbol's bits.
StratifiedResults StudyPerPoint(rs::StudyRequest& request, const std::vector<double>& points,
                                const Experiment& experiment, const CodeFacts& code,
                                const std::function<void(int, std::int64_t)>& progress) {
    StratifiedResults results;
    results.t = code.t;
    results.firstWeight = code.n + 1;
    results.lastWeight = code.t;
    for (const double P0 : points) {
        // The code's rate is that of the symbols sent, the punctured parity left out.
        const rs::ChannelAt at =
            rs::ModelChannel(experiment.channel, {code.m, code.n, code.t, code.punctured}, P0);
        RS_ASSERT(at.model && at.model->kind == rs::ChannelModel::Kind::kBinary,
                  "the experiment's check admits only reachable points of memoryless channels");
        const double bitError = at.model->errorRate;
        const double symbolError = at.model->SymbolErrorProbability(code.m);
        const bool strata = ByStrata(experiment) || at.model->unreliableRate > 0.0;
        request.points = {symbolError};
        request.erasurePoints.clear();
        if (strata) {
            request.erasurePoints = {at.model->SymbolErasureProbability(code.m)};
        }
        request.code.bitError = bitError;
        request.code.bitUnreliable = at.model->unreliableRate;
        const int roundsBefore = results.rounds;
        const std::int64_t patternsBefore = results.patterns;
        const rs::StudyResult study = Study(request, strata, [&](int round, std::int64_t patterns) {
            if (progress) {
                progress(roundsBefore + round, patternsBefore + patterns);
            }
        });
        StratifiedPoint point = study.points.front();
        point.P0 = P0;
        point.channelSER = symbolError;
        point.channelBER = bitError;
        if (const auto* bpsk = std::get_if<BpskAwgnChannel>(&experiment.channel);
            bpsk != nullptr && bpsk->eraseBelow) {
            point.eraseBelow = at.model->threshold;
        }
        results.points.push_back(point);
        results.pointWeights.push_back(SamplingOf(study, code));
        if (!study.tallies.empty()) {
            results.firstWeight = std::min(results.firstWeight, study.firstWeight);
            results.lastWeight = std::max(results.lastWeight, study.lastWeight);
        }
        results.patterns += PatternsOf(study);
        results.precise = results.precise && study.precise;
        results.rounds += study.rounds;
    }
    if (results.lastWeight < results.firstWeight) {
        results.firstWeight = code.t + 1;  // nothing sampled, as with the shared study
    }
    return results;
}

}  // namespace

Expected<Results> RunStratifiedStudy(const Experiment& experiment, const Stratified& method,
                                     const RunControls& controls) {
    Results results;
    results.code =
        FactsOf(experiment.code.m, experiment.code.t, experiment.code.length, experiment.puncture);
    rs::StudyRequest request;
    request.code = {.m = experiment.code.m,
                    .t = experiment.code.t,
                    .length = experiment.code.length.value_or(0),
                    .tabled = experiment.code.m <= rs::kLargestTabledField,
                    .punctured = experiment.puncture,
                    .deliverReceived = experiment.onFailure == Experiment::OnFailure::kReceived};
    std::vector<double> points;
    for (const float P0 : experiment.points.values) {
        // P0 as its decimal text reads, not the float's binary expansion.
        points.push_back(ShortestDecimal(P0));
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
    const auto progress = [&](int round, std::int64_t patterns) {
        if (controls.observer != nullptr) {
            controls.observer->Round(round, patterns, seconds());
        }
    };
    try {
        results.stratified =
            std::holds_alternative<QarySymmetricChannel>(experiment.channel)
                ? SharedStudy(request, points, experiment, results.code, progress)
                : StudyPerPoint(request, points, experiment, results.code, progress);
    } catch (const std::bad_alloc&) {
        return {{}, "out of memory while sampling error patterns"};
    }
    results.stratified->confidence = rs::kConfidence;
    results.stratified->seconds = seconds();
    results.channel = experiment.channel;
    results.interleave = experiment.interleave;
    return {std::move(results), {}};
}

}  // namespace rs_sim
