#include "engine/remote/frame_message.h"

#include <bit>

namespace rs {

namespace {

// A segment task is five words, and a stop is one too: neither leads with this.
constexpr std::uint64_t kFrameMark = 0x6672616d65735253;  // "RSframes"
constexpr std::size_t kTaskWords = 16;
constexpr std::size_t kWordsPerCodeword = 4;
constexpr std::uint64_t kFailureBit = std::uint64_t{1} << 63U;
constexpr std::uint64_t kDeliveredReceivedBit = std::uint64_t{1} << 62U;
constexpr std::uint64_t kDecodedWrongBit = std::uint64_t{1} << 61U;
constexpr std::uint64_t kFlagBits = kFailureBit | kDeliveredReceivedBit | kDecodedWrongBit;

}  // namespace

FrameWords PackFrameTask(const FrameTask& task) {
    const ChannelModel& model = task.model;
    const std::uint64_t shape = static_cast<std::uint64_t>(model.kind) |
                                (model.bitLevel ? 1U : 0U) << 8U |
                                (task.receiver.deliverReceived ? 1U : 0U) << 9U |
                                static_cast<std::uint64_t>(task.interleave) << 32U;
    return {kFrameMark,
            shape,
            std::bit_cast<std::uint64_t>(model.errorRate),
            std::bit_cast<std::uint64_t>(model.goodError),
            std::bit_cast<std::uint64_t>(model.badError),
            std::bit_cast<std::uint64_t>(model.goodToBad),
            std::bit_cast<std::uint64_t>(model.badToGood),
            std::bit_cast<std::uint64_t>(model.badShare),
            static_cast<std::uint64_t>(task.seed) << 32U | task.point,
            task.first,
            task.stride,
            task.count,
            std::bit_cast<std::uint64_t>(model.erasureRate),
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(task.receiver.punctured)),
            std::bit_cast<std::uint64_t>(model.unreliableRate),
            std::bit_cast<std::uint64_t>(model.threshold)};
}

bool UnpackFrameTask(const FrameWords& words, FrameTask& task) {
    if (words.size() != kTaskWords || words[0] != kFrameMark) {
        return false;
    }
    ChannelModel& model = task.model;
    const auto kind = static_cast<std::uint8_t>(words[1] & 0xFFU);
    if (kind > static_cast<std::uint8_t>(ChannelModel::Kind::kMarkov)) {
        return false;
    }
    model.kind = static_cast<ChannelModel::Kind>(kind);
    model.bitLevel = ((words[1] >> 8U) & 1U) != 0;
    task.receiver.deliverReceived = ((words[1] >> 9U) & 1U) != 0;
    task.interleave = static_cast<std::int32_t>(words[1] >> 32U);
    model.errorRate = std::bit_cast<double>(words[2]);
    model.goodError = std::bit_cast<double>(words[3]);
    model.badError = std::bit_cast<double>(words[4]);
    model.goodToBad = std::bit_cast<double>(words[5]);
    model.badToGood = std::bit_cast<double>(words[6]);
    model.badShare = std::bit_cast<double>(words[7]);
    task.seed = static_cast<std::uint32_t>(words[8] >> 32U);
    task.point = static_cast<std::uint32_t>(words[8]);
    task.first = words[9];
    task.stride = words[10];
    task.count = words[11];
    model.erasureRate = std::bit_cast<double>(words[12]);
    task.receiver.punctured = static_cast<std::int32_t>(words[13]);
    model.unreliableRate = std::bit_cast<double>(words[14]);
    model.threshold = std::bit_cast<double>(words[15]);
    return task.interleave >= 1 && task.stride >= 1 && task.receiver.punctured >= 0;
}

void PackOutcomes(const CodewordOutcome* outcomes, std::size_t codewords, FrameWords& words) {
    words.clear();
    words.reserve(codewords * kWordsPerCodeword);
    for (std::size_t c = 0; c < codewords; ++c) {
        const BlockOutcome& block = outcomes[c].block;
        words.push_back(static_cast<std::uint32_t>(block.hits) |
                        static_cast<std::uint64_t>(static_cast<std::uint32_t>(block.errorSymbols))
                            << 32U);
        words.push_back(static_cast<std::uint64_t>(block.bitErrors) |
                        (block.failure ? kFailureBit : 0) |
                        (block.deliveredReceived ? kDeliveredReceivedBit : 0) |
                        (block.decodedWrong ? kDecodedWrongBit : 0));
        words.push_back(static_cast<std::uint64_t>(outcomes[c].channelBits));
        words.push_back(static_cast<std::uint64_t>(outcomes[c].erasures));
    }
}

bool UnpackOutcomes(const FrameTask& task, const FrameWords& words, std::uint64_t batchFirst,
                    CodewordOutcome* batch) {
    const auto size = static_cast<std::uint64_t>(task.interleave);
    if (words.size() != task.count * size * kWordsPerCodeword || task.first < batchFirst) {
        return false;
    }
    std::size_t at = 0;
    for (std::uint64_t j = 0; j < task.count; ++j) {
        CodewordOutcome* frame = batch + (task.first + j * task.stride - batchFirst) * size;
        for (std::uint64_t c = 0; c < size; ++c) {
            BlockOutcome& block = frame[c].block;
            block.hits = static_cast<std::int32_t>(static_cast<std::uint32_t>(words[at]));
            block.errorSymbols = static_cast<std::int32_t>(words[at] >> 32U);
            block.bitErrors = static_cast<std::int64_t>(words[at + 1] & ~kFlagBits);
            block.failure = (words[at + 1] & kFailureBit) != 0;
            block.deliveredReceived = (words[at + 1] & kDeliveredReceivedBit) != 0;
            block.decodedWrong = (words[at + 1] & kDecodedWrongBit) != 0;
            frame[c].channelBits = static_cast<std::int64_t>(words[at + 2]);
            frame[c].erasures = static_cast<std::int32_t>(words[at + 3]);
            at += kWordsPerCodeword;
        }
    }
    return true;
}

}  // namespace rs
