// RS(255,223) at P0 = 0.05 until 100 wrong blocks: one point, printed as its counts.
#include <cstdio>

#include <rs_sim/simulator.h>

int main() {
    rs_sim::Experiment experiment;
    experiment.code = {.m = 8, .t = 16};
    experiment.points = rs_sim::Points::Values({0.05F});
    experiment.stop = {.maxBlocks = 100000, .maxErrorBlocks = 100};
    const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
    if (!results) {
        std::fprintf(stderr, "one-point: %s\n", results.error.c_str());
        return 1;
    }
    const rs_sim::PointResult& point = results.value->points.front();
    std::printf(
        "rs_sim %s: RS(%d,%d) at P0=%g: blocks=%lld errorBlocks=%lld errorSymbols=%lld "
        "FER=%.6e [%.6e, %.6e]\n",
        rs_sim::Version(), results.value->code.n, results.value->code.k,
        static_cast<double>(point.P0), static_cast<long long>(point.counts.blocks),
        static_cast<long long>(point.counts.errorBlocks),
        static_cast<long long>(point.counts.errorSymbols), point.FER, point.FERLow, point.FERHigh);
    return 0;
}
