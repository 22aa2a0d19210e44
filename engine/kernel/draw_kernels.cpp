#include "engine/kernel/draw_kernels.h"
#include "engine/kernel/popcount_dispatch.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace rs {

void RunRowsPortable(std::uint64_t*, int, std::uint32_t, std::uint64_t*);
void RunRowsAvx2(std::uint64_t*, int, std::uint32_t, std::uint64_t*);
void RunRowsAvx512(std::uint64_t*, int, std::uint32_t, std::uint64_t*);
void LanesFromRowsPortable(const std::uint64_t*, int, int, std::uint64_t*);
void LanesFromRowsAvx2(const std::uint64_t*, int, int, std::uint64_t*);
void LanesFromRowsAvx512(const std::uint64_t*, int, int, std::uint64_t*);
void ApplyMapPortable(std::uint64_t*, const std::uint8_t*, int);
void ApplyMapAvx2(std::uint64_t*, const std::uint8_t*, int);
void ApplyMapAvx512(std::uint64_t*, const std::uint8_t*, int);

namespace {

constexpr DrawKernel kKernels[] = {
    {SimdLevel::kPortable, 2, RunRowsPortable, LanesFromRowsPortable, ApplyMapPortable},
    {SimdLevel::kAvx2, 4, RunRowsAvx2, LanesFromRowsAvx2, ApplyMapAvx2},
    {SimdLevel::kAvx512, 8, RunRowsAvx512, LanesFromRowsAvx512, ApplyMapAvx512},
};

}  // namespace

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::kAvx2:
            return "avx2";
        case SimdLevel::kAvx512:
            return "avx512";
        case SimdLevel::kPortable:
            break;
    }
    return "portable";
}

bool SimdLevelSupported(SimdLevel level) {
    __builtin_cpu_init();
    switch (level) {
        case SimdLevel::kAvx2:
            return __builtin_cpu_supports("avx2") != 0;
        case SimdLevel::kAvx512:
            return __builtin_cpu_supports("avx512f") != 0;
        case SimdLevel::kPortable:
            break;
    }
    return true;
}

SimdLevel BestSimdLevel() {
    SimdLevel best = SimdLevel::kPortable;
    for (const SimdLevel level : {SimdLevel::kAvx2, SimdLevel::kAvx512}) {
        if (SimdLevelSupported(level)) {
            best = level;
        }
    }
    if (const char* cap = std::getenv("RS_SIM_SIMD"); cap != nullptr) {
        for (const SimdLevel level : {SimdLevel::kPortable, SimdLevel::kAvx2}) {
            if (std::strcmp(cap, SimdLevelName(level)) == 0 && level < best) {
                best = level;
            }
        }
    }
    return best;
}

const DrawKernel& KernelFor(SimdLevel level) {
    return kKernels[static_cast<int>(level)];
}

bool MachineHasPopcount() {
#if defined(__x86_64__)
    return __builtin_cpu_supports("popcnt") != 0;
#else
    return false;
#endif
}

}  // namespace rs
