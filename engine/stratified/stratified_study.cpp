#include "engine/stratified/stratified_study.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/stratified/allotment.h"
#include "engine/stratified/sample_pool.h"
#include "stats/binomial_weights.h"

namespace rs {

namespace {

class Study {
  public:
    explicit Study(const StudyRequest& request)
        : request(request),
          pool(request.code, request.threads),
          n(pool.N()),
          k(pool.K()),
          t(request.code.t) {
        result.t = t;
        result.firstWeight = t + 1;
        result.lastWeight = t;
    }

    StudyResult Run(const std::function<void(int, std::int64_t)>& progress);

  private:
    std::int64_t StartingSamples() const { return request.samples.value_or(request.firstSamples); }
    // The weights to sample: from the largest first weight whose head (the weights above t
    // below it) and to the smallest last weight whose tail each hold at most half the share of
    // floor(P0) at every P0, and never fewer than are sampled already.
    struct Weights {
        std::int32_t first;
        std::int32_t last;
    };
    Weights Range(const std::function<double(std::size_t)>& logFloor, bool sampling) const;
    void Sample(std::vector<SampleJob>& jobs);
    void Estimate();
    // The patterns each weight should have for the intervals to be narrow enough.
    std::vector<std::int64_t> Wanted() const;

    const StudyRequest& request;
    SamplePool pool;
    const std::int32_t n;
    const std::int32_t k;
    const std::int32_t t;
    std::vector<StratumRates> rates;
    StudyResult result;
    std::int64_t patterns = 0;
};

Study::Weights Study::Range(const std::function<double(std::size_t)>& logFloor,
                            bool sampling) const {
    // Half the share for the weights left out below, half for those above.
    const double share = std::log(request.tailShare / 2.0);
    Weights range{sampling ? result.firstWeight : n, sampling ? result.lastWeight : t};
    for (std::size_t i = 0; i < request.points.size(); ++i) {
        const double floor = logFloor(i);
        if (floor == kLogZero) {
            continue;  // nothing can err at this P0
        }
        const double P0 = request.points[i];
        double head = kLogZero;
        std::int32_t first = t + 1;
        while (first < range.first) {
            const double withFirst = LogAdd(head, LogBinomialWeight(n, first, P0));
            if (withFirst > share + floor) {
                break;
            }
            head = withFirst;
            ++first;
        }
        range.first = std::min(range.first, first);
        while (range.last < n &&
               LogBinomialTail(n, std::int64_t{range.last} + 1, P0) > share + floor) {
            ++range.last;
        }
        range.last = std::max(range.last, range.first - 1);
    }
    return range;
}

void Study::Sample(std::vector<SampleJob>& jobs) {
    if (jobs.empty()) {
        return;
    }
    const std::vector<WeightTally> tallies = pool.Run(request.seed, jobs);
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const auto i = static_cast<std::size_t>(jobs[j].weight - result.firstWeight);
        result.tallies[i] += tallies[j];
        rates[i] = SummarizeWeight(result.tallies[i], k, request.code.m);
        patterns += static_cast<std::int64_t>(jobs[j].count);
    }
    jobs.clear();
}

void Study::Estimate() {
    result.points.clear();
    for (const double P0 : request.points) {
        result.points.push_back(EstimatePoint(P0, n, t, result.firstWeight, rates));
    }
}

std::vector<std::int64_t> Study::Wanted() const {
    return WantedPatterns(request, result.tallies, rates, [&](std::size_t p, std::size_t i) {
        return LogBinomialWeight(n, result.firstWeight + static_cast<std::int64_t>(i),
                                 result.points[p].P0);
    });
}

StudyResult Study::Run(const std::function<void(int, std::int64_t)>& progress) {
    // Start with the weights whose tail share is small against the chance of more than t hits
    // alone; the estimates then say how far the tail must really reach.
    std::vector<SampleJob> jobs;
    const auto extend = [&](const Weights& range) {
        const auto starting = static_cast<std::uint64_t>(StartingSamples());
        for (std::int32_t w = result.firstWeight - 1; w >= range.first; --w) {
            result.tallies.insert(result.tallies.begin(), WeightTally{});
            rates.insert(rates.begin(), StratumRates{});
            jobs.push_back({w, 0, starting});
        }
        result.firstWeight = std::min(result.firstWeight, range.first);
        for (std::int32_t w = result.lastWeight + 1; w <= range.last; ++w) {
            result.tallies.emplace_back();
            rates.emplace_back();
            jobs.push_back({w, 0, starting});
        }
        result.lastWeight = std::max(result.lastWeight, range.last);
    };
    const auto report = [&] {
        ++result.rounds;
        if (progress) {
            progress(result.rounds, patterns);
        }
    };
    const Weights start = Range(
        [&](std::size_t i) { return LogBinomialTail(n, std::int64_t{t} + 1, request.points[i]); },
        false);
    result.firstWeight = start.first;
    result.lastWeight = start.first - 1;
    extend(start);
    for (;;) {
        Sample(jobs);
        Estimate();
        report();
        // Every weight that could still matter to the smallest rate of a point.
        const Weights range =
            Range([&](std::size_t i) { return LogFloor(result.points[i]); }, true);
        if (range.first < result.firstWeight || range.last > result.lastWeight) {
            extend(range);
            continue;
        }
        if (request.samples) {
            break;
        }
        const std::vector<std::int64_t> wanted = Wanted();
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const std::int64_t have = result.tallies[i].patterns;
            if (wanted[i] > have) {
                jobs.push_back({result.firstWeight + static_cast<std::int32_t>(i),
                                static_cast<std::uint64_t>(have),
                                static_cast<std::uint64_t>(wanted[i] - have)});
            }
        }
        if (jobs.empty()) {
            break;
        }
    }
    if (!request.samples) {
        result.precise = result.precise && Precise(result.points, request.precision);
    }
    return std::move(result);
}

}  // namespace

StudyResult RunStudy(const StudyRequest& request,
                     const std::function<void(int, std::int64_t)>& progress) {
    Study study(request);
    return study.Run(progress);
}

}  // namespace rs
