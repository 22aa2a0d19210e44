#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/stratified/pattern_sampler.h"
#include "stats/weight_tally.h"

namespace rs {

// Samples of one weight to decode: indices first .. first + count - 1. A stratum's job has
// `weight` errors and `erasures` erasures.
struct SampleJob {
    std::int32_t weight = 0;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    bool stratum = false;
    std::int32_t erasures = 0;
};

// Decodes jobs of samples on a number of threads, each with a sampler of its own. The tallies
// are integer sums of per-sample counts, and every sample's pattern is fixed by (seed, weight,
// index), so they are the same for any number of threads.
class SamplePool {
  public:
    SamplePool(const StratifiedCode& code, int threads);

    std::int32_t N() const { return samplers.front()->N(); }
    std::int32_t K() const { return samplers.front()->K(); }
    int Threads() const { return static_cast<int>(samplers.size()); }

    // One tally per job, in the jobs' order.
    std::vector<WeightTally> Run(std::uint32_t seed, std::span<const SampleJob> jobs);

  private:
    // One per thread; during Run, sampler i is used by thread i alone.
    std::vector<std::unique_ptr<PatternSampler>> samplers;
};

}  // namespace rs
