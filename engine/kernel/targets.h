#pragma once

// Included first by every source Highway compiles for each target, so that they build the
// same targets and each target's kernel finds its parts. The draw kernel keeps its state in
// arrays of vectors, which targets with sizeless vectors (SVE, RISC-V V) cannot hold; their
// machines run the NEON or scalar code instead.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
