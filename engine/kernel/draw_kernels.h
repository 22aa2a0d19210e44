#pragma once

#include <cstdint>

namespace rs {

// The instruction-set levels of the bit-sliced draw kernel, lowest first.
enum class SimdLevel { kPortable, kAvx2, kAvx512 };

const char* SimdLevelName(SimdLevel level);
// Whether the running machine can execute the level.
bool SimdLevelSupported(SimdLevel level);
// The highest level the machine supports, lowered to RS_SIM_SIMD (portable, avx2 or avx512)
// when that variable names a lower one; tests and benchmarks pass a level directly instead.
SimdLevel BestSimdLevel();

// One level's kernel over slots of kStateBits words, each word `words` 64-bit machine words wide,
// so a pass draws 64 x words lanes at once. Slots and masks are aligned to 64 bytes.
struct DrawKernel {
    SimdLevel level;
    int words;
    // Runs an even number of rows; row r writes `words` mask words at masks + r x words, bit j
    // set when lane j's draw is below threshold (1..2^31-1).
    void (*runRows)(std::uint64_t* slots, int rows, std::uint32_t threshold, std::uint64_t* masks);
    // From the row masks of `rows` rows (a multiple of 64) to each lane's bits: rows / 64
    // words a lane, bit i of word b being row 64 b + i.
    void (*lanesFromRows)(const std::uint64_t* masks, int rows, int words, std::uint64_t* laneBits);
    // Replaces the lanes' states by a linear map of them, given as (output bit, input bit)
    // pairs.
    void (*applyMap)(std::uint64_t* slots, const std::uint8_t* pairs, int pairCount);
};

const DrawKernel& KernelFor(SimdLevel level);

}  // namespace rs
