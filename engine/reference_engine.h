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
    // The arrays must be sized for the configured codec's n and k.
    ReferenceEngine(ReedSolomonCodec& codec, RandomGenerator& generator, BlockArrays arrays,
                    std::int32_t q);

    void StartPoint(float P0, std::int32_t seed) override;
    void RunBlocks(PointStatistics& statistics, std::int32_t blockLimit) override;

    // Skips the bit and failure counts; only for measuring what gathering them costs.
    void SetGatherDetail(bool value) { gatherDetail = value; }

  private:
    // One block; true when its information came out wrong.
    template <bool kGatherDetail>
    bool RunBlock(PointStatistics& statistics);

    ReedSolomonCodec& codec;
    RandomGenerator& generator;
    const std::int32_t n;
    const std::int32_t k;
    const std::int32_t q;
    BlockArrays arrays;
    double p0 = 0.0;
    bool gatherDetail = true;
};

}  // namespace rs
