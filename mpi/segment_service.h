#pragma once

namespace rs {

// On every rank but 0: makes segments for rank 0 on threads lanes until told to stop.
// Returns the exit status.
int ServeSegments(int threads);

}  // namespace rs
