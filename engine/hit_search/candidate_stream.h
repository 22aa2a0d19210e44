#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "base/contract.h"
#include "engine/hit_search/candidate_bitmap.h"
#include "engine/hit_search/chunk_maker.h"
#include "engine/kernel/draw_kernels.h"
#include "base/thread_annotations.h"
#include "random/jump_ahead.h"

namespace rs {

// The draws of one point that are below the hit threshold, in stream order, produced a chunk
// at a time by the bit-sliced kernel. Lane j of a chunk draws the j-th stretch of `rows`
// consecutive draws, so each lane's candidates are in order and the lanes in turn give the
// chunk's candidates in order.
//
// A chunk's candidates depend on the seed and the threshold alone, so with several threads
// each one makes every threads-th chunk, its lanes jumping over the other threads' chunks by
// one fixed linear map, while the caller walks them in order: the candidates are the same for
// any number of threads. The calling thread makes its own share when it needs it; at most two
// chunks a thread are made ahead of the walk.
class CandidateStream {
  public:
    // Draws per chunk unless the rows per lane are given: a multiple of 64 rows for every
    // level's lane count.
    static constexpr std::uint64_t kDefaultChunkDraws = ChunkMaker::kDefaultChunkDraws;

    // rowsPerLane: a multiple of 64; 0 for kDefaultChunkDraws a chunk.
    explicit CandidateStream(const DrawKernel& kernel, int threads = 1, int rowsPerLane = 0);
    ~CandidateStream();
    CandidateStream(const CandidateStream&) = delete;
    CandidateStream& operator=(const CandidateStream&) = delete;

    // Restarts at draw 0 of the stream seeded by state, for draws below threshold.
    void Start(PackedState seeded, std::uint32_t threshold);

    std::uint64_t ChunkDraws() const { return chunkDraws; }

    // The candidate bits of draws 64 w .. 64 w + 63. Calls must not lower w.
    std::uint64_t Word(std::uint64_t w) {
        RecordWord(w);
        if (threshold == 0) {
            return 0;
        }
        if (threshold > kValueMask) {
            return ~std::uint64_t{0};
        }
        while (64 * w >= chunkEnd) {
            NextChunk();
        }
        return bitmap[w - chunkBase / 64];
    }

    // The candidate bits of draws 64 w .. 64 w + 127, as Word(w) and Word(w + 1), for a
    // threshold that draws (0 < threshold <= kValueMask). Each call's w is at least the last
    // one's: the last word of a chunk stays readable after the next chunk is made.
    struct WordPair {
        std::uint64_t low;
        std::uint64_t high;
    };
    WordPair Pair(std::uint64_t w) {
        RS_ASSERT(threshold != 0 && threshold <= kValueMask, "Pair needs a threshold that draws");
        RecordWord(w);
        while (64 * (w + 1) >= chunkEnd) {
            previousLast = chunkEnd == 0 ? 0 : bitmap[bitmapWords - 1];
            NextChunk();
        }
        const std::uint64_t base = chunkBase / 64;
        return {w < base ? previousLast : bitmap[w - base], bitmap[w + 1 - base]};
    }

    std::uint32_t Threshold() const { return threshold; }

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
            // A from in an earlier chunk had nothing after it there.
            if (from < chunkEnd) {
                const std::uint64_t found = FirstCandidate(bitmap, bitmapWords, chunkBase,
                                                           std::max(from, chunkBase), limit);
                if (found < chunkEnd) {
                    return std::min(found, limit);
                }
            }
            if (limit <= chunkEnd) {
                return limit;
            }
            NextChunk();
        }
    }

  private:
    // Debug builds check that Word and Pair never lower w; release builds keep no record.
    void RecordWord([[maybe_unused]] std::uint64_t w) {
#ifndef NDEBUG
        RS_ASSERT(w >= lastWord, "calls of Word and Pair must not lower w");
        lastWord = w;
#endif
    }
    void NextChunk();
    void Work(int maker);
    void StopWorkers();

    const int threads;
    const std::uint64_t chunkDraws;
    const std::size_t bitmapWords;
    const std::size_t ringSlots;
    std::vector<ChunkMaker> makers;  // maker m makes chunks m, m + threads, ...
    // ringSlots bitmaps, chunk c in slot c % ringSlots: a slot's bitmap is its maker's until
    // `ready` names the chunk, then the walk's until `released` passes it.
    std::vector<std::uint64_t> ring;
    // Waits block on the condition variables: a thread that spun or yielded would lose its
    // core to any busy neighbour, and the walk with it.
    Mutex mutex;
    std::condition_variable chunkMade;
    std::condition_variable slotFreed;
    std::vector<std::int64_t> ready RS_GUARDED_BY(mutex);  // the chunk each slot holds
    std::int64_t released RS_GUARDED_BY(mutex) = 0;        // chunks below it may be overwritten
    bool stopping RS_GUARDED_BY(mutex) = false;
    std::vector<std::thread> workers;

    const std::uint64_t* bitmap = nullptr;
    std::int64_t chunk = -1;  // the chunk being walked
    std::uint64_t chunkBase = 0;
    std::uint64_t chunkEnd = 0;
    std::uint64_t previousLast = 0;  // the last word of the chunk before, for Pair
    std::uint32_t threshold = 0;
#ifndef NDEBUG
    std::uint64_t lastWord = 0;
#endif
};

}  // namespace rs
