#include "simulator/sweep.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <utility>

#include "report/text/number_format.h"
#include "simulator/point_lanes.h"

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
            plan.error = "the sweep from Pmax=" + FormatFloat(Pmax) +
                         " down to Pmin=" + FormatFloat(Pmin) +
                         " in steps of Pstep=" + FormatFloat(Pstep) + " has more than " +
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
            plan.error = Pstep > 0.0F ? "Pstep=" + FormatFloat(Pstep) +
                                            " is too small to lower P0 from " + FormatFloat(p0) +
                                            " in single precision: the sweep would never end"
                                      : "Pstep=" + FormatFloat(Pstep) +
                                            " does not lower P0 towards Pmin: the sweep would "
                                            "never end";
            return plan;
        }
        p0 = rounded;
    }
}

PointRates ComputeRates(const PointStatistics& statistics, std::int32_t n, std::int32_t k) {
    PointRates rates{};
    const std::int64_t sentSymbols = std::int64_t{statistics.blocks} * n;
    rates.channelSER =
        static_cast<double>(statistics.channelErrors) / static_cast<double>(sentSymbols);
    rates.FER =
        static_cast<double>(statistics.errorBlocks) / static_cast<double>(statistics.blocks);
    rates.transmittedSymbols = std::int64_t{statistics.blocks} * k;
    rates.SER = static_cast<double>(statistics.errorSymbols) /
                static_cast<double>(rates.transmittedSymbols);
    return rates;
}

double ExperimentTime(std::int64_t startCount, std::int64_t stopCount, std::int64_t frequency) {
    const double milliseconds =
        static_cast<double>(stopCount - startCount) * 1000.0 / static_cast<double>(frequency);
    return milliseconds * 0.001;
}

double TransmittingSpeed(std::int32_t blocks, std::int32_t k, double experimentTime) {
    if (blocks == 0) {
        return 0.0;  // not 0/0 when the clock did not advance
    }
    return static_cast<double>(blocks) * static_cast<double>(k) * 0.001 / experimentTime;
}

namespace {

std::vector<std::unique_ptr<Engine>> OneEngine(std::unique_ptr<Engine> engine) {
    std::vector<std::unique_ptr<Engine>> engines;
    engines.push_back(std::move(engine));
    return engines;
}

}  // namespace

Simulation::Simulation(const SimulationParameters& parameters, std::int32_t n, std::int32_t k,
                       std::unique_ptr<Engine> engine, OutputStream& console, OutputStream& results,
                       PerformanceCounter& counter)
    : Simulation(parameters, n, k, OneEngine(std::move(engine)), console, results, counter) {}

Simulation::Simulation(const SimulationParameters& parameters, std::int32_t n, std::int32_t k,
                       std::vector<std::unique_ptr<Engine>> engines, OutputStream& console,
                       OutputStream& results, PerformanceCounter& counter)
    : parameters(parameters),
      n(n),
      k(k),
      engines(std::move(engines)),
      console(console),
      results(results),
      counter(counter),
      run(this->parameters, n, k, *this->engines.front(), console, results, counter) {}

bool Simulation::RunSweep(std::span<const float> points) {
    if (engines.size() > 1 && points.size() > 1) {
        PointLanes lanes({parameters, n, k, [this](std::size_t i) { return StartOf(i); }, engines,
                          counter, status},
                         points);
        std::size_t index = 0;
        return lanes.Run(console, [&](const PointRecord& record, std::string_view lines) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                return false;
            }
            if (pointStarted) {
                pointStarted(index, record.P0);
            }
            ++index;
            results.Write(lines);
            return Finish(record);
        });
    }
    std::size_t running = 0;
    if (status != nullptr || progress || stop != nullptr) {
        run.SetProgress([this, &running](const PointStatistics& statistics, double seconds) {
            if (progress) {
                progress(running, statistics, seconds);
            }
            if (status == nullptr) {
                return;
            }
            if (seconds < statusShownAt) {
                statusShownAt = -kStatusEvery;  // a new point
            }
            if (seconds >= kStatusAfter && seconds - statusShownAt >= kStatusEvery) {
                status->Show(StatusText(statistics, parameters, seconds));
                statusShownAt = seconds;
            }
        });
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        running = i;
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return false;
        }
        if (pointStarted) {
            pointStarted(i, points[i]);
        }
        const std::optional<PointStart> next =
            i + 1 < points.size() ? std::optional<PointStart>({points[i + 1], StartOf(i + 1)})
                                  : std::nullopt;
        const std::optional<PointRecord> record = run.Run({points[i], StartOf(i)}, next, stop);
        if (!record || !Finish(*record)) {
            return false;
        }
    }
    return true;
}

bool Simulation::RunPoint(float P0, std::optional<float> next) {
    const std::optional<PointStart> following =
        next ? std::optional<PointStart>({*next, StartOf(1)}) : std::nullopt;
    return Finish(*run.Run({P0, StartOf(0)}, following));
}

PackedState Simulation::StartOf(std::size_t index) const {
    const PackedState seeded = SeededState(seed);
    if (!independentFrom) {
        return seeded;
    }
    const std::uint64_t point = *independentFrom + index;
    return JumpAhead::Instance().Advance(seeded, point << kIndependentPointShift);
}

bool Simulation::Finish(const PointRecord& record) {
    if (pointObserver) {
        observerError = pointObserver(record);
        if (!observerError.empty()) {
            return false;
        }
    }
    if (!results.Flush()) {
        return false;
    }
    if (pointReported) {
        pointReported();
    }
    return true;
}

}  // namespace rs
