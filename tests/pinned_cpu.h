#pragma once

#include <sched.h>

namespace rs::testing {

// Pins the calling thread to the first CPU it may use, for the object's life; processes it
// starts meanwhile inherit the pinning. Restores the mask it found.
class PinnedToOneCpu {
  public:
    PinnedToOneCpu() {
        ok = sched_getaffinity(0, sizeof saved, &saved) == 0;
        int first = 0;
        while (ok && first < CPU_SETSIZE && !CPU_ISSET(first, &saved)) {
            ++first;
        }
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        ok = ok && first < CPU_SETSIZE && sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~PinnedToOneCpu() {
        if (ok) {
            sched_setaffinity(0, sizeof saved, &saved);
        }
    }
    PinnedToOneCpu(const PinnedToOneCpu&) = delete;
    PinnedToOneCpu& operator=(const PinnedToOneCpu&) = delete;

    bool Pinned() const { return ok; }

  private:
    cpu_set_t saved{};
    bool ok = false;
};

}  // namespace rs::testing
