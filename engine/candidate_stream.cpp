#include "engine/candidate_stream.h"

#include <algorithm>
#include <bit>

namespace rs {

CandidateStream::CandidateStream(const DrawKernel& kernel)
    : kernel(kernel),
      lanes(64 * kernel.words),
      rows(static_cast<int>(kChunkDraws / static_cast<std::uint64_t>(64 * kernel.words))) {
    const JumpAhead& jump = JumpAhead::Instance();
    laneStride = jump.Power(static_cast<std::uint64_t>(rows));
    const BitMatrix chunk =
        jump.Power(static_cast<std::uint64_t>(lanes - 1) * static_cast<std::uint64_t>(rows));
    for (int input = 0; input < kStateBits; ++input) {
        for (std::uint64_t column = chunk.columns[static_cast<std::size_t>(input)]; column != 0;
             column &= column - 1) {
            chunkJump.push_back(static_cast<std::uint8_t>(__builtin_ctzll(column)));
            chunkJump.push_back(static_cast<std::uint8_t>(input));
        }
    }
    const auto blocksFor = [&](int words) { return static_cast<std::size_t>((words + 7) / 8); };
    slotStorage.resize(blocksFor(kStateBits * kernel.words));
    maskStorage.resize(blocksFor(rows * kernel.words));
    bitmap.resize(kBitmapWords);
}

void CandidateStream::Start(PackedState seeded, std::uint32_t hitThreshold) {
    threshold = hitThreshold;
    chunkBase = 0;
    chunkEnd = 0;
    // Lane j starts rows x j draws into the stream; its bits go to bit j of each slot.
    auto* slots = slotStorage.front().words;
    const auto words = static_cast<std::size_t>(kernel.words);
    for (std::size_t i = 0; i < kStateBits * words; ++i) {
        slots[i] = 0;
    }
    PackedState state = seeded;
    for (int lane = 0; lane < lanes; ++lane) {
        const auto word = static_cast<std::size_t>(lane / 64);
        const std::uint64_t bit = std::uint64_t{1} << (lane % 64);
        for (std::size_t i = 0; i < kStateBits; ++i) {
            if (((state >> i) & 1U) != 0) {
                slots[i * words + word] |= bit;
            }
        }
        state = laneStride.Apply(state);
    }
}

void CandidateStream::GenerateChunk() {
    std::uint64_t* slots = slotStorage.front().words;
    std::uint64_t* masks = maskStorage.front().words;
    const int words = kernel.words;
    kernel.runRows(slots, rows, threshold, masks);

    // The masks hold a bit per lane for each row; each lane needs a bit per row. Sparse masks
    // (P0 below 1/256) move bit by bit; denser ones by 64x64 transposes, skipping empty blocks.
    const int rowBlocks = rows / 64;
    if (threshold <= (std::uint32_t{1} << 23)) {
        std::fill(bitmap.begin(), bitmap.end(), std::uint64_t{0});
        for (int row = 0; row < rows; ++row) {
            const std::uint64_t rowBit = std::uint64_t{1} << (row % 64);
            std::uint64_t* column = bitmap.data() + row / 64;
            for (int group = 0; group < words; ++group) {
                std::uint64_t bits = masks[row * words + group];
                if (bits == 0) {
                    continue;
                }
                // The first two bits without a loop: few words have more.
                const int first = group * 64 + std::countr_zero(bits);
                column[first * rowBlocks] |= rowBit;
                bits &= bits - 1;
                const int second = group * 64 + (std::countr_zero(bits) & 63);
                column[second * rowBlocks] |= bits != 0 ? rowBit : 0;
                for (bits &= bits - 1; bits != 0; bits &= bits - 1) {
                    const int lane = group * 64 + std::countr_zero(bits);
                    column[lane * rowBlocks] |= rowBit;
                }
            }
        }
    } else {
        kernel.lanesFromRows(masks, rows, words, bitmap.data());
    }
    chunkBase = chunkEnd;
    chunkEnd += kChunkDraws;
    kernel.applyMap(slots, chunkJump.data(), static_cast<int>(chunkJump.size() / 2));
}

}  // namespace rs
