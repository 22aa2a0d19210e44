#include "engine/remote/segment_message.h"

#include <algorithm>

namespace rs {

namespace {

constexpr std::uint64_t kStopMark = ~std::uint64_t{0};
constexpr std::size_t kHeaderWords = 6;

// Two 32-bit values a word.
void PackPairs(const std::vector<std::uint32_t>& values, MessageWords& words) {
    for (std::size_t i = 0; i < values.size(); i += 2) {
        const std::uint64_t high = i + 1 < values.size() ? values[i + 1] : 0;
        words.push_back(values[i] | (high << 32));
    }
}

bool UnpackPairs(const MessageWords& words, std::size_t& at, std::size_t count,
                 std::vector<std::uint32_t>& values) {
    const std::size_t needed = (count + 1) / 2;
    if (words.size() - at < needed) {
        return false;
    }
    values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = static_cast<std::uint32_t>(words[at + i / 2] >> (32 * (i % 2)));
    }
    at += needed;
    return true;
}

}  // namespace

MessageWords PackTask(const SegmentTask& task) {
    return {task.seeded, task.threshold, task.base, task.end, task.speculated ? 1U : 0U};
}

MessageWords PackStop() {
    return {0, 0, kStopMark, 0, 0};
}

bool UnpackTask(const MessageWords& words, SegmentTask& task) {
    if (words.size() != 5 || words[2] == kStopMark) {
        return false;
    }
    task.seeded = words[0];
    task.threshold = static_cast<std::uint32_t>(words[1]);
    task.base = words[2];
    task.end = words[3];
    task.speculated = words[4] != 0;
    return true;
}

void PackSegment(const SegmentTask& task, const Segment& segment, MessageWords& words) {
    const bool listed = task.threshold <= kListedThreshold;
    words.clear();
    words.push_back(task.base);
    words.push_back(segment.exit);
    words.push_back(listed ? 0 : segment.bitmap.size());
    words.push_back(segment.candidates.size());
    words.push_back(segment.starts.size());
    words.push_back(segment.decoded.size());
    if (!listed) {
        words.insert(words.end(), segment.bitmap.begin(), segment.bitmap.end());
    }
    PackPairs(segment.candidates, words);
    PackPairs(segment.starts, words);
    PackPairs(segment.hits, words);
    for (const DecodedBlock& block : segment.decoded) {
        words.push_back(block.index | (static_cast<std::uint64_t>(block.outcome.hits) << 32));
        words.push_back(static_cast<std::uint32_t>(block.outcome.errorSymbols) |
                        (static_cast<std::uint64_t>(block.outcome.failure ? 1 : 0) << 32));
        words.push_back(static_cast<std::uint64_t>(block.outcome.bitErrors));
    }
}

bool UnpackSegment(const SegmentTask& task, const MessageWords& words, Segment& segment) {
    if (words.size() < kHeaderWords || words[0] != task.base) {
        return false;
    }
    const std::uint64_t bitmapWords = (task.end - task.base) / 64;
    const bool listed = task.threshold <= kListedThreshold;
    if (words[2] != (listed ? 0 : bitmapWords)) {
        return false;
    }
    segment.exit = words[1];
    std::size_t at = kHeaderWords;
    if (words.size() - at < words[2]) {
        return false;
    }
    segment.bitmap.resize(listed ? 0 : bitmapWords);
    if (!listed) {
        std::copy_n(words.begin() + static_cast<std::ptrdiff_t>(at), bitmapWords,
                    segment.bitmap.begin());
        at += bitmapWords;
    }
    if (!UnpackPairs(words, at, words[3], segment.candidates) ||
        !UnpackPairs(words, at, words[4], segment.starts) ||
        !UnpackPairs(words, at, words[4], segment.hits)) {
        return false;
    }
    for (const std::uint32_t candidate : segment.candidates) {
        if (candidate >= task.end - task.base) {
            return false;
        }
    }
    const std::uint64_t decoded = words[5];
    if ((words.size() - at) / 3 < decoded || words.size() - at != 3 * decoded) {
        return false;
    }
    segment.decoded.resize(decoded);
    for (DecodedBlock& block : segment.decoded) {
        block.index = static_cast<std::uint32_t>(words[at]);
        block.outcome.hits = static_cast<std::int32_t>(words[at] >> 32);
        block.outcome.errorSymbols =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(words[at + 1]));
        block.outcome.failure = (words[at + 1] >> 32) != 0;
        block.outcome.bitErrors = static_cast<std::int64_t>(words[at + 2]);
        at += 3;
    }
    return true;
}

}  // namespace rs
