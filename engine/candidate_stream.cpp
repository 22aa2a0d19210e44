#include "engine/candidate_stream.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace rs {

CandidateStream::CandidateStream(const DrawKernel& kernel, int threadCount, int rowsPerLane)
    : kernel(kernel),
      lanes(64 * kernel.words),
      rows(rowsPerLane > 0 ? rowsPerLane
                           : static_cast<int>(kDefaultChunkDraws /
                                              static_cast<std::uint64_t>(64 * kernel.words))),
      threads(std::max(threadCount, 1)),
      chunkDraws(static_cast<std::uint64_t>(lanes) * static_cast<std::uint64_t>(rows)),
      bitmapWords(static_cast<std::size_t>(chunkDraws / 64)),
      ringSlots(2 * static_cast<std::size_t>(threads)),
      ready(std::make_unique<std::atomic<std::int64_t>[]>(
          2 * static_cast<std::size_t>(std::max(threadCount, 1)))) {
    const JumpAhead& jump = JumpAhead::Instance();
    laneStride = jump.Power(static_cast<std::uint64_t>(rows));
    // After its chunk c, a maker's lane j stands at c C + (j + 1) rows; its next chunk is
    // c + threads.
    const BitMatrix next = jump.Power(static_cast<std::uint64_t>(threads) * chunkDraws -
                                      static_cast<std::uint64_t>(rows));
    for (int input = 0; input < kStateBits; ++input) {
        for (std::uint64_t column = next.columns[static_cast<std::size_t>(input)]; column != 0;
             column &= column - 1) {
            makerJump.push_back(static_cast<std::uint8_t>(__builtin_ctzll(column)));
            makerJump.push_back(static_cast<std::uint8_t>(input));
        }
    }
    const auto blocksFor = [&](int words) { return static_cast<std::size_t>((words + 7) / 8); };
    makers.resize(static_cast<std::size_t>(threads));
    for (Maker& maker : makers) {
        maker.slots.resize(blocksFor(kStateBits * kernel.words));
        maker.masks.resize(blocksFor(rows * kernel.words));
    }
    ring.resize(ringSlots * bitmapWords);
}

CandidateStream::~CandidateStream() {
    StopWorkers();
}

void CandidateStream::StopWorkers() {
    if (workers.empty()) {
        return;
    }
    stopping.store(true);
    released.store(std::numeric_limits<std::int64_t>::max());
    released.notify_all();
    for (std::thread& worker : workers) {
        worker.join();
    }
    workers.clear();
    stopping.store(false);
}

void CandidateStream::Start(PackedState seeded, std::uint32_t hitThreshold) {
    StopWorkers();
    threshold = hitThreshold;
    chunk = -1;
    chunkBase = 0;
    chunkEnd = 0;
    released.store(0);
    for (std::size_t s = 0; s < ringSlots; ++s) {
        ready[s].store(-1);
    }
    // Maker m starts at chunk m; its lane j rows x j draws into that chunk, its bits at bit j
    // of each slot.
    const auto words = static_cast<std::size_t>(kernel.words);
    for (int m = 0; m < threads; ++m) {
        std::uint64_t* slots = makers[static_cast<std::size_t>(m)].slots.front().words;
        std::fill(slots, slots + kStateBits * words, std::uint64_t{0});
        PackedState state =
            JumpAhead::Instance().Advance(seeded, static_cast<std::uint64_t>(m) * chunkDraws);
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
}

void CandidateStream::Make(Maker& maker, std::uint64_t* out) {
    std::uint64_t* slots = maker.slots.front().words;
    std::uint64_t* masks = maker.masks.front().words;
    const int words = kernel.words;
    kernel.runRows(slots, rows, threshold, masks);

    // The masks hold a bit per lane for each row; each lane needs a bit per row. Sparse masks
    // (P0 below 1/256) move bit by bit; denser ones by 64x64 transposes, skipping empty blocks.
    const int rowBlocks = rows / 64;
    if (threshold <= (std::uint32_t{1} << 23)) {
        std::fill(out, out + bitmapWords, std::uint64_t{0});
        for (int row = 0; row < rows; ++row) {
            const std::uint64_t rowBit = std::uint64_t{1} << (row % 64);
            std::uint64_t* column = out + row / 64;
            for (int group = 0; group < words; ++group) {
                for (std::uint64_t bits = masks[row * words + group]; bits != 0; bits &= bits - 1) {
                    const int lane = group * 64 + std::countr_zero(bits);
                    column[lane * rowBlocks] |= rowBit;
                }
            }
        }
    } else {
        kernel.lanesFromRows(masks, rows, words, out);
    }
    kernel.applyMap(slots, makerJump.data(), static_cast<int>(makerJump.size() / 2));
}

void CandidateStream::Work(int m) {
    Maker& maker = makers[static_cast<std::size_t>(m)];
    const auto slots = static_cast<std::int64_t>(ringSlots);
    for (std::int64_t c = m;; c += threads) {
        // Wait until the walk has left the chunk this slot held.
        for (std::int64_t free = released.load(); c - slots >= free && !stopping.load();
             free = released.load()) {
            released.wait(free);
        }
        if (stopping.load()) {
            return;
        }
        const auto slot = static_cast<std::size_t>(c % slots);
        Make(maker, ring.data() + slot * bitmapWords);
        ready[slot].store(c);
        ready[slot].notify_all();
    }
}

void CandidateStream::NextChunk() {
    ++chunk;
    // The walk is past every earlier chunk; their slots may be made again.
    released.store(chunk);
    released.notify_all();
    const auto slot = static_cast<std::size_t>(chunk % static_cast<std::int64_t>(ringSlots));
    std::uint64_t* out = ring.data() + slot * bitmapWords;
    if (chunk % threads == 0) {
        Make(makers.front(), out);
    } else {
        if (workers.empty()) {
            // The other makers start with the first chunk that needs them.
            for (int m = 1; m < threads; ++m) {
                workers.emplace_back([this, m] { Work(m); });
            }
        }
        for (std::int64_t held = ready[slot].load(); held != chunk; held = ready[slot].load()) {
            ready[slot].wait(held);
        }
    }
    bitmap = out;
    chunkBase = static_cast<std::uint64_t>(chunk) * chunkDraws;
    chunkEnd = chunkBase + chunkDraws;
}

}  // namespace rs
