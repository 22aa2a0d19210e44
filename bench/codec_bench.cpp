// Throughput of the per-block work: field arithmetic, random draws, encoding, decoding and one
// whole block of the experiment. Items are symbols (information symbols for the codec).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/reference_engine.h"
#include "random/random_generator.h"
#include "simulator/sweep.h"
#include "system/performance_counter.h"

namespace rs {
namespace {

// Fills a codeword from fixed-seed random information.
struct CodeFixture {
    CodeFixture(std::int32_t m, std::int32_t t) {
        codec.Configure(m, t);
        n = codec.GetN();
        k = codec.GetK();
        info.resize(static_cast<std::size_t>(k));
        codeword.resize(static_cast<std::size_t>(n));
        received.resize(static_cast<std::size_t>(n));
        decoded.resize(static_cast<std::size_t>(k));
        generator.Seed(kSeed);
        for (auto& symbol : info) {
            symbol = generator.NextInt(n + 1);
        }
        codec.Encode(info.data(), codeword.data());
        received = codeword;
    }

    // Puts `errors` symbol errors at spread-out positions.
    void AddErrors(std::int32_t errors) {
        received = codeword;
        for (std::int32_t e = 0; e < errors; ++e) {
            const std::int32_t position = (e * 37 + 5) % n;
            received[static_cast<std::size_t>(position)] ^= 1 + generator.NextInt(n);
        }
    }

    ReedSolomonCodec codec;
    RandomGenerator generator;
    std::int32_t n = 0;
    std::int32_t k = 0;
    std::vector<Symbol> info;
    std::vector<Symbol> codeword;
    std::vector<Symbol> received;
    std::vector<Symbol> decoded;
};

void BM_FieldMultiply(benchmark::State& state) {
    GaloisField field;
    field.Init(2, 8);
    Symbol a = 3;
    for (auto _ : state) {
        for (Symbol b = 1; b < 256; ++b) {
            a = field.Multiply(a, b) | 1;
        }
        benchmark::DoNotOptimize(a);
    }
    state.SetItemsProcessed(state.iterations() * 255);
}
BENCHMARK(BM_FieldMultiply);

void BM_RandomUniform(benchmark::State& state) {
    RandomGenerator generator;
    generator.Seed(kSeed);
    double sum = 0.0;
    for (auto _ : state) {
        sum += generator.NextUniform();
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomUniform);

void BM_Encode(benchmark::State& state) {
    CodeFixture fixture(static_cast<std::int32_t>(state.range(0)),
                        static_cast<std::int32_t>(state.range(1)));
    for (auto _ : state) {
        fixture.codec.Encode(fixture.info.data(), fixture.codeword.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * fixture.k);
}
BENCHMARK(BM_Encode)->Args({8, 16})->Args({4, 2})->Args({10, 30});

// Range 2 is the number of symbol errors in the received word.
void BM_Decode(benchmark::State& state) {
    CodeFixture fixture(static_cast<std::int32_t>(state.range(0)),
                        static_cast<std::int32_t>(state.range(1)));
    fixture.AddErrors(static_cast<std::int32_t>(state.range(2)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            fixture.codec.Decode(fixture.received.data(), fixture.decoded.data()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * fixture.k);
}
BENCHMARK(BM_Decode)
    ->Args({8, 16, 0})
    ->Args({8, 16, 8})
    ->Args({8, 16, 16})
    ->Args({8, 16, 40})
    ->Args({10, 30, 30});

// The example code's experiment at one P0, 200 blocks a point, told to no one.
struct PointFixture {
    explicit PointFixture(float p0) : p0(p0) {
        codec.Configure(8, 16);
        auto engine = std::make_unique<ReferenceEngine>(
            codec, generator, BlockArrays(codec.GetN(), codec.GetK()), 1 << 8);
        reference = engine.get();
        engines.push_back(std::move(engine));
    }
    void RunPoint() {
        SweepRunner runner(rs_sim::FactsOf(8, 16, std::nullopt), limits, engines, kSeed, false);
        std::vector<rs_sim::PointResult> results;
        runner.Run(std::span<const float>(&p0, 1), {}, counter, results);
    }

    const float p0;
    const rs_sim::StopRules limits{200, 1000000};
    ReedSolomonCodec codec;
    RandomGenerator generator;
    SteadyPerformanceCounter counter;
    ReferenceEngine* reference = nullptr;
    std::vector<std::unique_ptr<Engine>> engines;
};

// Whole points of the experiment (seed, blocks through encoder, channel, decoder, counting)
// on the example code at P0 given in thousandths.
void BM_Point(benchmark::State& state) {
    PointFixture fixture(static_cast<float>(state.range(0)) / 1000.0F);
    for (auto _ : state) {
        fixture.RunPoint();
    }
    state.SetItemsProcessed(state.iterations() * fixture.limits.maxBlocks * fixture.codec.GetK());
}
BENCHMARK(BM_Point)->Arg(0)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

// What counting bit errors and detected failures costs a whole point: the same point with and
// without them, alternately, in one run. The counter "ratio" is the time with them over the
// time without; the extra counts must stay negligible.
void BM_DetailCost(benchmark::State& state) {
    PointFixture fixture(static_cast<float>(state.range(0)) / 1000.0F);
    using Clock = std::chrono::steady_clock;
    Clock::duration with{};
    Clock::duration without{};
    for (auto _ : state) {
        for (const bool detail : {true, false}) {
            fixture.reference->SetGatherDetail(detail);
            const auto start = Clock::now();
            fixture.RunPoint();
            (detail ? with : without) += Clock::now() - start;
        }
    }
    state.counters["ratio"] = std::chrono::duration<double>(with).count() /
                              std::chrono::duration<double>(without).count();
}
BENCHMARK(BM_DetailCost)->Arg(30)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rs
