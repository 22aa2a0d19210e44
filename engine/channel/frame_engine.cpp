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
      erased(static_cast<std::size_t>(interleave) * static_cast<std::size_t>(sent)),
      received(static_cast<std::size_t>(n)),
      decoded(static_cast<std::size_t>(k)) {
    RS_ASSERT(codec.IsReady() && sent > n - k && sent <= n, "the codec sends the code's symbols");
    codec.SetSentLength(sent);
    erasures.reserve(static_cast<std::size_t>(sent));
}

void LiteralFrames::Fill(const ChannelModel& model, const FrameReceiver& receiver,
                         std::uint32_t seed, std::uint32_t point, std::uint64_t frame,
                         CodewordOutcome* outcomes) {
    const std::int64_t q = std::int64_t{1} << m;
    const std::int32_t twoT = n - k;
    RS_ASSERT(receiver.punctured >= 0 && receiver.punctured <= twoT,
              "at most the parity is punctured");
    // Each codeword sends its symbols but the punctured parity.
    const std::int32_t carried = sent - receiver.punctured;
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
    // The frame's bits as sent: the j-th symbol codeword i sends at frame symbol j I + i.
    for (std::int32_t i = 0; i < interleave; ++i) {
        for (std::int32_t j = 0; j < carried; ++j) {
            const Symbol symbol = codewords[static_cast<std::size_t>(i) * n +
                                            CarriedPosition(j, twoT, receiver.punctured)];
            const std::size_t first = (static_cast<std::size_t>(j) * interleave + i) * m;
            for (std::int32_t r = 0; r < m; ++r) {
                bits[first + r] = static_cast<std::uint8_t>((symbol >> r) & 1);
            }
        }
    }
    // The channel.
    const std::size_t frameSymbols = static_cast<std::size_t>(interleave) * carried;
    std::fill_n(erased.begin(), frameSymbols, std::uint8_t{0});
    PhiloxStream channelStream = ChannelStream(seed, point, frame);
    SampleFrame(model, m, model.bitLevel ? frameSymbols * m : frameSymbols, channelStream, errors);
    for (std::size_t e = 0; e < errors.steps.size(); ++e) {
        if (errors.bitLevel && !errors.erased.empty() && errors.erased[e] != 0) {
            // An unreliable bit erases its symbol.
            erased[errors.steps[e] / m] = 1;
        } else if (errors.bitLevel) {
            bits[errors.steps[e]] ^= 1U;
        } else if (errors.erased[e] != 0) {
            erased[errors.steps[e]] = 1;
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
        // An erased or punctured position holds the sent symbol, unsent positions zero.
        std::copy_n(codeword, sent, received.begin());
        std::fill(received.begin() + sent, received.end(), Symbol{0});
        erasures.clear();
        for (std::int32_t p = twoT - receiver.punctured; p < twoT; ++p) {
            erasures.push_back(p);
        }
        for (std::int32_t j = 0; j < carried; ++j) {
            const std::int32_t position = CarriedPosition(j, twoT, receiver.punctured);
            const std::size_t at = static_cast<std::size_t>(j) * interleave + i;
            if (erased[at] != 0) {
                erasures.push_back(position);
                ++outcome.erasures;
                continue;
            }
            Symbol symbol = 0;
            for (std::int32_t r = 0; r < m; ++r) {
                symbol |= static_cast<Symbol>(bits[at * m + r]) << r;
            }
            received[position] = symbol;
            const auto changed = static_cast<std::uint32_t>(symbol ^ codeword[position]);
            outcome.block.hits += changed != 0 ? 1 : 0;
            outcome.channelBits += std::popcount(changed);
        }
        std::sort(erasures.begin(), erasures.end());
        // Beyond 2t erasures no decoder can start: the block is flagged undecoded.
        const bool decodable = erasures.size() <= static_cast<std::size_t>(twoT);
        if (decodable) {
            codec.Decode(received.data(), decoded.data(), erasures);
        }
        outcome.block.failure = !decodable || codec.LastDecodeFailureDetected();
        // A flagged decoding is judged all the same when the received information is delivered.
        outcome.block.deliveredReceived =
            decodable && outcome.block.failure && receiver.deliverReceived;
        const bool deliverReceived = !decodable || outcome.block.deliveredReceived;
        for (std::int32_t j = 0; j < drawn; ++j) {
            outcome.block.decodedWrong |=
                outcome.block.deliveredReceived && decoded[j] != infoBlock[j];
            const std::int32_t position = twoT + j;
            const bool erasedHere = std::binary_search(erasures.begin(), erasures.end(), position);
            // An erased symbol delivered undecoded is delivered as 0, and wrong whatever it was.
            const Symbol delivered = !deliverReceived ? decoded[j]
                                     : erasedHere     ? Symbol{0}
                                                      : received[position];
            const auto difference = static_cast<std::uint32_t>(delivered ^ infoBlock[j]);
            const bool wrong = difference != 0 || (deliverReceived && erasedHere);
            outcome.block.errorSymbols += wrong ? 1 : 0;
            outcome.block.bitErrors += std::popcount(difference);
        }
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
      patterns(static_cast<std::size_t>(interleave)) {
    erasures.reserve(static_cast<std::size_t>(this->counter->N()));
}

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

void FastFrames::Fill(const ChannelModel& model, const FrameReceiver& receiver, std::uint32_t seed,
                      std::uint32_t point, std::uint64_t frame, CodewordOutcome* outcomes) {
    const std::int32_t twoT = 2 * t;
    RS_ASSERT(receiver.punctured >= 0 && receiver.punctured <= twoT,
              "at most the parity is punctured");
    const auto frameSymbols = static_cast<std::uint64_t>(interleave) *
                              static_cast<std::uint64_t>(counter->N() - receiver.punctured);
    PhiloxStream channelStream = ChannelStream(seed, point, frame);
    SampleFrame(model, m, model.bitLevel ? frameSymbols * m : frameSymbols, channelStream, errors);
    for (Pattern& pattern : patterns) {
        pattern.positions.clear();
        pattern.values.clear();
        pattern.erasures.clear();
    }
    // Steps come in increasing order, so each codeword's positions do too, and a symbol's bits
    // arrive together: a symbol with an unreliable bit is an erasure, whichever of its bits came
    // first, and otherwise its error value is the sum of its wrong bits.
    for (std::size_t e = 0; e < errors.steps.size(); ++e) {
        const std::uint64_t symbol = errors.bitLevel ? errors.steps[e] / m : errors.steps[e];
        const Symbol value =
            errors.bitLevel ? Symbol{1} << (errors.steps[e] % m) : errors.values[e];
        Pattern& pattern = patterns[symbol % interleave];
        const std::int32_t position = CarriedPosition(
            static_cast<std::int32_t>(symbol / interleave), twoT, receiver.punctured);
        if (!pattern.erasures.empty() && pattern.erasures.back() == position) {
            continue;  // erased already by an unreliable bit
        }
        if (!errors.erased.empty() && errors.erased[e] != 0) {
            if (!pattern.positions.empty() && pattern.positions.back() == position) {
                pattern.positions.pop_back();  // its wrong bits so far no longer count
                pattern.values.pop_back();
            }
            pattern.erasures.push_back(position);
        } else if (!pattern.positions.empty() && pattern.positions.back() == position) {
            pattern.values.back() ^= value;
        } else {
            pattern.positions.push_back(position);
            pattern.values.push_back(value);
        }
    }
    const std::int32_t infoStart = counter->N() - counter->K();
    for (std::int32_t i = 0; i < interleave; ++i) {
        const Pattern& pattern = patterns[static_cast<std::size_t>(i)];
        const auto count = static_cast<std::int32_t>(pattern.positions.size());
        CodewordOutcome& outcome = outcomes[i];
        outcome.channelBits = 0;
        for (const Symbol value : pattern.values) {
            outcome.channelBits += std::popcount(static_cast<std::uint32_t>(value));
        }
        outcome.erasures = static_cast<std::int32_t>(pattern.erasures.size());
        // The punctured parity, 2t - punctured .. 2t - 1, sits between the channel's erasures
        // below it and those above.
        erasures.clear();
        auto above = std::lower_bound(pattern.erasures.begin(), pattern.erasures.end(), twoT);
        erasures.insert(erasures.end(), pattern.erasures.begin(), above);
        for (std::int32_t p = twoT - receiver.punctured; p < twoT; ++p) {
            erasures.push_back(p);
        }
        erasures.insert(erasures.end(), above, pattern.erasures.end());
        const auto s = static_cast<std::int32_t>(erasures.size());
        if (2 * count + s <= twoT) {
            outcome.block = BlockOutcome{count, 0, 0, false};
            continue;
        }
        if (s <= twoT) {
            outcome.block = counter->DecodePattern(pattern.positions.data(), pattern.values.data(),
                                                   count, erasures);
            if (!outcome.block.failure || !receiver.deliverReceived) {
                continue;
            }
        }
        // Flagged, and delivering the received information: wrong where the channel erred or
        // erased it, an erased symbol delivered as 0 and so wrong in the bits it was sent with.
        BlockOutcome delivered{count, 0, 0, true};
        if (s <= twoT) {
            delivered.deliveredReceived = true;
            delivered.decodedWrong = outcome.block.errorSymbols != 0;
        }
        for (std::int32_t e = 0; e < count; ++e) {
            if (pattern.positions[e] >= infoStart) {
                ++delivered.errorSymbols;
                delivered.bitErrors += std::popcount(static_cast<std::uint32_t>(pattern.values[e]));
            }
        }
        for (auto erasure = above; erasure != pattern.erasures.end(); ++erasure) {
            ++delivered.errorSymbols;
            delivered.bitErrors += std::popcount(static_cast<std::uint32_t>(
                SentInformation(seed, point, frame, i, *erasure - infoStart)));
        }
        outcome.block = delivered;
    }
}

Symbol FastFrames::SentInformation(std::uint32_t seed, std::uint32_t point, std::uint64_t frame,
                                   std::int32_t codeword, std::int32_t j) const {
    // The literal frames draw each codeword's information in turn, a word a symbol: Below(2^m)
    // takes one word and keeps its top m bits.
    const PhiloxStream data = DataStream(seed, point, frame);
    const std::uint64_t index =
        static_cast<std::uint64_t>(codeword) * static_cast<std::uint64_t>(counter->K()) +
        static_cast<std::uint64_t>(j);
    return static_cast<Symbol>(data.WordAt(index) >> (32 - m));
}

namespace {

// A batch holds at most this many codewords (and at least one frame): the outcomes of a batch
// stay within a megabyte.
constexpr std::size_t kBatchCodewords = std::size_t{1} << 14U;

}  // namespace

template <typename Frames>
FrameEngine<Frames>::FrameEngine(std::vector<Frames> workers, rs_sim::Channel channel,
                                 std::int32_t m, std::int32_t sent, std::int32_t k,
                                 std::int32_t interleave,
                                 std::vector<std::unique_ptr<FrameLane>> lanes,
                                 FrameReceiver receiver)
    : workers(std::move(workers)),
      lanes(std::move(lanes)),
      channel(std::move(channel)),
      receiver(receiver),
      code{m, sent, (sent - k) / 2, receiver.punctured},
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
    // The code's rate is that of the symbols sent, the punctured parity left out.
    const ChannelAt at = ModelChannel(channel, code, static_cast<double>(P0));
    RS_ASSERT(at.model.has_value(), "the experiment's check keeps P0 in the channel's reach");
    model = at.model.value_or(ChannelModel{});
    seed = static_cast<std::uint32_t>(start >> 32U);
    point = static_cast<std::uint32_t>(start);
    nextFrame = 0;
    filled = 0;
    used = 0;
    frameErrorBlocks = 0;
    frameErrorSymbols = 0;
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
                    workers[w].Fill(model, receiver, seed, point, first + f,
                                    outcomes.data() + f * size);
                }
                return;
            }
            const FrameTask task{.model = model,
                                 .receiver = receiver,
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
        workers.front().Fill(model, receiver, seed, point, first, outcomes.data());
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
            frameErrorSymbols = 0;
        }
        const CodewordOutcome& outcome = outcomes[used++];
        statistics.channelBitErrors += outcome.channelBits;
        AddErasures(statistics, outcome.block, outcome.erasures);
        // A frame's square grows from F^2 to (F + x)^2: AddBlock adds x^2, the frame 2 F x.
        AddProduct(statistics.errorSymbolSquares, 2 * frameErrorSymbols,
                   outcome.block.errorSymbols);
        frameErrorSymbols += outcome.block.errorSymbols;
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
