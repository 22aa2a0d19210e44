#include "mpi/rank_lanes.h"

#include <mpi.h>

#include <cstdio>
#include <string>

#include "mpi/message_wait.h"
#include "mpi/rank_protocol.h"

namespace rs {

namespace {

// One lane of another rank: tasks out on its task tag, segments back on its segment tag.
class RankLane final : public rs_sim::RemoteLane {
  public:
    RankLane(int rank, int lane) : rank(rank), lane(lane) {}

    void Send(const rs_sim::Words& words) override {
        MPI_Send(words.data(), static_cast<int>(words.size()), MPI_UINT64_T, rank, kTaskTag + lane,
                 MPI_COMM_WORLD);
    }
    rs_sim::Words Receive() override {
        MPI_Status status = WaitForMessage(rank, kSegmentTag + lane);
        int count = 0;
        MPI_Get_count(&status, MPI_UINT64_T, &count);
        rs_sim::Words words(static_cast<std::size_t>(count));
        MPI_Recv(words.data(), count, MPI_UINT64_T, rank, kSegmentTag + lane, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        return words;
    }
    [[noreturn]] void Fail(const std::string& why) override {
        // Ranks run the same program; anything else is a broken installation.
        std::fprintf(stderr, "rs-sim-mpi: rank %d: %s\n", rank, why.c_str());
        MPI_Abort(MPI_COMM_WORLD, 1);
        std::abort();  // MPI_Abort does not return; the compiler is not told so
    }

  private:
    const int rank;
    const int lane;
};

}  // namespace

std::vector<std::unique_ptr<rs_sim::RemoteLane>> ConnectRanks(const rs_sim::RemoteCode& code) {
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    std::vector<std::unique_ptr<rs_sim::RemoteLane>> lanes;
    const int configure[kControlInts] = {kConfigure, code.m, code.t, code.tabled ? 1 : 0,
                                         code.length};
    for (int rank = 1; rank < size; ++rank) {
        MPI_Send(configure, kControlInts, MPI_INT, rank, kControlTag, MPI_COMM_WORLD);
    }
    for (int rank = 1; rank < size; ++rank) {
        int count = 0;
        WaitForMessage(rank, kControlTag);
        MPI_Recv(&count, 1, MPI_INT, rank, kControlTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        for (int lane = 0; lane < count; ++lane) {
            lanes.push_back(std::make_unique<RankLane>(rank, lane));
        }
    }
    return lanes;
}

void StopRanks() {
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    const int stop[kControlInts] = {kStop, 0, 0, 0, 0};
    for (int rank = 1; rank < size; ++rank) {
        MPI_Send(stop, kControlInts, MPI_INT, rank, kControlTag, MPI_COMM_WORLD);
    }
}

}  // namespace rs
