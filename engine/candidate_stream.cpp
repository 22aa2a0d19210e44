#include "engine/candidate_stream.h"

#include <algorithm>
#include <limits>

namespace rs {

CandidateStream::CandidateStream(const DrawKernel& kernel, int threadCount, int rowsPerLane)
    : threads(std::max(threadCount, 1)),
      chunkDraws(static_cast<std::uint64_t>(64 * kernel.words) *
                 static_cast<std::uint64_t>(ChunkMaker::RowsFor(kernel, rowsPerLane))),
      bitmapWords(static_cast<std::size_t>(chunkDraws / 64)),
      ringSlots(2 * static_cast<std::size_t>(threads)),
      ready(std::make_unique<std::atomic<std::int64_t>[]>(ringSlots)) {
    makers.reserve(static_cast<std::size_t>(threads));
    for (int m = 0; m < threads; ++m) {
        makers.emplace_back(kernel, ChunkMaker::RowsFor(kernel, rowsPerLane),
                            static_cast<std::uint64_t>(threads));
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
    for (int m = 0; m < threads; ++m) {
        makers[static_cast<std::size_t>(m)].Seat(
            JumpAhead::Instance().Advance(seeded, static_cast<std::uint64_t>(m) * chunkDraws));
    }
}

void CandidateStream::Work(int m) {
    ChunkMaker& maker = makers[static_cast<std::size_t>(m)];
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
        maker.Make(threshold, ring.data() + slot * bitmapWords);
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
        makers.front().Make(threshold, out);
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
