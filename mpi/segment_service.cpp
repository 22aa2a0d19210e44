#include "mpi/segment_service.h"

#include <mpi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/hit_search/chunk_maker.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel/segment_maker.h"
#include "mpi/message_wait.h"
#include "mpi/rank_protocol.h"
#include "mpi/segment_message.h"

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

void ServeLane(int lane, std::int32_t m, std::int32_t t, bool tabled, std::int32_t length,
               long faultAfter) {
    const DrawKernel& kernel = BestKernel();
    const int rows = ChunkMaker::RowsFor(kernel);
    SegmentMaker maker(kernel, rows, m, t, tabled, length);
    Segment segment;
    MessageWords words(5);
    static std::atomic<long> made{0};
    for (;;) {
        WaitForMessage(0, kTaskTag + lane);
        MPI_Recv(words.data(), 5, MPI_UINT64_T, 0, kTaskTag + lane, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        SegmentTask task;
        if (!UnpackTask(words, task)) {
            return;
        }
        maker.Fill(task, segment, [] { return false; });
        if (faultAfter >= 0 && ++made > faultAfter) {
            std::_Exit(3);
        }
        MessageWords reply;
        PackSegment(task, segment, reply);
        MPI_Send(reply.data(), static_cast<int>(reply.size()), MPI_UINT64_T, 0, kSegmentTag + lane,
                 MPI_COMM_WORLD);
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
            serving.emplace_back(ServeLane, lane, control[1], control[2], control[3] != 0,
                                 control[4], faultAfter);
        }
        // Rank 0 stops every lane when its engine ends.
        for (std::thread& lane : serving) {
            lane.join();
        }
    }
}

}  // namespace rs
