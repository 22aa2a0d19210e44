#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/parallel/segment.h"
#include "mpi/segment_message.h"

namespace rs {

// On rank 0: one lane of another rank, making segments for the parallel engine there. Fill
// sends the task and waits for the made segment; a point left meanwhile waits for it too.
class RemoteFiller final : public SegmentFiller {
  public:
    RemoteFiller(int rank, int lane);
    // Tells the lane to stop.
    ~RemoteFiller() override;
    RemoteFiller(const RemoteFiller&) = delete;
    RemoteFiller& operator=(const RemoteFiller&) = delete;

    bool Fill(const SegmentTask& task, Segment& segment,
              const std::function<bool()>& abandoned) override;

    // Bytes of made segments received by every filler so far.
    static std::uint64_t BytesReceived() { return received.load(); }

  private:
    const int rank;
    const int lane;
    MessageWords words;
    static std::atomic<std::uint64_t> received;
};

// Configures every other rank for the code and returns a filler for each of their lanes.
std::vector<std::unique_ptr<SegmentFiller>> ConnectRanks(std::int32_t m, std::int32_t t,
                                                         std::int32_t length, bool tabled);
// Ends every other rank's service.
void StopRanks();

}  // namespace rs
