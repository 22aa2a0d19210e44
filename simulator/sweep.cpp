#include "simulator/sweep.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <utility>

#include "base/contract.h"
#include "engine/channel/frame_engine.h"
#include "engine/engine_plan.h"
#include "random/jump_ahead.h"
#include "rs_sim/experiment.h"

namespace rs {

SweepPlan PlanSweep(float Pmax, float Pmin, float Pstep) {
    SweepPlan plan;
    if (Pmax < Pmin) {
        return plan;
    }
    float p0 = Pmax;
    for (;;) {
        if (plan.points.size() == kMaxSweepPoints) {
            plan.points.clear();
            plan.error = "the sweep from Pmax=" + rs_sim::ShortestText(Pmax) +
                         " down to Pmin=" + rs_sim::ShortestText(Pmin) +
                         " in steps of Pstep=" + rs_sim::ShortestText(Pstep) + " has more than " +
                         std::to_string(kMaxSweepPoints) + " points";
            return plan;
        }
        plan.points.push_back(p0);
        // The end test uses the difference before it is rounded to single precision.
        const double next = static_cast<double>(p0) - static_cast<double>(Pstep);
        if (!(next >= static_cast<double>(Pmin))) {
            return plan;
        }
        const auto rounded = static_cast<float>(next);
        if (!(rounded < p0)) {
            plan.points.clear();
            plan.error = Pstep > 0.0F
                             ? "Pstep=" + rs_sim::ShortestText(Pstep) +
                                   " is too small to lower P0 from " + rs_sim::ShortestText(p0) +
                                   " in single precision: the sweep would never end"
                             : "Pstep=" + rs_sim::ShortestText(Pstep) +
                                   " does not lower P0 towards Pmin: the sweep would "
                                   "never end";
            return plan;
        }
        p0 = rounded;
    }
}

PointRates ComputeRates(const PointStatistics& statistics, std::int32_t n, std::int32_t k) {
    PointRates rates{};
    const std::int64_t sentSymbols = statistics.blocks * n;
    rates.channelSER =
        static_cast<double>(statistics.channelErrors) / static_cast<double>(sentSymbols);
    rates.FER =
        static_cast<double>(statistics.errorBlocks) / static_cast<double>(statistics.blocks);
    rates.transmittedSymbols = statistics.blocks * k;
    rates.SER = static_cast<double>(statistics.errorSymbols) /
                static_cast<double>(rates.transmittedSymbols);
    return rates;
}

double ExperimentTime(std::int64_t startCount, std::int64_t stopCount, std::int64_t frequency) {
    const double milliseconds =
        static_cast<double>(stopCount - startCount) * 1000.0 / static_cast<double>(frequency);
    return milliseconds * 0.001;
}

namespace {

rs_sim::Counts CountsOf(const PointStatistics& statistics) {
    return {statistics.blocks,
            statistics.errorBlocks,
            statistics.channelErrors,
            statistics.errorSymbols,
            statistics.bitErrors,
            statistics.detectedFailures,
            statistics.miscorrections,
            statistics.channelBitErrors,
            statistics.errorBlockSquares,
            statistics.channelErasures,
            statistics.errorsCorrected,
            statistics.erasuresCorrected,
            statistics.errorSymbolSquares};
}

// Tells the observer, if any, of each point in public terms, and keeps the points' results.
class ObserverSink final : public SweepListener {
  public:
    ObserverSink(const rs_sim::CodeFacts& code, const rs_sim::Channel& channel,
                 std::int32_t interleave, rs_sim::Observer* observer, std::size_t first,
                 std::vector<rs_sim::PointResult>& results, const PointEstimator& estimator)
        : code(code),
          channel(channel),
          interleave(interleave),
          observer(observer),
          first(first),
          results(results),
          estimator(estimator) {}

