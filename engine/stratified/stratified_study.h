#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/stratified/pattern_sampler.h"
#include "stats/stratified_estimate.h"
#include "stats/weight_tally.h"

namespace rs {

using rs_sim::StratumKey;

// What a stratified study asks: the code, the P0 values, the seed of the patterns, the
// threads, and either a fixed number of patterns per weight or the relative half-width the
// FER, SER and BER intervals must reach at every P0.
struct StudyRequest {
    StratifiedCode code = {};
    std::vector<double> points = {};
    // With erasures or puncturing (code.punctured), each point's erasure probability per sent
    // symbol, beside its error probability in points: the study is then over strata of errors
    // and erasures (RunStrataStudy).
    std::vector<double> erasurePoints = {};
    std::uint32_t seed = 0;
    int threads = 1;
    std::optional<std::int64_t> samples = {};
    double precision = 0.01;
    // The weights beyond the last sampled may hold at most this share of any rate at any P0.
    double tailShare = 1e-6;
    // Patterns of a weight before its first estimate, and at most.
    std::int64_t firstSamples = 256;
    std::int64_t mostSamples = std::int64_t{1} << 24;
};

// The weights sampled (firstWeight .. lastWeight, above t), their tallies, and the estimates at
// each P0.
struct StudyResult {
    std::int32_t t = 0;  // the code corrects t: weights up to t never err
    std::int32_t firstWeight = 0;
    std::int32_t lastWeight = 0;
    std::vector<WeightTally> tallies;  // weight firstWeight + i at i
    // A strata study's (errors, erasures), tallies[i] strata[i]'s, ordered by errors plus
    // erasures, then erasures; firstWeight .. lastWeight spans their errors plus erasures.
    std::vector<StratumKey> strata;
    std::vector<StratifiedPoint> points;
    // Whether every point's FER, SER and BER met the precision (always with fixed samples).
    bool precise = true;
    int rounds = 0;
};

// Runs a study: sample every weight that matters, decode, and estimate. With a precision, the
// weights whose share of a too-wide interval's variance is largest get more patterns, round by
// round, until every interval is narrow enough (or a weight reaches the most). A point whose
// every rate is 0 needs nothing. progress(round, patterns so far) is called after each round.
StudyResult RunStudy(const StudyRequest& request,
                     const std::function<void(int, std::int64_t)>& progress = {});

// The same over strata (e, s) of e errors and s erasures among the n - punctured sent symbols,
// weighted by the trinomial C(N; e, s) P0^e PE^s (1 - P0 - PE)^(N - e - s). Strata with
// 2e + s + punctured <= 2t decode for certain and are never sampled; of the others, those whose
// combined probability stays below the tail share at every point are left out (their sum
// widens every upper end), and patterns are allotted as RunStudy allots them to weights.
StudyResult RunStrataStudy(const StudyRequest& request,
                           const std::function<void(int, std::int64_t)>& progress = {});

}  // namespace rs
