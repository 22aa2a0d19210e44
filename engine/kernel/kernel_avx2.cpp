// The draw kernel for the avx2 level; this file alone is compiled for it.
#include <cstdint>

#include "engine/kernel/draw_kernels.h"

typedef std::uint64_t Avx2Word __attribute__((vector_size(32), may_alias));
#define RS_KERNEL_NAMESPACE avx2
#define RS_KERNEL_VECTOR Avx2Word
#include "engine/kernel/bitsliced_kernel.h"

namespace rs {

void RunRowsAvx2(std::uint64_t* slots, int rows, std::uint32_t threshold, std::uint64_t* masks) {
    avx2::RunRows(reinterpret_cast<Avx2Word*>(slots), rows, threshold,
                  reinterpret_cast<Avx2Word*>(masks));
}

void ApplyMapAvx2(std::uint64_t* slots, const std::uint8_t* pairs, int pairCount) {
    avx2::ApplyMap(reinterpret_cast<Avx2Word*>(slots), pairs, pairCount);
}

void LanesFromRowsAvx2(const std::uint64_t* masks, int rows, int words, std::uint64_t* laneBits) {
    avx2::LanesFromRows(masks, rows, words, laneBits);
}

}  // namespace rs