    void Started(std::size_t point, float P0) override {
        if (observer == nullptr) {
            return;
        }
        observer->PointStarted(first + point, P0);
        if (estimator) {
            if (const std::optional<PointEstimate> estimate = estimator(P0)) {
                observer->PointEstimated(first + point, estimate->blockSeconds,
                                         estimate->pointSeconds);
            }
        }
    }
    void Progress(std::size_t point, const PointStatistics& sofar, double seconds) override {
        if (observer != nullptr) {
            observer->Progress(first + point, CountsOf(sofar), seconds);
        }
    }
    void Counted(std::size_t point, const PointStatistics& counts) override {
        if (observer != nullptr) {
            observer->PointCounted(first + point, Derive(P0Of(point), counts, 0.0));
        }
    }
    bool Finished(std::size_t point, const PointRecord& record) override {
        results.push_back(Derive(record.P0, record.statistics, record.seconds));
        return observer == nullptr || observer->PointFinished(first + point, results.back());
    }
    void SetPoints(std::span<const float> values) { points = values; }

  private:
    float P0Of(std::size_t point) const { return points[point]; }
    rs_sim::PointResult Derive(float P0, const PointStatistics& counts, double seconds) const {
        return rs_sim::DerivePoint(P0, CountsOf(counts), code, seconds, channel, interleave);
    }

    const rs_sim::CodeFacts code;
    const rs_sim::Channel& channel;
    const std::int32_t interleave;
    rs_sim::Observer* const observer;
    const std::size_t first;
    std::vector<rs_sim::PointResult>& results;
    const PointEstimator& estimator;
    std::span<const float> points;
};

// Runs a point on the calling thread and tells the sink.
class ForwardingListener final : public PointListener {
  public:
    ForwardingListener(SweepListener& sink, std::size_t point) : sink(sink), point(point) {}
    void Progress(const PointStatistics& sofar, double seconds) override {
        sink.Progress(point, sofar, seconds);
    }
    void Counted(const PointStatistics& counts) override { sink.Counted(point, counts); }

  private:
    SweepListener& sink;
    const std::size_t point;
};

}  // namespace

PackedState SweepRunner::StartOf(std::size_t index) const {
    if (SendsFrames(channel)) {
        return FramePointKey(seed, static_cast<std::uint32_t>(index));
    }
    const PackedState seeded = SeededState(seed);
    if (!independent) {
        return seeded;
    }
    return JumpAhead::Instance().Advance(seeded, std::uint64_t{index} << kIndependentPointShift);
}

bool SweepRunner::Run(std::span<const float> all, const rs_sim::RunControls& controls,
                      rs_sim::Clock& clock, std::vector<rs_sim::PointResult>& results) {
    const std::size_t first = std::min(controls.firstPoint, all.size());
    const std::span<const float> points = all.subspan(first);
    ObserverSink sink(code, channel, interleave, controls.observer, first, results, estimator);
    sink.SetPoints(points);
    return Run(points, first, controls, clock, sink);
}

bool SweepRunner::Run(std::span<const float> points, std::size_t first,
                      const rs_sim::RunControls& controls, rs_sim::Clock& clock,
                      SweepListener& listener) {
    RS_ASSERT(!engines.empty(), "a sweep runs on at least one engine");
    const auto startOf = [this, first](std::size_t i) { return StartOf(first + i); };
    if (engines.size() > 1 && points.size() > 1) {
        PointLanes lanes({limits, startOf, engines, clock, controls.progressEvery, controls.stop},
                         points);
        return lanes.Run(listener);
    }
    PointRunner runner(limits, *engines.front(), clock);
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (controls.stop != nullptr && controls.stop->load(std::memory_order_relaxed)) {
            return false;
        }
        listener.Started(i, points[i]);
        const std::optional<PointStart> next =
            i + 1 < points.size() ? std::optional<PointStart>({points[i + 1], startOf(i + 1)})
                                  : std::nullopt;
        ForwardingListener forward(listener, i);
        const std::optional<PointRecord> record = runner.Run({points[i], startOf(i)}, next, forward,
                                                             controls.progressEvery, controls.stop);
        if (!record || !listener.Finished(i, *record)) {
            return false;
        }
    }
    return true;
}

}  // namespace rs
