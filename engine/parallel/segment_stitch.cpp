#include "engine/parallel/segment_stitch.h"

#include <algorithm>

#include "base/contract.h"
#include "engine/kernel/popcount_dispatch.h"

namespace rs {

SegmentStitch::SegmentStitch(std::unique_ptr<BlockCounter> blockCounter, SegmentScheduler& segments)
    : counter(std::move(blockCounter)),
      scheduler(segments),
      longestBlock(counter->LongestBlock()),
      candidates(segments) {}

void SegmentStitch::Start(PackedState seeded, std::uint32_t threshold) {
    counter->Restart(seeded);
    candidates.Start(threshold);
    listing = threshold <= kListedThreshold;
    blockStart = 0;
    segment = -1;
    made = nullptr;
}

void SegmentStitch::EnterSegment() {
    if (made != nullptr && blockStart < made->task.end) {
        return;
    }
    // A full segment whose blocks never met the speculated ones: at this P0 the walks do not
    // merge, and speculating only costs the workers time.
    if (made != nullptr && made->task.speculated && !mergedHere &&
        made->task.end - made->task.base == scheduler.Sizes().largest * scheduler.ChunkDraws()) {
        scheduler.StopSpeculating();
    }
    // Blocks may pass over whole segments; the walk has read them already.
    do {
        const std::uint64_t reached = made != nullptr ? made->task.end : 0;
        ++segment;
        scheduler.Release(segment, reached);
        made = &scheduler.WaitFor(segment);
    } while (made->task.end <= blockStart);
    RS_ASSERT(made->task.base <= blockStart, "segments follow one another without gaps");
    specNext = 0;
    decodedNext = 0;
    candidateNext = 0;
    merged = false;
    mergedHere = false;
    candidates.ShowAtLeast(segment);
}

void SegmentStitch::RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) {
    RunWithBestPopcount([&] {
        while (statistics.blocks < blockLimit) {
            EnterSegment();
            if (listing) {
                if (StitchListed(statistics, blockLimit)) {
                    return;
                }
                if (statistics.blocks == blockLimit) {
                    return;
                }
                // The block at blockStart may reach past the segment's end.
            } else if (!merged) {
                const std::vector<std::uint32_t>& starts = made->segment.starts;
                const std::uint64_t offset = blockStart - made->task.base;
                while (specNext < starts.size() && starts[specNext] < offset) {
                    ++specNext;
                }
                merged = specNext < starts.size() && starts[specNext] == offset;
                mergedHere = mergedHere || merged;
            }
            if (merged) {
                if (TakeSpeculated(statistics, blockLimit)) {
                    return;
                }
            } else if (WalkBlock(statistics)) {
                return;
            }
        }
    });
}

bool SegmentStitch::WalkBlock(PointStatistics& statistics) {
    ++stitched.walked;
    const bool wrong = AddBlock(statistics, counter->Walk(candidates, blockStart));
    stitched.widestBlock = std::max(stitched.widestBlock, candidates.Shown() - segment + 1);
    return wrong;
}

bool SegmentStitch::StitchListed(PointStatistics& statistics, std::int64_t blockLimit) {
    const MadeSegment& slot = *made;
    RS_ASSERT(slot.task.base <= blockStart, "the stitch lists blocks of the segment it is in");
    const std::uint32_t* listed = slot.segment.candidates.data();
    const std::size_t size = slot.segment.candidates.size();
    const auto k = static_cast<std::uint64_t>(counter->K());
    const auto n = static_cast<std::uint64_t>(counter->N());
    std::size_t at = candidateNext;
    bool wrong = false;
    // Only blocks that surely end inside the segment, whose list holds all their candidates;
    // a segment may be shorter than one block.
    while (statistics.blocks < blockLimit && blockStart + longestBlock <= slot.task.end) {
        const std::uint64_t positions = blockStart + k;
        while (at < size && slot.task.base + listed[at] < positions) {
            ++at;  // an information draw
        }
        if (at == size || slot.task.base + listed[at] >= positions + n) {
            // No candidate among the positions: no hit, and k + n draws.
            ++statistics.blocks;
            ++stitched.skipped;
            blockStart = positions + n;
            continue;
        }
        ++stitched.walked;
        if (AddBlock(statistics, counter->WalkList(listed, size, at, slot.task.base, blockStart))) {
            wrong = true;
            break;
        }
    }
    candidateNext = at;
    return wrong;
}

bool SegmentStitch::TakeSpeculated(PointStatistics& statistics, std::int64_t blockLimit) {
    const Segment& record = made->segment;
    RS_ASSERT(record.exit <= made->task.end,
              "the speculated walk takes only blocks that end inside the segment");
    const std::size_t count = record.starts.size();
    const std::size_t stop =
        std::min(count, specNext + static_cast<std::size_t>(blockLimit - statistics.blocks));
    while (decodedNext < record.decoded.size() && record.decoded[decodedNext].index < specNext) {
        ++decodedNext;
    }
    std::size_t next = specNext;
    const std::int64_t before = statistics.blocks;
    bool wrong = false;
    while (next < stop) {
        const std::size_t upto = std::min<std::size_t>(
            stop, decodedNext < record.decoded.size() ? record.decoded[decodedNext].index : count);
        std::int64_t hits = 0;
        for (std::size_t i = next; i < upto; ++i) {
            hits += record.hits[i];
        }
        statistics.channelErrors += hits;
        statistics.blocks += static_cast<std::int64_t>(upto - next);
        next = upto;
        if (next == stop) {
            break;
        }
        wrong = AddBlock(statistics, record.decoded[decodedNext++].outcome);
        ++next;
        if (wrong) {
            break;
        }
    }
    specNext = next;
    stitched.taken += statistics.blocks - before;
    if (next < count) {
        blockStart = made->task.base + record.starts[next];
    } else {
        blockStart = record.exit;
        merged = false;
    }
    return wrong;
}

}  // namespace rs
