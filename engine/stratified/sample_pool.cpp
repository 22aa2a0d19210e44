#include "engine/stratified/sample_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace rs {

namespace {

// Samples a thread takes at once: enough to make taking them cheap, few enough to share the
// last of a round out evenly.
constexpr std::uint64_t kPieceSamples = 256;

}  // namespace

SamplePool::SamplePool(const StratifiedCode& code, int threads) {
    const DrawKernel& kernel = BestKernel();
    for (int i = 0; i < std::max(threads, 1); ++i) {
        samplers.push_back(std::make_unique<PatternSampler>(code, kernel));
    }
}

std::vector<WeightTally> SamplePool::Run(std::uint32_t seed, std::span<const SampleJob> jobs) {
    // Piece p belongs to the last job whose pieces start at or before it: job j's start at
    // starts[j], so that a job of any size costs no memory.
    std::vector<std::uint64_t> starts(jobs.size() + 1, 0);
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        starts[j + 1] = starts[j] + (jobs[j].count + kPieceSamples - 1) / kPieceSamples;
    }
    const std::uint64_t pieces = starts.back();
    const auto threads = static_cast<std::size_t>(
        std::min<std::uint64_t>(samplers.size(), std::max<std::uint64_t>(pieces, 1)));
    // Each thread adds into its own row of tallies and records its own failure; the rows are
    // read after every thread has joined. Pieces are handed out by the one atomic counter.
    std::vector<std::vector<WeightTally>> rows(threads, std::vector<WeightTally>(jobs.size()));
    std::vector<std::exception_ptr> failures(threads);
    std::atomic<std::uint64_t> next{0};
    const auto work = [&](std::size_t thread) {
        try {
            for (std::uint64_t p = next.fetch_add(1, std::memory_order_relaxed); p < pieces;
                 p = next.fetch_add(1, std::memory_order_relaxed)) {
                const auto job = static_cast<std::size_t>(
                    std::upper_bound(starts.begin(), starts.end(), p) - starts.begin() - 1);
                const std::uint64_t at = (p - starts[job]) * kPieceSamples;
                const SampleJob& piece = jobs[job];
                const std::uint64_t count = std::min(kPieceSamples, piece.count - at);
                if (piece.stratum) {
                    samplers[thread]->SampleStratum(seed, piece.weight, piece.erasures,
                                                    piece.first + at, count, rows[thread][job]);
                } else {
                    samplers[thread]->Sample(seed, piece.weight, piece.first + at, count,
                                             rows[thread][job]);
                }
            }
        } catch (...) {
            failures[thread] = std::current_exception();
            next.store(pieces, std::memory_order_relaxed);  // the others stop too
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < threads; ++i) {
            helpers.emplace_back(work, i);
        }
        work(0);
    }
    std::vector<WeightTally> tallies(jobs.size());
    for (std::size_t i = 0; i < threads; ++i) {
        if (failures[i]) {
            std::rethrow_exception(failures[i]);
        }
        for (std::size_t j = 0; j < jobs.size(); ++j) {
            tallies[j] += rows[i][j];
        }
    }
    return tallies;
}

}  // namespace rs
