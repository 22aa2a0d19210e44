#include "engine/channel/frame_engine.h"

#include <algorithm>
#include <bit>
#include <new>
#include <utility>

#include "base/contract.h"
#include "engine/remote/frame_lane.h"

namespace rs {

LiteralFrames::LiteralFrames(ReedSolomonCodec& codec, std::int32_t m, std::int32_t sent,
                             std::int32_t interleave)
    : codec(codec),
      m(m),
      n(codec.GetN()),
      k(codec.GetK()),
      sent(sent),
      drawn(k - (n - sent)),
      interleave(interleave),
      info(static_cast<std::size_t>(interleave) * static_cast<std::size_t>(k)),
      codewords(static_cast<std::size_t>(interleave) * static_cast<std::size_t>(n)),
      bits(static_cast<std::size_t>(interleave) * static_cast<std::size_t>(sent) *
           static_cast<std::size_t>(m)),
      received(static_cast<std::size_t>(n)),
      decoded(static_cast<std::size_t>(k)) {
    RS_ASSERT(codec.IsReady() && sent > n - k && sent <= n, "the codec sends the code's symbols");
    codec.SetSentLength(sent);
}

void LiteralFrames::Fill(const ChannelModel& model, std::uint32_t seed, std::uint32_t point,
                         std::uint64_t frame, CodewordOutcome* outcomes) {
    const std::int64_t q = std::int64_t{1} << m;
    // The data: each codeword's drawn information, the unsent rest zero, encoded.
    PhiloxStream data = DataStream(seed, point, frame);
    for (std::int32_t i = 0; i < interleave; ++i) {
        Symbol* infoBlock = info.data() + static_cast<std::size_t>(i) * k;
        for (std::int32_t j = 0; j < k; ++j) {
            infoBlock[j] = j < drawn
                               ? static_cast<Symbol>(data.Below(static_cast<std::uint32_t>(q)))
                               : Symbol{0};
        }
        codec.Encode(infoBlock, codewords.data() + static_cast<std::size_t>(i) * n);
    }
    // The frame's bits as sent: symbol j of codeword i at frame symbol j I + i.
    for (std::int32_t i = 0; i < interleave; ++i) {
        for (std::int32_t j = 0; j < sent; ++j) {
            const Symbol symbol = codewords[static_cast<std::size_t>(i) * n + j];
            const std::size_t first = (static_cast<std::size_t>(j) * interleave + i) * m;
            for (std::int32_t r = 0; r < m; ++r) {
                bits[first + r] = static_cast<std::uint8_t>((symbol >> r) & 1);
            }
        }
    }
    // The channel.
    PhiloxStream channelStream = ChannelStream(seed, point, frame);
    SampleFrame(model, m, model.bitLevel ? bits.size() : bits.size() / m, channelStream, errors);
    for (std::size_t e = 0; e < errors.steps.size(); ++e) {
        if (errors.bitLevel) {
            bits[errors.steps[e]] ^= 1U;
        } else {
            // The symbol is replaced by a different one: the sent one plus a nonzero value.
            const std::size_t first = errors.steps[e] * m;
            for (std::int32_t r = 0; r < m; ++r) {
                bits[first + r] ^= static_cast<std::uint8_t>((errors.values[e] >> r) & 1);
            }
        }
    }
    // Each codeword out of the frame, decoded alone.
    for (std::int32_t i = 0; i < interleave; ++i) {
        const Symbol* codeword = codewords.data() + static_cast<std::size_t>(i) * n;
        const Symbol* infoBlock = info.data() + static_cast<std::size_t>(i) * k;
        CodewordOutcome outcome;
        std::fill(received.begin(), received.end(), Symbol{0});
        for (std::int32_t j = 0; j < sent; ++j) {
            const std::size_t first = (static_cast<std::size_t>(j) * interleave + i) * m;
            Symbol symbol = 0;
            for (std::int32_t r = 0; r < m; ++r) {
                symbol |= static_cast<Symbol>(bits[first + r]) << r;
            }
            received[j] = symbol;
            const auto changed = static_cast<std::uint32_t>(symbol ^ codeword[j]);
            outcome.block.hits += changed != 0 ? 1 : 0;
            outcome.channelBits += std::popcount(changed);
        }
        codec.Decode(received.data(), decoded.data());
        for (std::int32_t j = 0; j < drawn; ++j) {
            const auto difference = static_cast<std::uint32_t>(decoded[j] ^ infoBlock[j]);
            outcome.block.errorSymbols += difference != 0 ? 1 : 0;
            outcome.block.bitErrors += std::popcount(difference);
        }
        outcome.block.failure = codec.LastDecodeFailureDetected();
        outcomes[i] = outcome;
    }
}

FastFrames::FastFrames(std::unique_ptr<ReedSolomonCodec> codec,
                       std::unique_ptr<BlockCounter> counter, std::int32_t m, std::int32_t t,
                       std::int32_t interleave)
    : codec(std::move(codec)),
      counter(std::move(counter)),
      m(m),
      t(t),
      interleave(interleave),
      patterns(static_cast<std::size_t>(interleave)) {}

FastFrames FastFrames::Make(std::int32_t m, std::int32_t t, std::int32_t length, bool tabled,
                            std::int32_t interleave, ReedSolomonCodec* shared) {
    std::unique_ptr<ReedSolomonCodec> own;
    ReedSolomonCodec* decoder = shared;
    if (decoder == nullptr && tabled) {
        own = std::make_unique<ReedSolomonCodec>();
        own->Configure(m, t);
        if (!own->IsReady()) {
            throw std::bad_alloc();
        }
        decoder = own.get();
    }
    auto counter = decoder != nullptr
                       ? std::make_unique<BlockCounter>(*decoder, m, BestKernel(), length)
                       : std::make_unique<BlockCounter>(m, t, length);
    return {std::move(own), std::move(counter), m, t, interleave};
}

void FastFrames::Fill(const ChannelModel& model, std::uint32_t seed, std::uint32_t point,
                      std::uint64_t frame, CodewordOutcome* outcomes) {
    const auto frameSymbols =
        static_cast<std::uint64_t>(interleave) * static_cast<std::uint64_t>(counter->N());
    PhiloxStream channelStream = ChannelStream(seed, point, frame);
    SampleFrame(model, m, model.bitLevel ? frameSymbols * m : frameSymbols, channelStream, errors);
    for (Pattern& pattern : patterns) {
        pattern.positions.clear();
        pattern.values.clear();
    }
    // Steps come in increasing order, so each codeword's positions do too, and a symbol's bits
    // arrive together.
    for (std::size_t e = 0; e < errors.steps.size(); ++e) {
        const std::uint64_t symbol = errors.bitLevel ? errors.steps[e] / m : errors.steps[e];
        const Symbol value =
            errors.bitLevel ? Symbol{1} << (errors.steps[e] % m) : errors.values[e];
        Pattern& pattern = patterns[symbol % interleave];
        const auto position = static_cast<std::int32_t>(symbol / interleave);
        if (!pattern.positions.empty() && pattern.positions.back() == position) {
            pattern.values.back() ^= value;
        } else {
            pattern.positions.push_back(position);
            pattern.values.push_back(value);
        }
    }
    for (std::int32_t i = 0; i < interleave; ++i) {
        const Pattern& pattern = patterns[static_cast<std::size_t>(i)];
        const auto count = static_cast<std::int32_t>(pattern.positions.size());
        CodewordOutcome& outcome = outcomes[i];
        outcome.channelBits = 0;
        for (const Symbol value : pattern.values) {
            outcome.channelBits += std::popcount(static_cast<std::uint32_t>(value));
        }
        outcome.block = count <= t ? BlockOutcome{count, 0, 0, false}
                                   : counter->DecodePattern(pattern.positions.data(),
                                                            pattern.values.data(), count);
    }
}

namespace {

// A batch holds at most this many codewords (and at least one frame): the outcomes of a batch
// stay within a megabyte.
constexpr std::size_t kBatchCodewords = std::size_t{1} << 14U;

}  // namespace

template <typename Frames>
FrameEngine<Frames>::FrameEngine(std::vector<Frames> workers, rs_sim::Channel channel,
                                 std::int32_t sent, std::int32_t k, std::int32_t interleave,
                                 std::vector<std::unique_ptr<FrameLane>> lanes)
    : workers(std::move(workers)),
      lanes(std::move(lanes)),
      channel(std::move(channel)),
      sent(sent),
      k(k),
      interleave(interleave) {
    RS_ASSERT(!this->workers.empty() && interleave >= 1, "a frame engine has a worker");
    const std::size_t all = this->workers.size() + this->lanes.size();
    if (all > 1) {
        crew = std::make_unique<FrameCrew>(static_cast<int>(all) - 1);
    }
    outcomes.resize(std::max(kBatchCodewords, static_cast<std::size_t>(interleave)));
}

template <typename Frames>
FrameEngine<Frames>::~FrameEngine() = default;

template <typename Frames>
void FrameEngine<Frames>::StartPointAt(float P0, PackedState start) {
    const ChannelAt at = ModelChannel(channel, sent, k, static_cast<double>(P0));
    RS_ASSERT(at.model.has_value(), "the experiment's check keeps P0 in the channel's reach");
    model = at.model.value_or(ChannelModel{});
    seed = static_cast<std::uint32_t>(start >> 32U);
    point = static_cast<std::uint32_t>(start);
    nextFrame = 0;
    filled = 0;
    used = 0;
    frameErrorBlocks = 0;
}

template <typename Frames>
void FrameEngine<Frames>::FillBatch(std::int64_t blocks) {
    const auto size = static_cast<std::uint64_t>(interleave);
    std::uint64_t frames = 1;
    if (crew) {
        const std::uint64_t left =
            (static_cast<std::uint64_t>(std::max<std::int64_t>(blockBound - blocks, 1)) + size -
             1) /
            size;
        const std::uint64_t most = std::max<std::uint64_t>(1, kBatchCodewords / size);
        const std::uint64_t wanted =
            std::max<std::uint64_t>(2 * (workers.size() + lanes.size()), nextFrame / 8);
        frames = std::min({wanted, most, left});
    }
    const std::uint64_t first = nextFrame;
    if (crew) {
        // Worker w fills frames w, w + stride, ... of the batch.
        const std::uint64_t stride = workers.size() + lanes.size();
        auto fill = [&](int worker) {
            const auto w = static_cast<std::uint64_t>(worker);
            if (w >= frames) {
                return;
            }
            if (w < workers.size()) {
                for (std::uint64_t f = w; f < frames; f += stride) {
                    workers[w].Fill(model, seed, point, first + f, outcomes.data() + f * size);
                }
                return;
            }
            const FrameTask task{.model = model,
                                 .seed = seed,
                                 .point = point,
                                 .interleave = interleave,
                                 .first = first + w,
                                 .stride = stride,
                                 .count = (frames - w + stride - 1) / stride};
            lanes[w - workers.size()]->Fill(task, first, outcomes.data());
        };
        crew->Run(fill);
    } else {
        workers.front().Fill(model, seed, point, first, outcomes.data());
    }
    nextFrame += frames;
    filled = frames * size;
    used = 0;
}

template <typename Frames>
void FrameEngine<Frames>::RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) {
    const auto size = static_cast<std::size_t>(interleave);
    while (statistics.blocks < blockLimit) {
        if (used == filled) {
            FillBatch(statistics.blocks);
        }
        if (used % size == 0) {
            frameErrorBlocks = 0;
        }
        const CodewordOutcome& outcome = outcomes[used++];
        statistics.channelBitErrors += outcome.channelBits;
        if (AddBlock(statistics, outcome.block)) {
            // A frame's square grows from x^2 to (x + 1)^2 with each wrong codeword.
            statistics.errorBlockSquares += 2 * frameErrorBlocks + 1;
            ++frameErrorBlocks;
            return;
        }
    }
}

template class FrameEngine<LiteralFrames>;
template class FrameEngine<FastFrames>;

}  // namespace rs
