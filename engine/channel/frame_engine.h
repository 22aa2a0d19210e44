#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "engine/block_counter.h"
#include "engine/channel/codeword_outcome.h"
#include "engine/channel/frame_crew.h"
#include "engine/channel/frame_errors.h"
#include "engine/channel/frame_receiver.h"
#include "engine/engine.h"
#include "rs_sim/experiment.h"

namespace rs {

class FrameLane;

// The frame as sent: each codeword's information and encoding, drawn from the frame's data
// stream, interleaved symbol by symbol, the channel's errors applied bit by bit (or symbol by
// symbol), then each codeword taken back out and decoded in full by the plain codec, told the
// positions erased by the channel or punctured. It is the guard the fast frames are checked
// against, so it stays literal. An erased position holds the symbol sent there: a decoder that
// corrects it never reads it, and one that fails corrects blindly from it, so that every count
// stays a function of the channel's errors and erasures, as the fast frames need.
class LiteralFrames {
  public:
    LiteralFrames(ReedSolomonCodec& codec, std::int32_t m, std::int32_t sent,
                  std::int32_t interleave);
    void Fill(const ChannelModel& model, const FrameReceiver& receiver, std::uint32_t seed,
              std::uint32_t point, std::uint64_t frame, CodewordOutcome* outcomes);

  private:
    ReedSolomonCodec& codec;
    const std::int32_t m;
    const std::int32_t n;
    const std::int32_t k;
    const std::int32_t sent;
    const std::int32_t drawn;  // information symbols drawn per codeword, the rest zero
    const std::int32_t interleave;
    std::vector<Symbol> info;          // codeword i's at i k
    std::vector<Symbol> codewords;     // codeword i's at i n
    std::vector<std::uint8_t> bits;    // the frame's bits, frame bit b at b
    std::vector<std::uint8_t> erased;  // the frame's erased symbols, frame symbol s at s
    std::vector<Symbol> received;      // one codeword taken out of the frame
    std::vector<Symbol> decoded;
    std::vector<std::int32_t> erasures;  // its erased positions, increasing
    FrameErrors errors;
};

// The same frames without the work that cannot change a count: the channel's errors are split
// into each codeword's error pattern and erasures, a codeword with 2e + s <= 2t (e errors, s
// erasures) comes out right and unflagged, and any other is counted from its pattern by the
// fast decoder (BlockCounter); one with more than 2t erasures is flagged undecoded.
class FastFrames {
  public:
    // A worker that decodes RS over GF(2^m) correcting t, shortened to length (0: not), through
    // shared when given, else through a codec of its own when tabled, else without tables: a
    // decoder's buffers are its own, so each worker but one needs its own codec. Throws
    // std::bad_alloc when a codec's tables cannot be had.
    static FastFrames Make(std::int32_t m, std::int32_t t, std::int32_t length, bool tabled,
                           std::int32_t interleave, ReedSolomonCodec* shared = nullptr);
    void Fill(const ChannelModel& model, const FrameReceiver& receiver, std::uint32_t seed,
              std::uint32_t point, std::uint64_t frame, CodewordOutcome* outcomes);

  private:
    // codec, if any, is the one counter decodes through.
    FastFrames(std::unique_ptr<ReedSolomonCodec> codec, std::unique_ptr<BlockCounter> counter,
               std::int32_t m, std::int32_t t, std::int32_t interleave);

    // The information symbol j of codeword i of a frame as the literal frames draw it.
    Symbol SentInformation(std::uint32_t seed, std::uint32_t point, std::uint64_t frame,
                           std::int32_t codeword, std::int32_t j) const;

    std::unique_ptr<ReedSolomonCodec> codec;
    std::unique_ptr<BlockCounter> counter;
    std::int32_t m;
    std::int32_t t;
    std::int32_t interleave;
    FrameErrors errors;
    struct Pattern {
        std::vector<std::int32_t> positions;
        std::vector<Symbol> values;
        std::vector<std::int32_t> erasures;  // by the channel, increasing
    };
    std::vector<Pattern> patterns;       // codeword i's at i
    std::vector<std::int32_t> erasures;  // one codeword's, the punctured ones merged in
};

// The point's key for the channels with counter-based streams, in place of a generator's state:
// the seed and the point's index in its sweep.
inline PackedState FramePointKey(std::int32_t seed, std::uint32_t point) {
    return (static_cast<PackedState>(static_cast<std::uint32_t>(seed)) << 32U) | point;
}

// A Monte-Carlo engine for a channel that sends frames of interleaved codewords: frames come
// from Frames (LiteralFrames or FastFrames), and their codewords are counted one by one, so
// the stop rules land on the same codeword as on any other engine. A point stopped inside a
// frame counts that frame's codewords up to the stop. With more than one worker, a crew of
// threads fills batches of frames, each worker its share, and the counting goes through them in
// order: every frame is a function of (seed, point, frame), so the counts are the same on any
// number of workers.
template <typename Frames>
class FrameEngine final : public Engine {
  public:
    // One Frames per worker here, and lanes of other processes that fill frames too.
    // Codewords of sent symbols of m bits, k of them information.
    FrameEngine(std::vector<Frames> workers, rs_sim::Channel channel, std::int32_t m,
                std::int32_t sent, std::int32_t k, std::int32_t interleave,
                std::vector<std::unique_ptr<FrameLane>> lanes, FrameReceiver receiver = {});
    ~FrameEngine() override;

    void BoundBlocks(std::int64_t maxBlocks) override { blockBound = maxBlocks; }
    // start is the point's key (FramePointKey).
    void StartPointAt(float P0, PackedState start) override;
    void RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) override;

  private:
    // Fills the next batch of frames: one frame alone; on a crew, two frames a worker (here or
    // through a lane) at first, growing with the point to an eighth of its frames so far (the
    // most a point's end can waste), no further than the point's blocks can go.
    void FillBatch(std::int64_t blocks);

    std::vector<Frames> workers;
    std::vector<std::unique_ptr<FrameLane>> lanes;
    // Workers 0..workers.size()-1 fill frames here, the rest through a lane each; none for one
    // worker alone.
    std::unique_ptr<FrameCrew> crew;
    const rs_sim::Channel channel;
    const FrameReceiver receiver;
    const SentCode code;
    const std::int32_t interleave;
    std::int64_t blockBound = std::numeric_limits<std::int64_t>::max();
    ChannelModel model;
    std::uint32_t seed = 0;
    std::uint32_t point = 0;
    std::uint64_t nextFrame = 0;
    std::vector<CodewordOutcome> outcomes;  // the batch's codewords, frame by frame
    std::size_t filled = 0;                 // codewords in the batch
    std::size_t used = 0;                   // of them counted
    std::int64_t frameErrorBlocks = 0;      // the current frame's wrong codewords so far
    std::int64_t frameErrorSymbols = 0;     // and its wrong information symbols
};

extern template class FrameEngine<LiteralFrames>;
extern template class FrameEngine<FastFrames>;

}  // namespace rs
