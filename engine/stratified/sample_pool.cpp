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

struct Piece {
    std::size_t job;
    std::uint64_t first;
    std::uint64_t count;
};

}  // namespace

SamplePool::SamplePool(const StratifiedCode& code, int threads) {
    const DrawKernel& kernel = BestKernel();
    for (int i = 0; i < std::max(threads, 1); ++i) {
        samplers.push_back(std::make_unique<PatternSampler>(code, kernel));
    }
}

std::vector<WeightTally> SamplePool::Run(std::uint32_t seed, std::span<const SampleJob> jobs) {
    std::vector<Piece> pieces;
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        for (std::uint64_t at = 0; at < jobs[j].count; at += kPieceSamples) {
            pieces.push_back({j, jobs[j].first + at, std::min(kPieceSamples, jobs[j].count - at)});
        }
    }
    const auto threads =
        std::min<std::size_t>(samplers.size(), std::max<std::size_t>(pieces.size(), 1));
    // Each thread adds into its own row of tallies and records its own failure; the rows are
    // read after every thread has joined. Pieces are handed out by the one atomic counter.
    std::vector<std::vector<WeightTally>> rows(threads, std::vector<WeightTally>(jobs.size()));
    std::vector<std::exception_ptr> failures(threads);
    std::atomic<std::size_t> next{0};
    const auto work = [&](std::size_t thread) {
        try {
            for (std::size_t p = next.fetch_add(1, std::memory_order_relaxed); p < pieces.size();
                 p = next.fetch_add(1, std::memory_order_relaxed)) {
                const Piece& piece = pieces[p];
                samplers[thread]->Sample(seed, jobs[piece.job].weight, piece.first, piece.count,
                                         rows[thread][piece.job]);
            }
        } catch (...) {
            failures[thread] = std::current_exception();
            next.store(pieces.size(), std::memory_order_relaxed);  // the others stop too
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
