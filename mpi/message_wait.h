#pragma once

#include <mpi.h>

namespace rs {

// Waits for a message from source with tag and returns its status, without spinning: MPI's
// blocking calls poll a core flat out while they wait, which would take it from the segment
// makers. Checks often at first, then at most every millisecond.
MPI_Status WaitForMessage(int source, int tag);

}  // namespace rs
