#include <mpi.h>

#include <cstdio>
#include <memory>

#include "cli/command_line.h"
#include "cli/entry.h"
#include "mpi/rank_lanes.h"
#include "mpi/segment_service.h"

// rs-sim-mpi: rs-sim across the ranks of an MPI job, with the same options and output. Rank 0
// runs the program, and alone touches files, the console and the keyboard; every other rank
// makes segments of the draw stream for it on --threads threads of its own.
int main(int argc, char** argv) {
    int provided = MPI_THREAD_SINGLE;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_MULTIPLE, &provided);
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    if (provided < MPI_THREAD_MULTIPLE) {
        if (rank == 0) {
            std::fputs(
                "rs-sim-mpi: the MPI library cannot serve several threads at once "
                "(MPI_THREAD_MULTIPLE)\n",
                stderr);
        }
        MPI_Finalize();
        return 1;
    }
    int status = 0;
    if (rank == 0) {
        const auto remote =
            std::make_shared<const rs_sim::RemoteWorkers>(rs_sim::RemoteWorkers{rs::ConnectRanks});
        status = rs::RunCommandLine(argc, argv, remote, "rs-sim-mpi");
        rs::StopRanks();
    } else {
        // The same command line as rank 0, read silently: rank 0 answers for it.
        const rs::CommandLine commandLine = rs::ParseCommandLine(argc, argv, "rs-sim-mpi");
        status = rs::ServeSegments(commandLine.options ? commandLine.options->threads
                                                       : rs::DefaultThreads());
    }
    MPI_Finalize();
    return status;
}
