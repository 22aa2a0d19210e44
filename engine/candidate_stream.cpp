#include "engine/candidate_stream.h"

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
    laneRows.resize(static_cast<std::size_t>(lanes) * static_cast<std::size_t>(rows));
    laneCounts.resize(static_cast<std::size_t>(lanes));
    candidates.reserve(kChunkDraws);
}

void CandidateStream::Start(PackedState seeded, std::uint32_t hitThreshold) {
    threshold = hitThreshold;
    candidates.clear();
    cursor = 0;
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
    kernel.runRows(slots, rows / 26, threshold, masks);

    // Row-major masks to lane-major lists, then the lanes in turn.
    for (auto& count : laneCounts) {
        count = 0;
    }
    for (int row = 0; row < rows; ++row) {
        for (int word = 0; word < words; ++word) {
            for (std::uint64_t bits = masks[row * words + word]; bits != 0; bits &= bits - 1) {
                const auto lane = static_cast<std::size_t>(64 * word + __builtin_ctzll(bits));
                laneRows[lane * static_cast<std::size_t>(rows) + laneCounts[lane]++] =
                    static_cast<std::uint16_t>(row);
            }
        }
    }
    candidates.clear();
    for (std::size_t lane = 0; lane < static_cast<std::size_t>(lanes); ++lane) {
        const std::uint32_t laneStart =
            static_cast<std::uint32_t>(lane) * static_cast<std::uint32_t>(rows);
        const std::uint16_t* rowsOfLane = &laneRows[lane * static_cast<std::size_t>(rows)];
        for (std::uint16_t c = 0; c < laneCounts[lane]; ++c) {
            candidates.push_back(laneStart + rowsOfLane[c]);
        }
    }
    cursor = 0;
    chunkBase = chunkEnd;
    chunkEnd += kChunkDraws;
    kernel.applyMap(slots, chunkJump.data(), static_cast<int>(chunkJump.size() / 2));
}

}  // namespace rs
