#pragma once

#include <cstdint>
#include <optional>

#include "rs_sim/experiment.h"
#include "rs_sim/results.h"

namespace rs {

// The experiment as "param.dat" states it, or as options give it. The file holds counts of 32
// bits; options may give more.
struct SimulationParameters {
    float Pmax = 0.0F;
    float Pmin = 0.0F;
    float Pstep = 0.0F;
    std::int64_t maxBlocks = 0;
    std::int64_t maxErrorBlocks = 0;
    std::int32_t M = 0;
    std::int32_t T = 0;

    bool operator==(const SimulationParameters&) const = default;
};

// What a machine-readable report says about the run as a whole.
struct RunDescription {
    SimulationParameters parameters;
    std::int32_t seed = 0;
    rs_sim::CodeFacts code;
    std::optional<rs_sim::Points> grid;  // the P0 values given in place of the sweep lines
    std::optional<std::int32_t> length;  // the shortened length asked for
    bool independentPoints = false;
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    std::int32_t interleave = 1;
    rs_sim::Experiment::OnFailure onFailure = rs_sim::Experiment::OnFailure::kDecoded;
};

// An experiment as the reports describe it: the sweep's lines when its points are a sweep (0
// otherwise, with the points as a grid), its limits, code, channel and seed.
RunDescription DescribeExperiment(const rs_sim::Experiment& experiment);

}  // namespace rs
