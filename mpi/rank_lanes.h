#pragma once

#include <memory>
#include <vector>

#include "rs_sim/remote.h"

namespace rs {

// On rank 0: every other rank's lanes, set up for the code, each reached by messages on tags
// of its own.
std::vector<std::unique_ptr<rs_sim::RemoteLane>> ConnectRanks(const rs_sim::RemoteCode& code);

// Ends every other rank's service.
void StopRanks();

}  // namespace rs
