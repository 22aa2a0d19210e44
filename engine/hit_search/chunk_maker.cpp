#include "engine/hit_search/chunk_maker.h"

#include <algorithm>
#include <bit>

#include "base/contract.h"
#include "engine/hit_search/hit_threshold.h"

namespace rs {

ChunkMaker::ChunkMaker(const DrawKernel& kernel, int rows, std::uint64_t stride)
    : kernel(kernel),
      lanes(64 * kernel.words),
      rows(rows),
      chunkDraws(static_cast<std::uint64_t>(lanes) * static_cast<std::uint64_t>(rows)) {
    // A lane's rows go to its bitmap words 64 at a time.
    RS_ASSERT(rows > 0 && rows % 64 == 0 && stride >= 1,
              "a chunk needs rows a lane in 64s and a stride of a chunk at least");
    const JumpAhead& jump = JumpAhead::Instance();
    laneStride = jump.Power(static_cast<std::uint64_t>(rows));
    // After a chunk, lane j stands (j + 1) rows into it; the next one starts stride chunks
    // after the chunk's own start.
    const BitMatrix next = jump.Power(stride * chunkDraws - static_cast<std::uint64_t>(rows));
    for (int input = 0; input < kStateBits; ++input) {
        for (std::uint64_t column = next.columns[static_cast<std::size_t>(input)]; column != 0;
             column &= column - 1) {
            nextChunk.push_back(static_cast<std::uint8_t>(std::countr_zero(column)));
            nextChunk.push_back(static_cast<std::uint8_t>(input));
        }
    }
    const auto blocksFor = [](int words) { return static_cast<std::size_t>((words + 7) / 8); };
    slots.resize(blocksFor(kStateBits * kernel.words));
    masks.resize(blocksFor(rows * kernel.words));
    laneCounts.resize(static_cast<std::size_t>(lanes));
}

void ChunkMaker::Seat(PackedState state) {
    // Lane j starts rows x j draws into the chunk; its state bits go to bit j of each slot.
    const auto words = static_cast<std::size_t>(kernel.words);
    std::uint64_t* bits = slots.front().words;
    std::fill(bits, bits + kStateBits * words, std::uint64_t{0});
    for (int lane = 0; lane < lanes; ++lane) {
        const auto word = static_cast<std::size_t>(lane / 64);
        const int shift = lane % 64;
        // Without a branch on the random bits: a point seats its lanes once a segment.
        for (std::size_t i = 0; i < kStateBits; ++i) {
            bits[i * words + word] |= ((state >> i) & 1U) << shift;
        }
        state = laneStride.Apply(state);
    }
}

void ChunkMaker::Make(std::uint32_t threshold, std::uint64_t* bitmap) {
    RS_ASSERT(threshold != 0 && threshold <= kValueMask, "only a threshold that draws is made");
    std::uint64_t* state = slots.front().words;
    std::uint64_t* rowMasks = masks.front().words;
    const int words = kernel.words;
    kernel.runRows(state, rows, threshold, rowMasks);

    // The masks hold a bit per lane for each row; each lane needs a bit per row. Sparse masks
    // (P0 below 1/256) move bit by bit; denser ones by 64x64 transposes, skipping empty blocks.
    const int rowBlocks = rows / 64;
    if (threshold <= kListedThreshold) {
        std::fill(bitmap, bitmap + BitmapWords(), std::uint64_t{0});
        for (int row = 0; row < rows; ++row) {
            const std::uint64_t rowBit = std::uint64_t{1} << (row % 64);
            std::uint64_t* column = bitmap + row / 64;
            for (int group = 0; group < words; ++group) {
                for (std::uint64_t bits = rowMasks[row * words + group]; bits != 0;
                     bits &= bits - 1) {
                    const int lane = group * 64 + std::countr_zero(bits);
                    column[lane * rowBlocks] |= rowBit;
                }
            }
        }
    } else {
        kernel.lanesFromRows(rowMasks, rows, words, bitmap);
    }
    kernel.applyMap(state, nextChunk.data(), static_cast<int>(nextChunk.size() / 2));
}

void ChunkMaker::MakeList(std::uint32_t threshold, std::uint32_t first,
                          std::vector<std::uint32_t>& list) {
    RS_ASSERT(threshold != 0 && threshold <= kValueMask, "only a threshold that draws is made");
    std::uint64_t* state = slots.front().words;
    std::uint64_t* rowMasks = masks.front().words;
    const int words = kernel.words;
    kernel.runRows(state, rows, threshold, rowMasks);

    // The masks go row by row; the stream goes lane by lane. Count each lane's candidates,
    // give each lane its place in the list, then fill the places row by row, which keeps each
    // lane's candidates in order.
    std::fill(laneCounts.begin(), laneCounts.end(), 0U);
    const int maskWords = rows * words;
    for (int at = 0; at < maskWords; ++at) {
        for (std::uint64_t bits = rowMasks[at]; bits != 0; bits &= bits - 1) {
            ++laneCounts[static_cast<std::size_t>((at % words) * 64 + std::countr_zero(bits))];
        }
    }
    std::uint32_t place = static_cast<std::uint32_t>(list.size());
    for (std::uint32_t& count : laneCounts) {
        const std::uint32_t lanePlace = place;
        place += count;
        count = lanePlace;
    }
    list.resize(place);
    for (int row = 0; row < rows; ++row) {
        for (int group = 0; group < words; ++group) {
            for (std::uint64_t bits = rowMasks[row * words + group]; bits != 0; bits &= bits - 1) {
                const int lane = group * 64 + std::countr_zero(bits);
                list[laneCounts[static_cast<std::size_t>(lane)]++] =
                    first + static_cast<std::uint32_t>(lane * rows + row);
            }
        }
    }
    kernel.applyMap(state, nextChunk.data(), static_cast<int>(nextChunk.size() / 2));
}

}  // namespace rs
