#pragma once

#include <cstdint>
#include <vector>

#include "engine/kernel/draw_kernels.h"
#include "random/jump_ahead.h"

namespace rs {

// Makes the candidate bitmaps of chunks of the draw stream with the bit-sliced kernel: lane j
// of a chunk draws the j-th stretch of `rows` consecutive draws, and the bitmap has bit i of
// word w set when draw 64 w + i of the chunk is below the threshold. After a chunk the lanes
// jump by one fixed linear map to the chunk `stride` chunks on.
class ChunkMaker {
  public:
    // Draws a chunk unless the rows a lane are given.
    static constexpr std::uint64_t kDefaultChunkDraws = 65536;
    // The rows a lane of the kernel's chunks: rowsPerLane, or those of kDefaultChunkDraws.
    static int RowsFor(const DrawKernel& kernel, int rowsPerLane = 0) {
        return rowsPerLane > 0 ? rowsPerLane
                               : static_cast<int>(kDefaultChunkDraws /
                                                  static_cast<std::uint64_t>(64 * kernel.words));
    }

    // rows: a multiple of 64; stride: chunks from one made chunk to the next.
    ChunkMaker(const DrawKernel& kernel, int rows, std::uint64_t stride);

    std::uint64_t ChunkDraws() const { return chunkDraws; }
    std::size_t BitmapWords() const { return static_cast<std::size_t>(chunkDraws / 64); }

    // Seats the lanes on the chunk that starts with the draw after state.
    void Seat(PackedState state);
    // Writes the chunk's bitmap, then moves on by the stride.
    void Make(std::uint32_t threshold, std::uint64_t* bitmap);
    // Appends the chunk's candidates to list in order, each as first plus its draw in the
    // chunk, then moves on by the stride: for sparse candidates, with no bitmap to clear and
    // scan.
    void MakeList(std::uint32_t threshold, std::uint32_t first, std::vector<std::uint32_t>& list);

  private:
    struct alignas(64) Block {
        std::uint64_t words[8];
    };

    const DrawKernel& kernel;
    const int lanes;
    const int rows;
    const std::uint64_t chunkDraws;
    BitMatrix laneStride;                 // advances one lane's stretch
    std::vector<std::uint8_t> nextChunk;  // (output, input) pairs of the stride's jump
    std::vector<Block> slots;
    std::vector<Block> masks;
    std::vector<std::uint32_t> laneCounts;  // MakeList's candidates a lane
};

}  // namespace rs
