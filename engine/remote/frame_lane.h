#pragma once

#include <memory>

#include "engine/channel/codeword_outcome.h"
#include "engine/engine_plan.h"
#include "engine/remote/frame_message.h"
#include "rs_sim/remote.h"

namespace rs {

// A lane of another process, filling frames for a frame engine here. Fill sends the task and
// waits for the frames' outcomes.
class FrameLane {
  public:
    explicit FrameLane(std::unique_ptr<rs_sim::RemoteLane> lane) : lane(std::move(lane)) {}
    // Tells the lane to stop.
    ~FrameLane();
    FrameLane(const FrameLane&) = delete;
    FrameLane& operator=(const FrameLane&) = delete;

    // Fills the task's frames into the batch that starts at frame batchFirst.
    void Fill(const FrameTask& task, std::uint64_t batchFirst, CodewordOutcome* batch);

  private:
    std::unique_ptr<rs_sim::RemoteLane> lane;
};

// The frame engines' fillers elsewhere, from the lanes the program connects.
RemoteFrameLanes FrameLanesOf(std::shared_ptr<const rs_sim::RemoteWorkers> workers);

}  // namespace rs
