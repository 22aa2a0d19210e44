#pragma once

#include <cstdint>
#include <span>

#include "base/contract.h"
#include "engine/parallel/segment_scheduler.h"
#include "random/jump_ahead.h"

namespace rs {

// The candidate bits of a point's segments in order, as one stream for the stitch's walks:
// from each segment's bitmap, or from its candidate list where candidates are sparse. A walk
// may read across any number of segments; the source keeps every segment from the stitch's
// on, which is the earliest shown. Source::WaitFor(s) gives segment s, made.
template <typename Source>
class StitchCandidates {
  public:
    explicit StitchCandidates(Source& source) : source(source) {}

    void Start(std::uint32_t pointThreshold) {
        threshold = pointThreshold;
        listing = pointThreshold <= kListedThreshold;
        segment = -1;
        end = 0;
    }
    // The walk reads on from segment s at least.
    void ShowAtLeast(std::int64_t s) {
        if (segment < s) {
            Show(s, source.WaitFor(s));
        }
    }
    std::int64_t Shown() const { return segment; }

    // The candidate bits of draws 64 w .. 64 w + 63; w never decreases from call to call.
    std::uint64_t Word(std::uint64_t w) {
        if (threshold == 0) {
            return 0;
        }
        if (threshold > kValueMask) {
            return ~std::uint64_t{0};
        }
        while (64 * w >= end) {
            Show(segment + 1, source.WaitFor(segment + 1));
        }
        RS_ASSERT(w >= firstWord, "a walk never reads back into a segment it has left");
        if (!listing) {
            return bitmap[w - firstWord];
        }
        // Sparse segments have only their candidate list, read in order.
        const std::uint64_t low = 64 * (w - firstWord);
        while (next < list.size() && list[next] < low) {
            ++next;
        }
        std::uint64_t bits = 0;
        for (std::size_t i = next; i < list.size() && list[i] < low + 64; ++i) {
            bits |= std::uint64_t{1} << (list[i] - low);
        }
        return bits;
    }

  private:
    void Show(std::int64_t s, const MadeSegment& made) {
        RS_ASSERT(made.task.base % 64 == 0 && (segment < 0 || made.task.base == end),
                  "segments follow one another, each of whole words");
        segment = s;
        bitmap = made.segment.bitmap.data();
        firstWord = made.task.base / 64;
        end = made.task.end;
        list = made.segment.candidates;
        next = 0;
    }

    Source& source;
    std::uint32_t threshold = 0;
    bool listing = false;
    std::int64_t segment = -1;
    const std::uint64_t* bitmap = nullptr;
    std::uint64_t firstWord = 0;
    std::uint64_t end = 0;
    std::span<const std::uint32_t> list;
    std::size_t next = 0;  // the list's first candidate not before the last word read
};

}  // namespace rs
