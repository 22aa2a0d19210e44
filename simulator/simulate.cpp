#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/block_time_estimate.h"
#include "engine/engine_plan.h"
#include "base/thread_annotations.h"
#include "engine/remote/frame_lane.h"
#include "engine/remote/lane_filler.h"
#include "rs_sim/simulator.h"
#include "simulator/stratified_method.h"
#include "simulator/sweep.h"
#include "system/available_memory.h"
#include "system/performance_counter.h"

namespace rs_sim {

struct Simulator::State {
    Experiment experiment;
    std::vector<std::unique_ptr<rs::Engine>> engines;  // one per point run at once
    const char* engineName = "fast";
    bool tabled = true;    // whether the engines decode through tables
    int pointsAtOnce = 1;  // points run at once, which share the threads
    bool ran = false;
};

namespace {

// The engines for the experiment, or why there are none.
std::string MakeEngines(const Experiment& experiment, const Resources& resources,
                        Simulator::State& state) {
    const std::vector<float>& values = experiment.points.values;
    const std::optional<std::uint64_t> available =
        resources.memory ? resources.memory : rs::AvailableMemory();
    const rs::EnginePlan plan = rs::PlanEngine(
        {.m = experiment.code.m,
         .t = experiment.code.t,
         .length = experiment.code.length.value_or(0),
         .channel = experiment.channel,
         .interleave = experiment.interleave,
         .receiver = {.punctured = experiment.puncture,
                      .deliverReceived = experiment.onFailure == Experiment::OnFailure::kReceived},
         .largestP0 = values.empty() ? 0.0F : *std::max_element(values.begin(), values.end()),
         .reference = experiment.engine == EngineChoice::kReference,
         .threads = experiment.threads,
         .remoteFillers = rs::FillersOf(resources.remote),
         .remoteFrames = rs::FrameLanesOf(resources.remote),
         .memoryBudget = available,
         .points = values.size(),
         .pointBlocks = experiment.stop.maxBlocks});
    if (!plan.error.empty()) {
        return plan.error;
    }
    state.engineName = plan.Name();
    state.tabled = plan.tabled;
    state.pointsAtOnce = plan.pointsAtOnce;
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
        state.engines.push_back(std::move(made.engine));
    }
    return {};
}

// About how long each dense point of the fast engine will take, from timing this code's
// decoding once: such a point's first progress can be minutes off. Points run on lanes may ask
// at once, so the timing is behind a lock.
class DenseEstimator {
  public:
    DenseEstimator(const Simulator::State& state, const CodeFacts& code)
        : state(state), code(code) {}

    std::optional<rs::PointEstimate> operator()(float P0) {
        const Experiment& experiment = state.experiment;
        if (!(code.n * static_cast<double>(P0) >= rs::BlockTimeEstimate::kDenseHits)) {
            return std::nullopt;
        }
        const rs::MutexLock hold(lock);
        try {
            if (!timing) {
                timing = std::make_unique<rs::BlockTimeEstimate>(
                    code.m, code.t, experiment.code.length.value_or(0), state.tabled);
            }
        } catch (const std::bad_alloc&) {
            return std::nullopt;  // the estimate is a courtesy: the run goes on without it
        }
        const double block = timing->Seconds(static_cast<double>(P0));
        const double fer = TheoryFER(code, static_cast<double>(P0));
        double blocks = static_cast<double>(experiment.stop.maxBlocks);
        if (fer > 0.0) {
            blocks = std::min(blocks, std::ceil(experiment.stop.maxErrorBlocks / fer));
        }
        const int threads = std::max(1, experiment.threads / std::max(state.pointsAtOnce, 1));
        return rs::PointEstimate{block, blocks * block / threads};
    }

  private:
    const Simulator::State& state;
    const CodeFacts code;
    rs::Mutex lock;
    std::unique_ptr<rs::BlockTimeEstimate> timing RS_GUARDED_BY(lock);
};

Expected<Results> RunMonteCarlo(Simulator::State& state, const RunControls& controls) {
    const Experiment& experiment = state.experiment;
    Results results;
    results.code =
        FactsOf(experiment.code.m, experiment.code.t, experiment.code.length, experiment.puncture);
    results.channel = experiment.channel;
    results.interleave = experiment.interleave;
    rs::SteadyPerformanceCounter steady;
    rs::SweepRunner sweep(results.code, experiment.stop, state.engines, experiment.seed,
                          experiment.independentPoints, experiment.channel, experiment.interleave);
    DenseEstimator estimator(state, results.code);
    if (!SendsFrames(experiment.channel) && experiment.engine != EngineChoice::kReference) {
        sweep.SetEstimator(std::ref(estimator));
    }
    try {
        results.stopped =
            !sweep.Run(experiment.points.values, controls,
                       controls.clock != nullptr ? *controls.clock : steady, results.points);
    } catch (const std::bad_alloc&) {
        return {{}, "out of memory during the sweep"};
    }
    return {std::move(results), {}};
}

}  // namespace

Simulator::Simulator(std::unique_ptr<State> state) : state(std::move(state)) {}
Simulator::Simulator(Simulator&&) noexcept = default;
Simulator& Simulator::operator=(Simulator&&) noexcept = default;
Simulator::~Simulator() = default;

Expected<Simulator> Simulator::Make(const Experiment& experiment, const Resources& resources) {
    if (std::string problem = CheckExperiment(experiment); !problem.empty()) {
        return {{}, problem};
    }
    auto state = std::make_unique<State>();
    state->experiment = experiment;
    if (std::holds_alternative<MonteCarlo>(experiment.method)) {
        try {
            if (std::string error = MakeEngines(experiment, resources, *state); !error.empty()) {
                return {{}, error};
            }
        } catch (const std::bad_alloc&) {
            return {{}, "out of memory while making the engines"};
        }
    }
    return {Simulator(std::move(state)), {}};
}

const char* Simulator::EngineName() const {
    return state->engineName;
}

Expected<Results> Simulator::Run(const RunControls& controls) {
    if (state->ran) {
        return {{}, "a simulator runs once"};
    }
    state->ran = true;
    if (const auto* stratified = std::get_if<Stratified>(&state->experiment.method)) {
        return RunStratifiedStudy(state->experiment, *stratified, controls);
    }
    return RunMonteCarlo(*state, controls);
}

Expected<Results> Simulate(const Experiment& experiment, const RunControls& controls) {
    Expected<Simulator> simulator = Simulator::Make(experiment);
    if (!simulator) {
        return {{}, simulator.error};
    }
    return simulator.value->Run(controls);
}

const char* Version() {
    return RS_SIM_VERSION;
}

}  // namespace rs_sim
