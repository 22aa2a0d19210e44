#include "mpi/segment_service.h"

#include <mpi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mpi/message_wait.h"
#include "mpi/rank_protocol.h"
#include "rs_sim/remote.h"

namespace rs {

namespace {

// Test hook for the fault path: RS_SIM_MPI_FAULT=R:S makes rank R exit abruptly, as a crashed
// process would, once it has made S segments.
long SegmentsBeforeFault(int rank) {
    const char* fault = std::getenv("RS_SIM_MPI_FAULT");
    if (fault == nullptr) {
        return -1;
    }
    const std::string text = fault;
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || std::stoi(text.substr(0, colon)) != rank) {
        return -1;
    }
    return std::stol(text.substr(colon + 1));
}

void ServeLane(int lane, rs_sim::RemoteCode code, long faultAfter) {
    rs_sim::LaneServer server(code);
    static std::atomic<long> made{0};
    for (;;) {
        MPI_Status status = WaitForMessage(0, kTaskTag + lane);
        int count = 0;
        MPI_Get_count(&status, MPI_UINT64_T, &count);
        rs_sim::Words task(static_cast<std::size_t>(count));
        MPI_Recv(task.data(), count, MPI_UINT64_T, 0, kTaskTag + lane, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        const std::optional<rs_sim::Words> reply = server.Serve(task);
        if (!reply) {
            return;
        }
        if (faultAfter >= 0 && ++made > faultAfter) {
            std::_Exit(3);
        }
        MPI_Send(reply->data(), static_cast<int>(reply->size()), MPI_UINT64_T, 0,
                 kSegmentTag + lane, MPI_COMM_WORLD);
    }
}

}  // namespace

int ServeSegments(int threads) {
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    const long faultAfter = SegmentsBeforeFault(rank);
    const int lanes = std::clamp(threads, 1, kMostLanes);
    for (;;) {
        int control[kControlInts] = {};
        WaitForMessage(0, kControlTag);
        MPI_Recv(control, kControlInts, MPI_INT, 0, kControlTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        if (control[0] != kConfigure) {
            return 0;
        }
        MPI_Send(&lanes, 1, MPI_INT, 0, kControlTag, MPI_COMM_WORLD);
        std::vector<std::thread> serving;
        serving.reserve(static_cast<std::size_t>(lanes));
        for (int lane = 0; lane < lanes; ++lane) {
            const rs_sim::RemoteCode code{
                .m = control[1], .t = control[2], .length = control[4], .tabled = control[3] != 0};
            serving.emplace_back(ServeLane, lane, code, faultAfter);
        }
        // Rank 0 stops every lane when its engine ends.
        for (std::thread& lane : serving) {
            lane.join();
        }
    }
}

}  // namespace rs
