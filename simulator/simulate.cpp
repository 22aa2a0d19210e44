#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_plan.h"
#include "rs_sim/simulator.h"
#include "simulator/stratified_study.h"
#include "simulator/sweep.h"
#include "system/available_memory.h"
#include "system/output_stream.h"
#include "system/performance_counter.h"

namespace rs_sim {

namespace {

// The sweep's text goes nowhere: a library caller gets the numbers.
class NoText final : public rs::OutputStream {
  public:
    void Write(std::string_view /*text*/) override {}
    bool Flush() override { return true; }
};

Counts CountsOf(const rs::PointStatistics& statistics) {
    return {statistics.blocks,        statistics.errorBlocks, statistics.channelErrors,
            statistics.errorSymbols,  statistics.bitErrors,   statistics.detectedFailures,
            statistics.miscorrections};
}

// The engines for the experiment, one per point run at once, or why there are none.
std::string MakeEngines(const Experiment& experiment,
                        std::vector<std::unique_ptr<rs::Engine>>& engines) {
    const std::vector<float>& values = experiment.points.values;
    const std::optional<std::uint64_t> available = rs::AvailableMemory();
    const rs::EnginePlan plan = rs::PlanEngine(
        {.m = experiment.code.m,
         .t = experiment.code.t,
         .length = experiment.code.length.value_or(0),
         .largestP0 = values.empty() ? 0.0F : *std::max_element(values.begin(), values.end()),
         .reference = experiment.engine == EngineChoice::kReference,
         .threads = experiment.threads,
         .memoryBudget = available,
         .points = values.size(),
         .pointBlocks = experiment.stop.maxBlocks});
    if (!plan.error.empty()) {
        return plan.error;
    }
    // A run the machine cannot hold would be killed midway.
    if (available && plan.memoryNeed > *available) {
        return "the run needs about " + rs::FormatBytes(plan.memoryNeed) + " of memory (" +
               plan.Name() + " engine, M=" + std::to_string(experiment.code.m) + "), but only " +
               rs::FormatBytes(*available) + " is available";
    }
    for (int i = 0; i < plan.pointsAtOnce; ++i) {
        rs::MadeEngine made = plan.Make();
        if (!made.engine) {
            return made.error;
        }
        engines.push_back(std::move(made.engine));
    }
    return {};
}

Expected<Results> RunMonteCarlo(const Experiment& experiment, const RunControls& controls) {
    std::vector<std::unique_ptr<rs::Engine>> engines;
    if (std::string error = MakeEngines(experiment, engines); !error.empty()) {
        return {{}, error};
    }
    Results results;
    results.code = FactsOf(experiment.code.m, experiment.code.t, experiment.code.length);
    const rs::SimulationParameters parameters{
        experiment.points.Pmax,    experiment.points.Pmin,         experiment.points.Pstep,
        experiment.stop.maxBlocks, experiment.stop.maxErrorBlocks, experiment.code.m,
        experiment.code.t};
    NoText text;
    rs::SteadyPerformanceCounter counter;
    rs::Simulation simulation(parameters, results.code.n, results.code.k, std::move(engines), text,
                              text, counter);
    simulation.SetSeed(experiment.seed);
    if (experiment.independentPoints) {
        simulation.SetIndependentPoints(0);
    }
    simulation.SetStop(controls.stop);
    Observer* const observer = controls.observer;
    if (observer != nullptr) {
        simulation.SetPointStarted(
            [observer](std::size_t index, float P0) { observer->PointStarted(index, P0); });
        simulation.SetProgress(
            [observer](std::size_t index, const rs::PointStatistics& sofar, double seconds) {
                observer->Progress(index, CountsOf(sofar), seconds);
            });
    }
    simulation.SetPointObserver([&](const rs::PointRecord& record) -> std::string {
        const std::size_t index = results.points.size();
        results.points.push_back(
            DerivePoint(record.P0, CountsOf(record.statistics), results.code, record.seconds));
        if (observer != nullptr && !observer->PointFinished(index, results.points.back())) {
            return "stopped by the observer";
        }
        return {};
    });
    try {
        results.stopped = !simulation.RunSweep(experiment.points.values);
    } catch (const std::bad_alloc&) {
        return {{}, "out of memory during the sweep"};
    }
    return {std::move(results), {}};
}

}  // namespace

Expected<Results> Simulate(const Experiment& experiment, const RunControls& controls) {
    if (std::string problem = CheckExperiment(experiment); !problem.empty()) {
        return {{}, problem};
    }
    if (const auto* stratified = std::get_if<Stratified>(&experiment.method)) {
        return RunStratifiedStudy(experiment, *stratified, controls);
    }
    return RunMonteCarlo(experiment, controls);
}

const char* Version() {
    return RS_SIM_VERSION;
}

}  // namespace rs_sim
