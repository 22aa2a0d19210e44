#include "mpi/message_wait.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace rs {

MPI_Status WaitForMessage(int source, int tag) {
    MPI_Status status;
    auto pause = std::chrono::microseconds(20);
    for (;;) {
        int arrived = 0;
        MPI_Iprobe(source, tag, MPI_COMM_WORLD, &arrived, &status);
        if (arrived != 0) {
            return status;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(2 * pause, std::chrono::microseconds(1000));
    }
}

}  // namespace rs
