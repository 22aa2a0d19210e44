// The block counter's errors-and-erasures decoding against the literal decoder of the tests, on
// RS(255,223) with s erasures and e errors: both timed in one run, in five alternating rounds
// whose fastest time per decoder counts, so that a burst of load on a shared machine does not
// decide the ratio. Reports microseconds per word and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "bench/ratio_report.h"
#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"
#include "engine/kernel/draw_kernels.h"
#include "tests/literal_decoder.h"

namespace rs {
namespace {

// A word's erasures (received as 0, as sent, or wrong, alike) and errors, as the block counter
// takes them and as the literal decoder receives them on a random codeword.
struct ErasedWord {
    std::vector<std::int32_t> erasures;
    std::vector<std::int32_t> positions;
    std::vector<Symbol> values;
    std::vector<int> erased;
    std::vector<Symbol> received;
};

std::vector<ErasedWord> MakeWords(ReedSolomonCodec& codec, int erasures, int errors, int count) {
    std::mt19937 rng(2024);
    const int n = codec.GetN();
    std::uniform_int_distribution<Symbol> symbol(0, n);
    std::uniform_int_distribution<Symbol> nonzero(1, n);
    std::vector<ErasedWord> words(static_cast<std::size_t>(count));
    for (ErasedWord& word : words) {
        std::vector<Symbol> info(static_cast<std::size_t>(codec.GetK()));
        for (Symbol& s : info) {
            s = symbol(rng);
        }
        std::vector<Symbol> codeword(static_cast<std::size_t>(n));
        codec.Encode(info.data(), codeword.data());
        std::vector<int> all(static_cast<std::size_t>(n));
        std::iota(all.begin(), all.end(), 0);
        std::shuffle(all.begin(), all.end(), rng);
        word.erased.assign(all.begin(), all.begin() + erasures);
        std::sort(word.erased.begin(), word.erased.end());
        word.erasures.assign(word.erased.begin(), word.erased.end());
        std::vector<Symbol> pattern(static_cast<std::size_t>(n), 0);
        for (int i = 0; i < erasures + errors; ++i) {
            // An erasure is wrong two times in three.
            const bool wrong = i >= erasures || rng() % 3 != 0;
            pattern[static_cast<std::size_t>(all[static_cast<std::size_t>(i)])] =
                wrong ? nonzero(rng) : 0;
        }
        word.received = codeword;
        for (int p = 0; p < n; ++p) {
            const Symbol e = pattern[static_cast<std::size_t>(p)];
            word.received[static_cast<std::size_t>(p)] ^= e;
            if (e != 0) {
                word.positions.push_back(p);
                word.values.push_back(e);
            }
        }
    }
    return words;
}

template <typename DecodeWord>
double SecondsPerWord(const std::vector<ErasedWord>& words, int repeats, DecodeWord&& decode) {
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeats; ++r) {
        for (const ErasedWord& word : words) {
            decode(word);
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
           static_cast<double>(repeats * static_cast<int>(words.size()));
}

// Arguments: erasures, errors.
void BM_ErasuresAgainstLiteral(benchmark::State& state) {
    const auto erasures = static_cast<int>(state.range(0));
    const auto errors = static_cast<int>(state.range(1));
    ReedSolomonCodec codec;
    codec.Configure(8, 16);
    ReedSolomonCodec counterCodec;
    counterCodec.Configure(8, 16);
    BlockCounter counter(counterCodec, 8, BestKernel());
    const std::vector<ErasedWord> words = MakeWords(codec, erasures, errors, 64);
    std::int64_t wrong = 0;
    ReportRatio(
        state,
        [&] {
            return SecondsPerWord(words, 2, [&](const ErasedWord& word) {
                const testing::ReferenceOutcome out =
                    testing::ReferenceDecode(codec, word.received, word.erased);
                benchmark::DoNotOptimize(out.decoded.data());
            });
        },
        [&] {
            return SecondsPerWord(words, 200, [&](const ErasedWord& word) {
                const BlockOutcome out = counter.DecodePattern(
                    word.positions.data(), word.values.data(),
                    static_cast<std::int32_t>(word.positions.size()), word.erasures);
                wrong += out.errorSymbols;
            });
        });
    // Within reach every word decodes: a count here would mean the decoder is broken.
    state.counters["wrong_symbols"] = static_cast<double>(wrong);
}
BENCHMARK(BM_ErasuresAgainstLiteral)
    ->ArgNames({"s", "e"})
    ->Args({16, 8})
    ->Args({16, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace rs
