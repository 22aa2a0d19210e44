// The draw kernel for the portable level.
#include <cstdint>

#include "engine/draw_kernels.h"

using PortableWord = std::uint64_t;
#define RS_KERNEL_NAMESPACE portable
#define RS_KERNEL_VECTOR PortableWord
#include "engine/bitsliced_kernel.h"

namespace rs {

void RunRowsPortable(std::uint64_t* slots, int periods, std::uint32_t threshold,
                     std::uint64_t* masks) {
    portable::RunRows(reinterpret_cast<PortableWord*>(slots), periods, threshold,
                      reinterpret_cast<PortableWord*>(masks));
}

void ApplyMapPortable(std::uint64_t* slots, const std::uint8_t* pairs, int pairCount) {
    portable::ApplyMap(reinterpret_cast<PortableWord*>(slots), pairs, pairCount);
}

}  // namespace rs
