#pragma once

#include <cstdint>
#include <memory>

#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"
#include "engine/hit_search/chunk_maker.h"
#include "engine/parallel/segment.h"

namespace rs {

// Makes segments on the calling thread: the candidate bitmap with the kernel, the candidate
// list when candidates are sparse, and the speculated walk when asked for, decoding what
// needs it with its own decoder.
class SegmentMaker final : public SegmentFiller {
  public:
    // rows: chunk rows a lane; tabled: decode with a codec of its own (else algebraically);
    // length as BlockCounter's.
    SegmentMaker(const DrawKernel& kernel, int rows, std::int32_t m, std::int32_t t, bool tabled,
                 std::int32_t length = 0);

    bool Fill(const SegmentTask& task, Segment& segment,
              const std::function<bool()>& abandoned) override;
    // As Fill, but once cut() turns true the segment ends with the chunks made so far (one at
    // least), and task.end moves back to there.
    bool FillUntilCut(SegmentTask& task, Segment& segment, const std::function<bool()>& abandoned,
                      const std::function<bool()>& cut);

  private:
    bool Make(SegmentTask& task, Segment& segment, const std::function<bool()>& abandoned,
              const std::function<bool()>* cut);

    ChunkMaker maker;
    std::unique_ptr<ReedSolomonCodec> codec;
    std::unique_ptr<BlockCounter> counter;
    std::uint64_t longestBlock = 0;
    PackedState seededFor = ~PackedState{0};  // the stream its counter draws values from
};

}  // namespace rs
