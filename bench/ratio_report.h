#pragma once

// The literal against the fast way of doing one thing, both timed in one run, for the
// benchmarks that report their ratio.

#include <benchmark/benchmark.h>

#include <algorithm>

namespace rs {

// For each iteration of state, five alternating rounds of literal() and fast(), each returning
// its seconds per unit of work, of which the fastest per way counts, so that a burst of load on
// a shared machine does not decide the ratio. Reports microseconds per unit of each as
// literal_us and fast_us, and their ratio.
template <typename Literal, typename Fast>
void ReportRatio(benchmark::State& state, Literal&& literal, Fast&& fast) {
    double literalSeconds = 0.0;
    double fastSeconds = 0.0;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const double l = literal();
            const double f = fast();
            literalSeconds = round == 0 ? l : std::min(literalSeconds, l);
            fastSeconds = round == 0 ? f : std::min(fastSeconds, f);
        }
    }
    state.counters["literal_us"] = literalSeconds * 1e6;
    state.counters["fast_us"] = fastSeconds * 1e6;
    state.counters["ratio"] = literalSeconds / fastSeconds;
}

}  // namespace rs
