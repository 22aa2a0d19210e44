#pragma once

#include <cstdint>
#include <vector>

#include "engine/channel/codeword_outcome.h"
#include "engine/channel/frame_receiver.h"
#include "stats/channel_model.h"

namespace rs {

// Frames another process fills: count frames of a point, first, first + stride, and so on, of
// interleave codewords each, on the channel as the model states it.
struct FrameTask {
    ChannelModel model;
    FrameReceiver receiver;
    std::uint32_t seed = 0;
    std::uint32_t point = 0;
    std::int32_t interleave = 1;
    std::uint64_t first = 0;
    std::uint64_t stride = 1;
    std::uint64_t count = 0;
};

using FrameWords = std::vector<std::uint64_t>;

// A frame task is sixteen words, led by a mark no segment task has.
FrameWords PackFrameTask(const FrameTask& task);
// False unless the words are a frame task.
bool UnpackFrameTask(const FrameWords& words, FrameTask& task);

// The codewords' outcomes of a task's frames in order, four words a codeword.
void PackOutcomes(const CodewordOutcome* outcomes, std::size_t codewords, FrameWords& words);
// Writes the task's frames' outcomes into a batch whose frame f (of the task's point, counted
// from batchFirst) starts at batch + (f - batchFirst) x interleave. False when the words do not
// hold the task's codewords.
bool UnpackOutcomes(const FrameTask& task, const FrameWords& words, std::uint64_t batchFirst,
                    CodewordOutcome* batch);

}  // namespace rs
