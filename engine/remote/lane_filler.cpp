#include "engine/remote/lane_filler.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/remote/segment_message.h"

namespace rs {

LaneFiller::~LaneFiller() {
    lane->Send(PackStop());
}

bool LaneFiller::Fill(const SegmentTask& task, Segment& segment,
                      const std::function<bool()>& abandoned) {
    lane->Send(PackTask(task));
    if (!UnpackSegment(task, lane->Receive(), segment)) {
        lane->Fail("a lane sent a malformed segment");
    }
    return !abandoned();
}

RemoteFillers FillersOf(std::shared_ptr<const rs_sim::RemoteWorkers> workers) {
    if (!workers || !workers->connect) {
        return {};
    }
    return [workers = std::move(workers)](std::int32_t m, std::int32_t t, std::int32_t length,
                                          bool tabled) {
        std::vector<std::unique_ptr<SegmentFiller>> fillers;
        for (std::unique_ptr<rs_sim::RemoteLane>& lane :
             workers->connect({.m = m, .t = t, .length = length, .tabled = tabled})) {
            fillers.push_back(std::make_unique<LaneFiller>(std::move(lane)));
        }
        return fillers;
    };
}

}  // namespace rs
