#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <numeric>

#include "base/contract.h"
#include "engine/stratified/allotment.h"
#include "engine/stratified/sample_pool.h"
#include "engine/stratified/stratified_study.h"
#include "stats/binomial_weights.h"
#include "stats/erasure_theory.h"

namespace rs {

namespace {

class StrataStudy {
  public:
    explicit StrataStudy(const StudyRequest& request)
        : request(request),
          pool(request.code, request.threads),
          sent(pool.N() - request.code.punctured),
          k(pool.K()),
          budget(2 * request.code.t - request.code.punctured) {
        RS_ASSERT(request.erasurePoints.size() == request.points.size(),
                  "an erasure probability for every point");
        result.t = request.code.t;
    }

    StudyResult Run(const std::function<void(int, std::int64_t)>& progress);

  private:
    double ErrorAt(std::size_t i) const { return request.points[i]; }
    double ErasureAt(std::size_t i) const { return request.erasurePoints[i]; }
    double LogWeight(std::size_t point, const StratumKey& key) const {
        return LogTrinomialWeight(sent, key.errors, key.erasures, ErrorAt(point), ErasureAt(point));
    }
    // The failing strata of at most `most` errors plus erasures, with their weights at a point.
    std::vector<std::pair<double, StratumKey>> FailingStrata(std::size_t point,
                                                             std::int32_t most) const;
    // Adds the strata every point needs for what it leaves out to hold at most the tail share
    // of its floor: half beyond a number of events U, whose binomial tail is exact, half in the
    // least likely failing strata up to U.
    void Select(const std::function<double(std::size_t)>& logFloor, std::vector<SampleJob>& jobs);
    // ln of what the failing strata not sampled hold at a point.
    double LogTail(std::size_t point) const;
    void Sample(std::vector<SampleJob>& jobs);
    void Estimate();
    std::vector<std::int64_t> Wanted() const;

