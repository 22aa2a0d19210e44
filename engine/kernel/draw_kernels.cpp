#include "engine/kernel/draw_kernels.h"

#include <hwy/targets.h>

#include <cstdlib>
#include <string_view>
#include <utility>

namespace rs {

namespace {

// A level RS_SIM_SIMD may name, and the best target it allows: that target and those after it
// (Highway numbers older targets higher).
struct SimdLevel {
    std::string_view name;
    std::int64_t best;
};

#if HWY_ARCH_X86
constexpr SimdLevel kLevels[] = {{"portable", HWY_EMU128},
                                 {"ssse3", HWY_SSSE3},
                                 {"sse4", HWY_SSE4},
                                 {"avx2", HWY_AVX2},
                                 {"avx512", HWY_AVX3_DL}};
#elif HWY_ARCH_ARM
constexpr SimdLevel kLevels[] = {{"portable", HWY_EMU128}, {"neon", HWY_NEON}};
#else
constexpr SimdLevel kLevels[] = {{"portable", HWY_EMU128}};
#endif

// The level cap names; none when it is unset or names none.
const SimdLevel* NamedLevel(const char* cap) {
    if (cap == nullptr) {
        return nullptr;
    }
    for (const SimdLevel& level : kLevels) {
        if (level.name == cap) {
            return &level;
        }
    }
    return nullptr;
}

}  // namespace

std::span<const DrawKernel> RunnableKernels() {
    static const std::vector<DrawKernel> kernels = CompiledKernels();
    return kernels;
}

const DrawKernel& CappedKernel(std::span<const DrawKernel> kernels, const char* cap) {
    const SimdLevel* level = NamedLevel(cap);
    if (level == nullptr) {
        return kernels.front();
    }
    for (const DrawKernel& kernel : kernels) {
        if (kernel.target >= level->best) {
            return kernel;
        }
    }
    // Below every target built here (no scalar fallback where the base architecture has
    // vectors, as on ARM64): the lowest there is.
    return kernels.back();
}

const DrawKernel& BestKernel() {
    static const DrawKernel& best = CappedKernel(RunnableKernels(), std::getenv("RS_SIM_SIMD"));
    return best;
}

std::vector<std::string> SimdLevelNames() {
    std::vector<std::string> names;
    for (const SimdLevel& level : kLevels) {
        names.emplace_back(level.name);
    }
    return names;
}

std::string SimdCapProblem(const char* cap) {
    if (cap == nullptr || NamedLevel(cap) != nullptr) {
        return {};
    }
    std::string names;
    for (const SimdLevel& level : kLevels) {
        names.append(names.empty() ? "" : ", ").append(level.name);
    }
    return std::string("RS_SIM_SIMD=")
        .append(cap)
        .append(" names no SIMD level of this processor; use one of ")
        .append(names);
}

}  // namespace rs
