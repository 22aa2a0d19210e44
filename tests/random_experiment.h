#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "cli/experiment_file/parameter_file.h"

namespace rs::testing {

// Experiments drawn at random for differential runs: many short points, codes from GF(4) to
// GF(2^20), P0 on both sides of 1/256 (where the engines list candidates instead of mapping
// them) and above 1, any t, and stops by either limit. Their blocks stay few enough that one
// experiment runs in well under a second.
inline SimulationParameters RandomExperiment(std::mt19937_64& random) {
    const auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    const auto between = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    SimulationParameters p;
    // Small fields are cheap and crowd with miscorrections; large ones have blocks longer
    // than the engines' chunks.
    p.M = static_cast<std::int32_t>(between(0, 3) == 0 ? between(13, 20) : between(2, 12));
    const std::int64_t n = (std::int64_t{1} << p.M) - 1;
    // Any t in small fields; a decode costs about t n, so large fields keep t small.
    const std::int64_t mostT = p.M <= 8 ? (n - 1) / 2 : std::min<std::int64_t>((n - 1) / 2, 24);
    p.T = static_cast<std::int32_t>(between(0, mostT));
    double top = 0.0;
    // Dense points in large fields decode every block slowly: there P0 stays at 0.05 or less.
    switch (between(0, p.M <= 12 ? 3 : 1)) {
        case 0:
            top = std::exp(uniform(std::log(1e-4), std::log(1.0 / 256)));  // listed
            break;
        case 1:
            // 1/256 itself is the last listed P0.
            top = between(0, 3) == 0 ? 1.0 / 256 : uniform(1.0 / 256, 0.05);
            break;
        case 2:
            top = uniform(0.05, 0.6);
            break;
        default:
            top = uniform(0.6, 1.3);  // every draw below the threshold, above 1
    }
    const auto points = static_cast<double>(between(1, 6));
    p.Pmax = static_cast<float>(top);
    p.Pstep = static_cast<float>(top / (points + 1.0));
    p.Pmin = static_cast<float>(top - (points - 1.0) * top / (points + 1.0));
    // About two million symbols a point, fewer where most blocks are decoded (about t n each),
    // and often a stop on the error blocks.
    const std::int64_t cost = (n + 1) * (top > 1.0 / 256 ? 1 + p.T : 1);
    const std::int64_t blocks = between(1, 2000000 / cost + 1);
    p.maxBlocks = static_cast<std::int32_t>(blocks);
    p.maxErrorBlocks = static_cast<std::int32_t>(between(0, 1) == 0 ? between(1, 5) : blocks);
    return p;
}

// A size or seed of the differential runs from the environment: RS_SIM_STRESS_EXPERIMENTS,
// RS_SIM_STRESS_REPEATS, RS_SIM_STRESS_SEED; fallback when unset.
inline std::uint64_t StressSetting(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// The experiment as the lines of an experiment file.
inline std::string ExperimentFile(const SimulationParameters& p) {
    std::ostringstream text;
    text.precision(9);
    text << "Pmax=" << p.Pmax << "\nPmin=" << p.Pmin << "\nPstep=" << p.Pstep
         << "\nmaxBlocks=" << p.maxBlocks << "\nmaxErrorBlocks=" << p.maxErrorBlocks
         << "\nM=" << p.M << "\nT=" << p.T << "\n";
    return text.str();
}

}  // namespace rs::testing
