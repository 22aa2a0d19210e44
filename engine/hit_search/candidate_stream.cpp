#include "engine/hit_search/candidate_stream.h"

#include <algorithm>

namespace rs {

CandidateStream::CandidateStream(const DrawKernel& kernel, int threadCount, int rowsPerLane)
    : threads(std::max(threadCount, 1)),
      chunkDraws(static_cast<std::uint64_t>(64 * kernel.words) *
                 static_cast<std::uint64_t>(ChunkMaker::RowsFor(kernel, rowsPerLane))),
      bitmapWords(static_cast<std::size_t>(chunkDraws / 64)),
      ringSlots(2 * static_cast<std::size_t>(threads)),
      ready(ringSlots, -1) {
    RS_ASSERT(rowsPerLane >= 0 && rowsPerLane % 64 == 0, "rows a lane come in 64s");
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
    {
        const MutexLock lock(mutex);
        stopping = true;
    }
    slotFreed.notify_all();
    for (std::thread& worker : workers) {
        worker.join();
    }
    workers.clear();
    const MutexLock lock(mutex);
    stopping = false;
}

void CandidateStream::Start(PackedState seeded, std::uint32_t hitThreshold) {
    StopWorkers();
    threshold = hitThreshold;
    chunk = -1;
    chunkBase = 0;
    chunkEnd = 0;
#ifndef NDEBUG
    lastWord = 0;
#endif
    {
        const MutexLock lock(mutex);
        released = 0;
        std::fill(ready.begin(), ready.end(), -1);
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
        {
            // Wait until the walk has left the chunk this slot held.
            MutexLock lock(mutex);
            while (c - slots >= released && !stopping) {
                mutex.Await(slotFreed);
            }
            if (stopping) {
                return;
            }
        }
        const auto slot = static_cast<std::size_t>(c % slots);
        maker.Make(threshold, ring.data() + slot * bitmapWords);
        {
            const MutexLock lock(mutex);
            ready[slot] = c;
        }
        chunkMade.notify_all();
    }
}

void CandidateStream::NextChunk() {
    ++chunk;
    // The walk is past every earlier chunk; their slots may be made again.
    {
        const MutexLock lock(mutex);
        released = chunk;
    }
    slotFreed.notify_all();
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
        MutexLock lock(mutex);
        while (ready[slot] != chunk) {
            mutex.Await(chunkMade);
        }
    }
    bitmap = out;
    chunkBase = static_cast<std::uint64_t>(chunk) * chunkDraws;
    chunkEnd = chunkBase + chunkDraws;
}

}  // namespace rs
