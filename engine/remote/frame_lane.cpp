#include "engine/remote/frame_lane.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/engine_plan.h"
#include "engine/remote/segment_message.h"

namespace rs {

FrameLane::~FrameLane() {
    lane->Send(PackStop());
}

void FrameLane::Fill(const FrameTask& task, std::uint64_t batchFirst, CodewordOutcome* batch) {
    lane->Send(PackFrameTask(task));
    if (!UnpackOutcomes(task, lane->Receive(), batchFirst, batch)) {
        lane->Fail("a lane sent malformed frames");
    }
}

RemoteFrameLanes FrameLanesOf(std::shared_ptr<const rs_sim::RemoteWorkers> workers) {
    if (!workers || !workers->connect) {
        return {};
    }
    return [workers = std::move(workers)](std::int32_t m, std::int32_t t, std::int32_t length,
                                          bool tabled) {
        std::vector<std::unique_ptr<FrameLane>> lanes;
        for (std::unique_ptr<rs_sim::RemoteLane>& lane :
             workers->connect({.m = m, .t = t, .length = length, .tabled = tabled})) {
            lanes.push_back(std::make_unique<FrameLane>(std::move(lane)));
        }
        return lanes;
    };
}

}  // namespace rs
