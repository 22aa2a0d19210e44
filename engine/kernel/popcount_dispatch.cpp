#include "engine/kernel/popcount_dispatch.h"

namespace rs {

bool MachineHasPopcount() {
#if defined(__x86_64__)
    return __builtin_cpu_supports("popcnt") != 0;
#else
    return false;  // elsewhere std::popcount is an instruction of the base architecture
#endif
}

}  // namespace rs
