#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/channel/frame_engine.h"
#include "engine/hit_search/chunk_maker.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel/segment_maker.h"
#include "engine/remote/frame_message.h"
#include "engine/remote/segment_message.h"
#include "rs_sim/remote.h"

namespace rs_sim {

// A segment maker on this process's best draw kernel, and the segment it fills.
struct LaneServer::State {
    explicit State(const RemoteCode& code)
        : code(code),
          maker(rs::BestKernel(), rs::ChunkMaker::RowsFor(rs::BestKernel()), code.m, code.t,
                code.tabled, code.length) {}

    // The frame filler for interleave codewords a frame, made when a frame task first asks.
    rs::FastFrames& FramesFor(std::int32_t interleave) {
        if (!frames || interleave != framesInterleave) {
            frames = std::make_unique<rs::FastFrames>(
                rs::FastFrames::Make(code.m, code.t, code.length, code.tabled, interleave));
            framesInterleave = interleave;
        }
        return *frames;
    }

    const RemoteCode code;
    rs::SegmentMaker maker;
    rs::Segment segment;
    std::unique_ptr<rs::FastFrames> frames;
    std::int32_t framesInterleave = 0;
    std::vector<rs::CodewordOutcome> outcomes;
};

LaneServer::LaneServer(const RemoteCode& code) : state(std::make_unique<State>(code)) {}
LaneServer::LaneServer(LaneServer&&) noexcept = default;
LaneServer& LaneServer::operator=(LaneServer&&) noexcept = default;
LaneServer::~LaneServer() = default;

std::optional<Words> LaneServer::Serve(const Words& words) {
    rs::FrameTask frameTask;
    if (rs::UnpackFrameTask(words, frameTask)) {
        rs::FastFrames& frames = state->FramesFor(frameTask.interleave);
        const auto size = static_cast<std::size_t>(frameTask.interleave);
        state->outcomes.resize(frameTask.count * size);
        for (std::uint64_t j = 0; j < frameTask.count; ++j) {
            frames.Fill(frameTask.model, frameTask.receiver, frameTask.seed, frameTask.point,
                        frameTask.first + j * frameTask.stride, state->outcomes.data() + j * size);
        }
        Words reply;
        rs::PackOutcomes(state->outcomes.data(), state->outcomes.size(), reply);
        return reply;
    }
    rs::SegmentTask task;
    if (!rs::UnpackTask(words, task)) {
        return std::nullopt;
    }
    state->maker.Fill(task, state->segment, [] { return false; });
    Words reply;
    rs::PackSegment(task, state->segment, reply);
    return reply;
}

}  // namespace rs_sim
