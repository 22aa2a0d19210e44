// The draw kernel for the avx512 level; this file alone is compiled for it.
#include <cstdint>

#include "engine/kernel/draw_kernels.h"

typedef std::uint64_t Avx512Word __attribute__((vector_size(64), may_alias));
#define RS_KERNEL_NAMESPACE avx512
#define RS_KERNEL_VECTOR Avx512Word
#include "engine/kernel/bitsliced_kernel.h"

namespace rs {

void RunRowsAvx512(std::uint64_t* slots, int rows, std::uint32_t threshold, std::uint64_t* masks) {
    avx512::RunRows(reinterpret_cast<Avx512Word*>(slots), rows, threshold,
                    reinterpret_cast<Avx512Word*>(masks));
}

void ApplyMapAvx512(std::uint64_t* slots, const std::uint8_t* pairs, int pairCount) {
    avx512::ApplyMap(reinterpret_cast<Avx512Word*>(slots), pairs, pairCount);
}

void LanesFromRowsAvx512(const std::uint64_t* masks, int rows, int words, std::uint64_t* laneBits) {
    avx512::LanesFromRows(masks, rows, words, laneBits);
}

}  // namespace rs
