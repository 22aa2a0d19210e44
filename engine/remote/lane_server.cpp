#include <utility>

#include "engine/hit_search/chunk_maker.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel/segment_maker.h"
#include "engine/remote/segment_message.h"
#include "rs_sim/remote.h"

namespace rs_sim {

// A segment maker on this process's best draw kernel, and the segment it fills.
struct LaneServer::State {
    explicit State(const RemoteCode& code)
        : maker(rs::BestKernel(), rs::ChunkMaker::RowsFor(rs::BestKernel()), code.m, code.t,
                code.tabled, code.length) {}

    rs::SegmentMaker maker;
    rs::Segment segment;
};

LaneServer::LaneServer(const RemoteCode& code) : state(std::make_unique<State>(code)) {}
LaneServer::LaneServer(LaneServer&&) noexcept = default;
LaneServer& LaneServer::operator=(LaneServer&&) noexcept = default;
LaneServer::~LaneServer() = default;

std::optional<Words> LaneServer::Serve(const Words& words) {
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
