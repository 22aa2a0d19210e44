#pragma once

#include <cstdint>
#include <vector>

#include "engine/draw_kernels.h"
#include "engine/jump_ahead.h"

namespace rs {

// The draws of one point that are below the hit threshold, in stream order, produced a chunk
// at a time by the bit-sliced kernel. Lane j of a chunk draws the j-th stretch of `rows`
// consecutive draws, so each lane's candidates are in order and the lanes in turn give the
// chunk's candidates in order. Between chunks every lane jumps over the other lanes'
// stretches by one fixed linear map.
class CandidateStream {
  public:
    // Draws per chunk: a multiple of 64 rows for every level's lane count.
    static constexpr std::uint64_t kChunkDraws = 65536;

    explicit CandidateStream(const DrawKernel& kernel);

    // Restarts at draw 0 of the stream seeded by state, for draws below threshold.
    void Start(PackedState seeded, std::uint32_t threshold);

    // The first candidate in [from, limit), or limit when there is none. Calls must not
    // lower from.
    std::uint64_t Next(std::uint64_t from, std::uint64_t limit) {
        for (;;) {
            while (cursor < candidateCount && chunkBase + candidates[cursor] < from) {
                ++cursor;
            }
            if (cursor < candidateCount) {
                const std::uint64_t found = chunkBase + candidates[cursor];
                return found < limit ? found : limit;
            }
            if (limit <= chunkEnd || from >= limit) {
                return limit;
            }
            if (threshold == 0) {
                return limit;  // nothing ever hits
            }
            if (threshold > kValueMask) {
                return from;  // everything hits
            }
            GenerateChunk();
        }
    }

  private:
    void GenerateChunk();

    const DrawKernel& kernel;
    const int lanes;
    const int rows;
    std::vector<std::uint8_t> chunkJump;  // (output, input) pairs of the jump between chunks
    BitMatrix laneStride;                 // advances one lane's stretch
    struct alignas(64) Block {
        std::uint64_t words[8];
    };
    std::vector<Block> slotStorage;
    std::vector<Block> maskStorage;
    std::vector<std::uint64_t> laneBits;    // per lane, a bit per row: its candidates
    std::vector<std::uint32_t> candidates;  // offsets in the current chunk, ascending
    std::size_t candidateCount = 0;
    std::size_t cursor = 0;
    std::uint64_t chunkBase = 0;
    std::uint64_t chunkEnd = 0;
    std::uint32_t threshold = 0;
};

}  // namespace rs
