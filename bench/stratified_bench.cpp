// The stratified method's deep curves on two threads, each against the time it must take:
// the ratio is the allowance over the study's seconds (1 or more meets it). The process start
// and the output come on top; README gives whole runs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/stratified/stratified_study.h"

namespace rs {
namespace {

struct Curve {
    const char* name;
    StratifiedCode code;
    std::vector<double> points;
    double allowedSeconds;
};

// P0 = 0.05, then 4 points a decade from 10^-1.5 down to 10^-12.
std::vector<double> DeepGrid() {
    std::vector<double> points = {0.05};
    for (int j = 6; j <= 48; ++j) {
        points.push_back(std::pow(10.0, -j / 4.0));
    }
    return points;
}

// 4 points a decade from 1e-3 to 1e-6.
std::vector<double> LargeCodeGrid() {
    std::vector<double> points;
    for (int j = 12; j <= 24; ++j) {
        points.push_back(std::pow(10.0, -j / 4.0));
    }
    return points;
}

void BM_Stratified(benchmark::State& state) {
    const Curve curves[] = {
        {"RS(255,223), 0.05 to 1e-12", {8, 16, 0, true}, DeepGrid(), 1.0},
        {"RS(1023,963), 0.05 to 1e-12", {10, 30, 0, true}, DeepGrid(), 3.0},
        {"RS(204,188), 0.05 to 1e-12", {8, 8, 204, true}, DeepGrid(), 1.0},
        {"M=16, T=8, 1e-3 to 1e-6", {16, 8, 0, true}, LargeCodeGrid(), 30.0},
    };
    const Curve& curve = curves[state.range(0)];
    double seconds = 0.0;
    std::int64_t patterns = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const StudyResult result =
            RunStudy({.code = curve.code, .points = curve.points, .seed = 1234, .threads = 2});
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        patterns = 0;
        for (const WeightTally& tally : result.tallies) {
            patterns += tally.patterns;
        }
    }
    state.SetLabel(curve.name);
    state.counters["seconds"] = seconds;
    state.counters["patterns"] = static_cast<double>(patterns);
    state.counters["allowance_over_time"] = curve.allowedSeconds / seconds;
}
BENCHMARK(BM_Stratified)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rs
