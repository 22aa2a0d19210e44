#pragma once

// The sweep as the program runs it, without its files: the library's sweep runner telling the
// console report, with the engines, streams and clock a test gives.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/experiment_file/parameter_file.h"
#include "engine/engine.h"
#include "report/text/console_report.h"
#include "simulator/sweep.h"
#include "system/performance_counter.h"

namespace rs::testing {

inline PointStatistics StatisticsOf(const rs_sim::Counts& counts) {
    PointStatistics statistics{counts.blocks,        counts.errorBlocks, counts.channelErrors,
                               counts.errorSymbols,  counts.bitErrors,   counts.failures,
                               counts.miscorrections};
    statistics.errorSymbolSquares = counts.errorSymbolSquares;
    return statistics;
}

class Simulation {
  public:
    using PointObserver = std::function<std::string(const PointRecord&)>;

    Simulation(const SimulationParameters& parameters, std::int32_t n, std::int32_t k,
               std::unique_ptr<Engine> engine, OutputStream& console, OutputStream& results,
               PerformanceCounter& counter)
        : Simulation(parameters, n, k, One(std::move(engine)), console, results, counter) {}
    Simulation(const SimulationParameters& parameters, std::int32_t n, std::int32_t k,
               std::vector<std::unique_ptr<Engine>> engines, OutputStream& console,
               OutputStream& results, PerformanceCounter& counter)
        : parameters(parameters),
          code{n,
               k,
               parameters.T,
               1 << parameters.M,
               parameters.M,
               static_cast<double>(k) / static_cast<double>(n)},
          engines(std::move(engines)),
          console(console),
          results(results),
          counter(counter) {}

    void SetSeed(std::int32_t value) { seed = value; }
    // The points RunSweep runs are the sweep's from firstIndex on, with independent streams.
    void SetIndependentPoints(std::size_t firstIndex) { independentFrom = firstIndex; }
    void SetPointObserver(PointObserver observer) { pointObserver = std::move(observer); }
    void SetStatus(StatusConsole* value, double after = kStatusAfter) {
        status = value;
        statusAfter = after;
    }

    bool RunSweep(std::span<const float> points) {
        const std::size_t first = independentFrom.value_or(0);
        std::vector<float> all(first, 0.0F);
        all.insert(all.end(), points.begin(), points.end());
        const rs_sim::StopRules limits{parameters.maxBlocks, parameters.maxErrorBlocks};
        ConsoleReport report(
            {.console = console,
             .results = results,
             .limits = limits,
             .code = code,
             .status = status,
             .statusAfter = statusAfter,
             .finished = [this](const rs_sim::PointResult& point) { return Finished(point); }});
        Recorder recorder(*this, report);
        SweepRunner runner(code, limits, engines, seed, independentFrom.has_value());
        std::vector<rs_sim::PointResult> done;
        return runner.Run(all,
                          {.observer = &recorder,
                           .progressEvery = status != nullptr ? kStatusEvery : 0.0,
                           .firstPoint = first},
                          counter, done);
    }
    bool RunPoint(float P0) { return RunSweep(std::span<const float>(&P0, 1)); }

    // The counts of the point running, or of the last one, as the report last heard of them.
    const PointStatistics& Statistics() const { return statistics; }

  private:
    // Keeps the counts the report hears of, then tells the report.
    class Recorder final : public rs_sim::Observer {
      public:
        Recorder(Simulation& simulation, rs_sim::Observer& report)
            : simulation(simulation), report(report) {}
        void PointStarted(std::size_t index, float P0) override {
            simulation.statistics = {};
            report.PointStarted(index, P0);
        }
        void Progress(std::size_t index, const rs_sim::Counts& sofar, double seconds) override {
            simulation.statistics = StatisticsOf(sofar);
            report.Progress(index, sofar, seconds);
        }
        void PointCounted(std::size_t index, const rs_sim::PointResult& result) override {
            simulation.statistics = StatisticsOf(result.counts);
            report.PointCounted(index, result);
        }
        bool PointFinished(std::size_t index, const rs_sim::PointResult& result) override {
            return report.PointFinished(index, result);
        }

      private:
        Simulation& simulation;
        rs_sim::Observer& report;
    };

    static std::vector<std::unique_ptr<Engine>> One(std::unique_ptr<Engine> engine) {
        std::vector<std::unique_ptr<Engine>> engines;
        engines.push_back(std::move(engine));
        return engines;
    }
    bool Finished(const rs_sim::PointResult& point) {
        if (pointObserver &&
            !pointObserver({point.P0, StatisticsOf(point.counts), point.seconds}).empty()) {
            return false;
        }
        return results.Flush();
    }

    const SimulationParameters parameters;
    const rs_sim::CodeFacts code;
    std::vector<std::unique_ptr<Engine>> engines;
    OutputStream& console;
    OutputStream& results;
    PerformanceCounter& counter;
    std::int32_t seed = kSeed;
    std::optional<std::size_t> independentFrom;
    PointObserver pointObserver;
    StatusConsole* status = nullptr;
    double statusAfter = kStatusAfter;
    PointStatistics statistics;
};

}  // namespace rs::testing
