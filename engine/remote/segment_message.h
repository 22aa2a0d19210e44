#pragma once

#include <cstdint>
#include <vector>

#include "engine/parallel/segment.h"

namespace rs {

// The words that carry segment work between processes. A task is five words; a made segment
// carries what the stitch needs of it: the candidate list when candidates are sparse, else the
// bitmap, and the speculated blocks.
using MessageWords = std::vector<std::uint64_t>;

MessageWords PackTask(const SegmentTask& task);
// A task that tells a lane to stop.
MessageWords PackStop();
// False for a stop.
bool UnpackTask(const MessageWords& words, SegmentTask& task);

void PackSegment(const SegmentTask& task, const Segment& segment, MessageWords& words);
// False when the words do not hold a segment of this task.
bool UnpackSegment(const SegmentTask& task, const MessageWords& words, Segment& segment);

}  // namespace rs
