#include "engine/parallel/segment_maker.h"

#include "base/contract.h"
#include "engine/kernel/popcount_dispatch.h"

namespace rs {

namespace {

// The candidates of one segment, for a walk that stays inside it.
struct SegmentCandidates {
    const std::uint64_t* bitmap;
    std::uint64_t firstWord;
    std::uint32_t threshold;

    std::uint64_t Word(std::uint64_t w) const {
        if (threshold == 0) {
            return 0;  // nothing ever hits
        }
        if (threshold > kValueMask) {
            return ~std::uint64_t{0};  // everything hits
        }
        return bitmap[w - firstWord];
    }
};

}  // namespace

SegmentMaker::SegmentMaker(const DrawKernel& kernel, int rows, std::int32_t m, std::int32_t t,
                           bool tabled, std::int32_t length)
    : maker(kernel, rows, 1) {
    if (tabled) {
        codec = std::make_unique<ReedSolomonCodec>();
        codec->Configure(m, t);
        counter = std::make_unique<BlockCounter>(*codec, m, kernel, length);
    } else {
        counter = std::make_unique<BlockCounter>(m, t, length);
    }
    longestBlock = counter->LongestBlock();
}

bool SegmentMaker::Fill(const SegmentTask& task, Segment& segment,
                        const std::function<bool()>& abandoned) {
    SegmentTask whole = task;
    return Make(whole, segment, abandoned, nullptr);
}

bool SegmentMaker::FillUntilCut(SegmentTask& task, Segment& segment,
                                const std::function<bool()>& abandoned,
                                const std::function<bool()>& cut) {
    return Make(task, segment, abandoned, &cut);
}

bool SegmentMaker::Make(SegmentTask& task, Segment& segment, const std::function<bool()>& abandoned,
                        const std::function<bool()>* cut) {
    // Each chunk fills its share of the bitmap, which the walk reads from the segment's first
    // word; only a bitmap can be walked.
    RS_ASSERT(task.base % 64 == 0 && task.end > task.base &&
                  (task.end - task.base) % maker.ChunkDraws() == 0,
              "a segment is whole chunks from a word's first draw");
    RS_ASSERT(!task.speculated || task.threshold > kListedThreshold,
              "only a segment with a bitmap is walked ahead");
    if (seededFor != task.seeded) {
        counter->Restart(task.seeded);
        seededFor = task.seeded;
    }
    const auto words = static_cast<std::size_t>((task.end - task.base) / 64);
    const std::uint32_t threshold = task.threshold;
    // Sparse candidates are only listed; dense ones only go in the bitmap.
    const bool listed = threshold <= kListedThreshold;
    const bool drawn = threshold != 0 && threshold <= kValueMask;
    segment.bitmap.resize(listed ? 0 : words);
    segment.candidates.clear();
    segment.starts.clear();
    segment.hits.clear();
    segment.decoded.clear();
    segment.exit = task.base;
    if (drawn) {
        maker.Seat(JumpAhead::Instance().Advance(task.seeded, task.base));
    }
    // The speculated walk follows the making chunk by chunk, so that it reads each chunk's
    // bitmap while the cache still holds it.
    SegmentCandidates candidates{segment.bitmap.data(), task.base / 64, threshold};
    std::uint64_t start = task.base;
    const std::size_t chunkWords = maker.BitmapWords();
    bool finished = true;
    RunWithBestPopcount([&] {
        for (std::size_t at = 0; at < words; at += chunkWords) {
            if (abandoned()) {
                finished = false;
                return;
            }
            if (at != 0 && cut != nullptr && (*cut)()) {
                // The segment ends with the chunks made so far.
                task.end = task.base + 64 * at;
                if (!listed) {
                    segment.bitmap.resize(at);
                }
                return;
            }
            if (!drawn) {
                // Nothing to make: every draw misses, or every one hits.
            } else if (listed) {
                maker.MakeList(threshold, static_cast<std::uint32_t>(64 * at), segment.candidates);
            } else {
                maker.Make(threshold, segment.bitmap.data() + at);
            }
            if (!task.speculated) {
                continue;
            }
            // Blocks that cannot reach past what is made, nor past the segment's end.
            const std::uint64_t made = task.base + 64 * std::min(words, at + chunkWords);
            while (made - start >= longestBlock) {
                const auto offset = static_cast<std::uint32_t>(start - task.base);
                const BlockOutcome block = counter->Walk(candidates, start);
                if (block.errorSymbols != 0 || block.failure) {
                    segment.decoded.push_back(
                        {static_cast<std::uint32_t>(segment.starts.size()), block});
                }
                segment.starts.push_back(offset);
                segment.hits.push_back(static_cast<std::uint32_t>(block.hits));
            }
        }
    });
    if (!finished) {
        return false;
    }
    if (task.speculated) {
        segment.exit = start;
    }
    return true;
}

}  // namespace rs
