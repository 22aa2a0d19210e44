#include "mpi/remote_filler.h"

#include <mpi.h>

#include <cstdio>
#include <cstdlib>

#include "mpi/message_wait.h"
#include "mpi/rank_protocol.h"

namespace rs {

std::atomic<std::uint64_t> RemoteFiller::received{0};

RemoteFiller::RemoteFiller(int rank, int lane) : rank(rank), lane(lane) {}

RemoteFiller::~RemoteFiller() {
    MessageWords stop = PackStop();
    MPI_Send(stop.data(), static_cast<int>(stop.size()), MPI_UINT64_T, rank, kTaskTag + lane,
             MPI_COMM_WORLD);
}

bool RemoteFiller::Fill(const SegmentTask& task, Segment& segment,
                        const std::function<bool()>& abandoned) {
    MessageWords request = PackTask(task);
    MPI_Send(request.data(), static_cast<int>(request.size()), MPI_UINT64_T, rank, kTaskTag + lane,
             MPI_COMM_WORLD);
    MPI_Status status = WaitForMessage(rank, kSegmentTag + lane);
    int count = 0;
    MPI_Get_count(&status, MPI_UINT64_T, &count);
    words.resize(static_cast<std::size_t>(count));
    MPI_Recv(words.data(), count, MPI_UINT64_T, rank, kSegmentTag + lane, MPI_COMM_WORLD,
             MPI_STATUS_IGNORE);
    received += static_cast<std::uint64_t>(count) * sizeof(std::uint64_t);
    if (!UnpackSegment(task, words, segment)) {
        // Ranks run the same program; anything else is a broken installation.
        std::fprintf(stderr, "rs-sim-mpi: rank %d sent a malformed segment\n", rank);
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    return !abandoned();
}

std::vector<std::unique_ptr<SegmentFiller>> ConnectRanks(std::int32_t m, std::int32_t t,
                                                         std::int32_t length, bool tabled) {
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    std::vector<std::unique_ptr<SegmentFiller>> fillers;
    const int configure[kControlInts] = {kConfigure, m, t, tabled ? 1 : 0, length};
    for (int rank = 1; rank < size; ++rank) {
        MPI_Send(configure, kControlInts, MPI_INT, rank, kControlTag, MPI_COMM_WORLD);
    }
    for (int rank = 1; rank < size; ++rank) {
        int lanes = 0;
        WaitForMessage(rank, kControlTag);
        MPI_Recv(&lanes, 1, MPI_INT, rank, kControlTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        for (int lane = 0; lane < lanes; ++lane) {
            fillers.push_back(std::make_unique<RemoteFiller>(rank, lane));
        }
    }
    return fillers;
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
