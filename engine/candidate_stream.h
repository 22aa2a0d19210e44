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
        if (threshold == 0 || from >= limit) {
            return limit;  // nothing ever hits
        }
        if (threshold > kValueMask) {
            return from;  // everything hits
        }
        for (;;) {
            // The chunk's bitmap is in stream order: bit i of word w is draw 64 w + i. A from
            // in an earlier chunk had nothing after it there.
            if (from < chunkEnd) {
                const std::uint64_t start = from > chunkBase ? from - chunkBase : 0;
                const std::uint64_t stop = limit - chunkBase;  // may lie beyond the chunk
                std::size_t word = start / 64;
                std::uint64_t bits = bitmap[word] & (~std::uint64_t{0} << (start % 64));
                while (bits == 0) {
                    if (++word == kBitmapWords || 64 * word >= stop) {
                        break;
                    }
                    bits = bitmap[word];
                }
                if (bits != 0) {
                    const std::uint64_t found =
                        chunkBase + 64 * word + static_cast<std::uint64_t>(__builtin_ctzll(bits));
                    return found < limit ? found : limit;
                }
            }
            if (limit <= chunkEnd) {
                return limit;
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
    static constexpr std::size_t kBitmapWords = kChunkDraws / 64;
    // The current chunk's candidates, a bit per draw: lane by lane, as each lane's rows.
    std::vector<std::uint64_t> bitmap;
    std::uint64_t chunkBase = 0;
    std::uint64_t chunkEnd = 0;
    std::uint32_t threshold = 0;
};

}  // namespace rs
