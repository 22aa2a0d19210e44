#pragma once

#include <cstdint>
#include <memory>

#include "codec/reed_solomon_codec.h"
#include "engine/engine.h"
#include "random/random_generator.h"

namespace rs {

// The four symbol arrays of the block experiment, allocated once and reused by every block;
// nothing in them carries over from one block to the next. Throws std::bad_alloc.
struct BlockArrays {
    BlockArrays(std::int32_t n, std::int32_t k);

    std::unique_ptr<Symbol[]> infoBlock;
    std::unique_ptr<Symbol[]> decodedBlock;
    std::unique_ptr<Symbol[]> codeword;
    std::unique_ptr<Symbol[]> receivedWord;
};

// The experiment as written: every block draws its information, is encoded, crosses the
// q-ary symmetric channel draw by draw and is decoded in full. It is the guard that every
// faster engine is checked against, so it stays literal.
class ReferenceEngine final : public Engine {
  public:
    // The arrays must be sized for the configured codec's n and k. A length below n runs the
    // code shortened to it: each block draws length - 2t information symbols, the ones above
    // are zero, and only positions 0..length-1 cross the channel. 0 for the full length.
    ReferenceEngine(ReedSolomonCodec& codec, RandomGenerator& generator, BlockArrays arrays,
                    std::int32_t q, std::int32_t length = 0);

    void StartPointAt(float P0, PackedState start) override;
    void RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) override;

    // Skips the bit and failure counts; only for measuring what gathering them costs.
    void SetGatherDetail(bool value) { gatherDetail = value; }

  private:
    // One block; true when its information came out wrong.
    template <bool kGatherDetail>
    bool RunBlock(PointStatistics& statistics);

    ReedSolomonCodec& codec;
    RandomGenerator& generator;
    const std::int32_t n;  // the full code's length, which the codec encodes and decodes
    const std::int32_t k;
    const std::int32_t sent;   // positions that cross the channel
    const std::int32_t drawn;  // information symbols drawn, the rest zero
    const std::int32_t q;
    BlockArrays arrays;
    double p0 = 0.0;
    bool gatherDetail = true;
};

}  // namespace rs
