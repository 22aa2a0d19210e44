// The draw kernel for the portable level.
#include <cstdint>

#include "engine/kernel/draw_kernels.h"

// Two machine words: SSE2 on every x86-64, plain word pairs elsewhere.
typedef std::uint64_t PortableWord __attribute__((vector_size(16), may_alias));
#define RS_KERNEL_NAMESPACE portable
#define RS_KERNEL_VECTOR PortableWord
#include "engine/kernel/bitsliced_kernel.h"

namespace rs {

void RunRowsPortable(std::uint64_t* slots, int rows, std::uint32_t threshold,
                     std::uint64_t* masks) {
    portable::RunRows(reinterpret_cast<PortableWord*>(slots), rows, threshold,
                      reinterpret_cast<PortableWord*>(masks));
}

void ApplyMapPortable(std::uint64_t* slots, const std::uint8_t* pairs, int pairCount) {
    portable::ApplyMap(reinterpret_cast<PortableWord*>(slots), pairs, pairCount);
}

void LanesFromRowsPortable(const std::uint64_t* masks, int rows, int words,
                           std::uint64_t* laneBits) {
    portable::LanesFromRows(masks, rows, words, laneBits);
}

}  // namespace rs
