#pragma once

#include <memory>

#include "engine/engine_plan.h"
#include "engine/parallel/segment.h"
#include "rs_sim/remote.h"

namespace rs {

// A lane of another process, making segments for the parallel engine here. Fill sends the
// task and waits for the made segment; a point left meanwhile waits for it too.
class LaneFiller final : public SegmentFiller {
  public:
    explicit LaneFiller(std::unique_ptr<rs_sim::RemoteLane> lane) : lane(std::move(lane)) {}
    // Tells the lane to stop.
    ~LaneFiller() override;
    LaneFiller(const LaneFiller&) = delete;
    LaneFiller& operator=(const LaneFiller&) = delete;

    bool Fill(const SegmentTask& task, Segment& segment,
              const std::function<bool()>& abandoned) override;

  private:
    std::unique_ptr<rs_sim::RemoteLane> lane;
};

// The engines' segment makers elsewhere, from the lanes the program connects.
RemoteFillers FillersOf(std::shared_ptr<const rs_sim::RemoteWorkers> workers);

}  // namespace rs