    const StudyRequest& request;
    SamplePool pool;
    const std::int32_t sent;
    const std::int32_t k;
    const std::int32_t budget;
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> index;  // (e, s) to stratum
    std::int32_t mostEvents = 0;  // the most errors plus erasures of a stratum sampled
    std::vector<StratumRates> rates;
    StudyResult result;
    std::int64_t patterns = 0;
};

std::vector<std::pair<double, StratumKey>> StrataStudy::FailingStrata(std::size_t point,
                                                                      std::int32_t most) const {
    std::vector<std::pair<double, StratumKey>> strata;
    // The decoder can fail where 2e + s, that is e + u, exceeds what the punctures leave of 2t.
    for (std::int32_t u = 1; u <= std::min(most, sent); ++u) {
        for (std::int32_t e = std::max(budget - u + 1, 0); e <= u; ++e) {
            const StratumKey key{e, u - e};
            strata.emplace_back(LogWeight(point, key), key);
        }
    }
    return strata;
}

void StrataStudy::Select(const std::function<double(std::size_t)>& logFloor,
                         std::vector<SampleJob>& jobs) {
    const double halfShare = std::log(request.tailShare / 2.0);
    const auto starting =
        static_cast<std::uint64_t>(request.samples.value_or(request.firstSamples));
    for (std::size_t i = 0; i < request.points.size(); ++i) {
        const double floor = logFloor(i);
        if (floor == kLogZero) {
            continue;  // nothing can err at this point
        }
        const double events = std::min(ErrorAt(i) + ErasureAt(i), 1.0);
        std::int32_t most = 0;
        while (most < sent &&
               LogBinomialTail(sent, std::int64_t{most} + 1, events) > halfShare + floor) {
            ++most;
        }
        std::vector<std::pair<double, StratumKey>> strata = FailingStrata(i, most);
        std::sort(strata.begin(), strata.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        double left = kLogZero;
        for (const auto& [logWeight, key] : strata) {
            const double withThis = LogAdd(left, logWeight);
            if (withThis <= halfShare + floor) {
                left = withThis;
                continue;
            }
            if (index.emplace(std::pair{key.errors, key.erasures}, result.strata.size()).second) {
                result.strata.push_back(key);
                result.tallies.emplace_back();
                rates.emplace_back();
                jobs.push_back({key.errors, 0, starting, true, key.erasures});
                mostEvents = std::max(mostEvents, key.errors + key.erasures);
            }
        }
    }
}

double StrataStudy::LogTail(std::size_t point) const {
    const double events = std::min(ErrorAt(point) + ErasureAt(point), 1.0);
    double tail = LogBinomialTail(sent, std::int64_t{mostEvents} + 1, events);
    for (const auto& [logWeight, key] : FailingStrata(point, mostEvents)) {
        if (!index.contains({key.errors, key.erasures})) {
            tail = LogAdd(tail, logWeight);
        }
    }
    return tail;
}

void StrataStudy::Sample(std::vector<SampleJob>& jobs) {
    if (jobs.empty()) {
        return;
    }
    const std::vector<WeightTally> tallies = pool.Run(request.seed, jobs);
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const std::size_t i = index.at({jobs[j].weight, jobs[j].erasures});
        result.tallies[i] += tallies[j];
        rates[i] = SummarizeWeight(result.tallies[i], k, request.code.m);
        patterns += static_cast<std::int64_t>(jobs[j].count);
    }
    jobs.clear();
}

void StrataStudy::Estimate() {
    result.points.clear();
    std::vector<double> logWeights(result.strata.size());
    for (std::size_t p = 0; p < request.points.size(); ++p) {
        for (std::size_t i = 0; i < logWeights.size(); ++i) {
            logWeights[i] = LogWeight(p, result.strata[i]);
        }
        StratifiedPoint point;
        point.P0 = ErrorAt(p);
        point.theoryFER = LogErasureBlockErrorProbability(
            pool.N(), request.code.t, request.code.punctured, ErrorAt(p), ErasureAt(p));
        point.tail = LogTail(p);
        point.rates = CombineStrata(logWeights, rates, point.tail);
        result.points.push_back(point);
    }
}

std::vector<std::int64_t> StrataStudy::Wanted() const {
    return WantedPatterns(request, result.tallies, rates, [&](std::size_t p, std::size_t i) {
        return LogWeight(p, result.strata[i]);
    });
}

StudyResult StrataStudy::Run(const std::function<void(int, std::int64_t)>& progress) {
    std::vector<SampleJob> jobs;
    const auto report = [&] {
        ++result.rounds;
        if (progress) {
            progress(result.rounds, patterns);
        }
    };
    // First the strata that matter against the chance of failing alone; the estimates then say
    // how far the tail must really reach.
    Select(
        [&](std::size_t i) {
            return LogErasureBlockErrorProbability(pool.N(), request.code.t, request.code.punctured,
                                                   ErrorAt(i), ErasureAt(i));
        },
        jobs);
    for (;;) {
        Sample(jobs);
        Estimate();
        report();
        Select([&](std::size_t i) { return LogFloor(result.points[i]); }, jobs);
        if (!jobs.empty()) {
            continue;
        }
        if (request.samples) {
            break;
        }
        const std::vector<std::int64_t> wanted = Wanted();
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const std::int64_t have = result.tallies[i].patterns;
            if (wanted[i] > have) {
                jobs.push_back({result.strata[i].errors, static_cast<std::uint64_t>(have),
                                static_cast<std::uint64_t>(wanted[i] - have), true,
                                result.strata[i].erasures});
            }
        }
        if (jobs.empty()) {
            break;
        }
    }
    if (!request.samples) {
        result.precise = result.precise && Precise(result.points, request.precision);
    }
    // Reported by errors plus erasures, then erasures.
    std::vector<std::size_t> order(result.strata.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto rank = [&](std::size_t i) {
        const StratumKey& key = result.strata[i];
        return std::pair{key.errors + key.erasures, key.erasures};
    };
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return rank(a) < rank(b); });
    StudyResult sorted = result;
    sorted.strata.clear();
    sorted.tallies.clear();
    for (const std::size_t i : order) {
        sorted.strata.push_back(result.strata[i]);
        sorted.tallies.push_back(result.tallies[i]);
    }
    sorted.firstWeight = sorted.strata.empty()
                             ? result.t + 1
                             : sorted.strata.front().errors + sorted.strata.front().erasures;
    sorted.lastWeight = sorted.strata.empty()
                            ? result.t
                            : sorted.strata.back().errors + sorted.strata.back().erasures;
    return sorted;
}

}  // namespace

StudyResult RunStrataStudy(const StudyRequest& request,
                           const std::function<void(int, std::int64_t)>& progress) {
    StrataStudy study(request);
    return study.Run(progress);
}

}  // namespace rs
