#include "report/text/channel_text.h"

#include <algorithm>
#include <charconv>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "report/text/number_format.h"
#include "stats/channel_model.h"

namespace rs {

namespace {

using Words = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kChannelWord = "  channel=";
constexpr std::string_view kSeedWord = "  seed=";

// The header's channel words, "  key=value" each, as pairs; a word without "=" has an empty
// value and so differs from any written one.
Words SplitWords(std::string_view words) {
    Words split;
    while (words.starts_with("  ")) {
        words.remove_prefix(2);
        const std::size_t end = words.find("  ");
        const std::string_view word = words.substr(0, end);
        const std::size_t equals = word.find('=');
        split.emplace_back(std::string(word.substr(0, equals)),
                           equals == std::string_view::npos ? std::string()
                                                            : std::string(word.substr(equals + 1)));
        words.remove_prefix(word.size());
    }
    return split;
}

// A word's value, the default when it is left out, or empty when it has none.
std::string ValueOf(const Words& words, const std::string& key) {
    const auto found = std::find_if(words.begin(), words.end(),
                                    [&](const auto& word) { return word.first == key; });
    if (found != words.end()) {
        return found->second;
    }
    if (key == "channel") {
        return rs_sim::ChannelName(rs_sim::QarySymmetricChannel{});
    }
    if (key == "seed") {
        return std::to_string(rs_sim::kDefaultSeed);
    }
    return key == "interleave" ? "1" : "";
}

}  // namespace

bool IsDefaultChannel(const rs_sim::Channel& channel) {
    return !rs_sim::SendsFrames(channel);
}

bool SweepsEbN0(const rs_sim::Channel& channel) {
    return std::holds_alternative<rs_sim::BpskAwgnChannel>(channel);
}

bool CountsErasures(const rs_sim::Channel& channel) {
    return rs_sim::Erases(channel);
}

std::string ThresholdText(const rs_sim::Channel& channel) {
    const auto* bpsk = std::get_if<rs_sim::BpskAwgnChannel>(&channel);
    if (bpsk == nullptr || !bpsk->eraseBelow) {
        return {};
    }
    const auto* given = std::get_if<double>(&*bpsk->eraseBelow);
    return given != nullptr ? DecimalText(*given) : std::string("best");
}

bool CountsChannelBits(const rs_sim::Channel& channel) {
    return FlipsBits(channel);
}

std::string SweptValueText(double P0, const rs_sim::Channel& channel) {
    return SweepsEbN0(channel) ? "Eb/N0=" + FormatFixed2(P0) + " dB"
                               : "P0=" + FormatScientific2(P0);
}

std::string DecimalText(double value) {
    char buffer[64];
    const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return status == std::errc{} ? std::string(buffer, end) : std::string("nan");
}

std::string ReportHeader(const rs_sim::CodeFacts& code, const rs_sim::Channel& channel,
                         std::int32_t interleave, std::int32_t seed, bool deliverReceived) {
    std::string header = "Reed-Solomon codes, n=" + std::to_string(code.n) +
                         "  k=" + std::to_string(code.k) + "  R=" + FormatFixed2(code.rate) +
                         "  t=" + std::to_string(code.t) + "  q=" + std::to_string(code.q);
    if (!IsDefaultChannel(channel)) {
        header.append(kChannelWord).append(rs_sim::ChannelName(channel));
    }
    if (const auto* markov = std::get_if<rs_sim::GilbertElliottChannel>(&channel)) {
        header.append("  level=")
            .append(markov->level == rs_sim::GilbertElliottChannel::Level::kBit ? "bit" : "symbol")
            .append("  burst=")
            .append(DecimalText(markov->burst))
            .append("  goodError=")
            .append(DecimalText(markov->goodError))
            .append("  badError=")
            .append(DecimalText(markov->badError));
    }
    if (const std::string threshold = ThresholdText(channel); !threshold.empty()) {
        header.append("  eraseBelow=").append(threshold);
    } else if (CountsErasures(channel)) {
        header.append("  erasures=").append(DecimalText(rs_sim::ErasureProbability(channel)));
    }
    if (code.punctured > 0) {
        header.append("  puncture=").append(std::to_string(code.punctured));
    }
    // A flagged block's delivery changes the symbol counts, so a resumed run must keep it.
    if (deliverReceived) {
        header.append("  onFailure=received");
    }
    if (interleave > 1) {
        header.append("  interleave=").append(std::to_string(interleave));
    }
    if (seed != rs_sim::kDefaultSeed) {
        header.append(kSeedWord).append(std::to_string(seed));
    }
    return header + "\n";
}

std::string HeaderDifference(std::string_view written, std::string_view expected) {
    if (written == expected) {
        return {};
    }
    const auto line = [](std::string_view header) { return header.substr(0, header.find('\n')); };
    // The code's part ends where the channel's words begin; a default header has none, but a
    // run interleaved on another channel always names its channel first.
    const auto codePart = [&](std::string_view header) {
        return header.substr(0, std::min({header.find(kChannelWord), header.find("  interleave="),
                                          header.find(kSeedWord)}));
    };
    const std::string_view writtenLine = line(written);
    const std::string_view expectedLine = line(expected);
    const std::string_view expectedCode = codePart(expectedLine);
    if (codePart(writtenLine) != expectedCode) {
        return "its header is not that of this experiment's code (" + std::string(expectedCode) +
               ")";
    }
    const Words writtenWords = SplitWords(writtenLine.substr(expectedCode.size()));
    const Words expectedWords = SplitWords(expectedLine.substr(expectedCode.size()));
    // The channel first: its parameters mean nothing on another channel.
    std::vector<std::string> keys = {"channel"};
    for (const Words* words : {&expectedWords, &writtenWords}) {
        for (const auto& word : *words) {
            if (std::find(keys.begin(), keys.end(), word.first) == keys.end()) {
                keys.push_back(word.first);
            }
        }
    }
    for (const std::string& key : keys) {
        const std::string was = ValueOf(writtenWords, key);
        const std::string is = ValueOf(expectedWords, key);
        if (was != is) {
            const auto shown = [&](const std::string& value) {
                return value.empty() ? "no " + key : key + "=" + value;
            };
            return "its header has " + shown(was) + " where this run has " + shown(is);
        }
    }
    return "its header is not that of this experiment (" + std::string(expectedLine) + ")";
}

std::string ChannelTitle(const rs_sim::Channel& channel, std::int32_t interleave) {
    std::string title = std::visit(
        [](const auto& chosen) -> std::string {
            using Chosen = std::decay_t<decltype(chosen)>;
            if constexpr (std::is_same_v<Chosen, rs_sim::QarySymmetricChannel>) {
                return chosen.erasure
                           ? "q-ary symmetric channel, erasures " + DecimalText(*chosen.erasure)
                           : std::string("q-ary symmetric channel");
            } else if constexpr (std::is_same_v<Chosen, rs_sim::BinarySymmetricChannel>) {
                return "binary symmetric channel";
            } else if constexpr (std::is_same_v<Chosen, rs_sim::BpskAwgnChannel>) {
                if (!chosen.eraseBelow) {
                    return "BPSK over AWGN, hard decisions";
                }
                const std::string threshold = ThresholdText(chosen);
                return threshold == "best"
                           ? std::string("BPSK over AWGN, erasures below the best threshold")
                           : "BPSK over AWGN, erasures below " + threshold;
            } else {
                return std::string("Gilbert-Elliott channel (") +
                       (chosen.level == rs_sim::GilbertElliottChannel::Level::kBit ? "bits"
                                                                                   : "symbols") +
                       ", burst " + DecimalText(chosen.burst) + ", e_G " +
                       DecimalText(chosen.goodError) + ", e_B " + DecimalText(chosen.badError) +
                       ")";
            }
        },
        channel);
    if (interleave > 1) {
        title += ", interleaved by " + std::to_string(interleave);
    }
    return title;
}

}  // namespace rs
