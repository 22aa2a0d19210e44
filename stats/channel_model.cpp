#include "stats/channel_model.h"

#include "stats/bpsk_threshold.h"

#include <cmath>
#include <sstream>
#include <type_traits>
#include <variant>

namespace rs {

namespace {

std::string Text(double value) {
    std::ostringstream out;
    out.precision(6);
    out << value;
    return out.str();
}

// The chance that m steps of the chain from its stationary state are all free of error.
double MarkovRunFree(const ChannelModel& model, std::int32_t m) {
    double good = (1.0 - model.badShare) * (1.0 - model.goodError);
    double bad = model.badShare * (1.0 - model.badError);
    for (std::int32_t b = 1; b < m; ++b) {
        const double nextGood = good * (1.0 - model.goodToBad) + bad * model.badToGood;
        const double nextBad = good * model.goodToBad + bad * (1.0 - model.badToGood);
        good = nextGood * (1.0 - model.goodError);
        bad = nextBad * (1.0 - model.badError);
    }
    return good + bad;
}

ChannelAt Markov(const rs_sim::GilbertElliottChannel& channel, double P0) {
    ChannelModel model;
    model.kind = ChannelModel::Kind::kMarkov;
    model.bitLevel = channel.level == rs_sim::GilbertElliottChannel::Level::kBit;
    model.goodError = channel.goodError;
    model.badError = channel.badError;
    model.badToGood = 1.0 / channel.burst;
    const double largest = LargestMarkovErrorRate(channel);
    const double low = std::fmin(channel.goodError, largest);
    const double high = std::fmax(channel.goodError, largest);
    if (!(P0 >= low && P0 <= high)) {
        return {{},
                "P0=" + Text(P0) + " is beyond the gilbert-elliott channel's reach: with e_G=" +
                    Text(channel.goodError) + ", e_B=" + Text(channel.badError) + " and burst " +
                    Text(channel.burst) + " the long-run error probability is " + Text(low) +
                    " to " + Text(high)};
    }
    if (channel.badError != channel.goodError) {
        const double share = (P0 - channel.goodError) / (channel.badError - channel.goodError);
        // At the largest share every Good sojourn lasts one step; rounding must not pass it.
        model.badShare = std::fmin(std::fmax(share, 0.0), channel.burst / (channel.burst + 1.0));
        model.goodToBad = std::fmin(model.badShare / (1.0 - model.badShare) * model.badToGood, 1.0);
    }
    return {model, {}};
}

}  // namespace

double ChannelModel::SymbolErrorProbability(std::int32_t m) const {
    switch (kind) {
        case Kind::kQarySymmetric:
            return errorRate;
        case Kind::kBinary:
            if (unreliableRate > 0.0) {
                return SymbolsOf({errorRate, unreliableRate}, m).error;
            }
            return -std::expm1(m * std::log1p(-errorRate));
        case Kind::kMarkov:
            if (!bitLevel) {
                return (1.0 - badShare) * goodError + badShare * badError;
            }
            return 1.0 - MarkovRunFree(*this, m);
    }
    return 0.0;
}

double ChannelModel::SymbolErasureProbability(std::int32_t m) const {
    if (kind == Kind::kBinary) {
        return unreliableRate > 0.0 ? SymbolsOf({errorRate, unreliableRate}, m).erasure : 0.0;
    }
    return kind == Kind::kQarySymmetric ? erasureRate : 0.0;
}

double ChannelModel::BitErrorProbability(std::int32_t m) const {
    if (kind == Kind::kBinary) {
        return errorRate;
    }
    if (kind == Kind::kMarkov && bitLevel) {
        return (1.0 - badShare) * goodError + badShare * badError;
    }
    // A uniform nonzero value of m bits flips 2^(m-1) of them on average over 2^m - 1 values.
    const double q = std::ldexp(1.0, m);
    return SymbolErrorProbability(m) * (q / 2.0) / (q - 1.0);
}

bool FlipsBits(const rs_sim::Channel& channel) {
    if (const auto* markov = std::get_if<rs_sim::GilbertElliottChannel>(&channel)) {
        return markov->level == rs_sim::GilbertElliottChannel::Level::kBit;
    }
    return !std::holds_alternative<rs_sim::QarySymmetricChannel>(channel);
}

double NormalTail(double x) {
    return 0.5 * std::erfc(x / std::sqrt(2.0));
}

double BpskBitErrorProbability(double ebN0Db, double rate) {
    return NormalTail(std::sqrt(2.0 * rate * std::pow(10.0, ebN0Db / 10.0)));
}

double LargestMarkovErrorRate(const rs_sim::GilbertElliottChannel& channel) {
    const double share = channel.burst / (channel.burst + 1.0);
    return (1.0 - share) * channel.goodError + share * channel.badError;
}

ChannelAt ModelChannel(const rs_sim::Channel& channel, const SentCode& code, double P0) {
    return std::visit(
        [&](const auto& chosen) -> ChannelAt {
            using Chosen = std::decay_t<decltype(chosen)>;
            ChannelModel model;
            if constexpr (std::is_same_v<Chosen, rs_sim::QarySymmetricChannel>) {
                model.errorRate = P0;
                model.erasureRate = chosen.erasure.value_or(0.0);
                if (chosen.erasure && !(P0 >= 0.0 && P0 + model.erasureRate <= 1.0)) {
                    return {{},
                            "P0=" + Text(P0) + " and the erasure probability " +
                                Text(model.erasureRate) +
                                " exceed 1 together: a symbol is an error or an erasure, never "
                                "both"};
                }
            } else if constexpr (std::is_same_v<Chosen, rs_sim::BinarySymmetricChannel>) {
                if (!(P0 >= 0.0 && P0 <= 1.0)) {
                    return {{},
                            "P0=" + Text(P0) +
                                " is not a bit error probability: the binary-symmetric "
                                "channel takes 0 to 1"};
                }
                model.kind = ChannelModel::Kind::kBinary;
                model.bitLevel = true;
                model.errorRate = P0;
            } else if constexpr (std::is_same_v<Chosen, rs_sim::BpskAwgnChannel>) {
                if (!std::isfinite(P0)) {
                    return {{}, "Eb/N0 must be a finite number of dB"};
                }
                model.kind = ChannelModel::Kind::kBinary;
                model.bitLevel = true;
                const double rate = code.Rate();
                if (!chosen.eraseBelow) {
                    model.errorRate = BpskBitErrorProbability(P0, rate);
                    return {model, {}};
                }
                const auto* given = std::get_if<double>(&*chosen.eraseBelow);
                if (given != nullptr && !(std::isfinite(*given) && *given >= 0.0)) {
                    return {{},
                            "the erasure threshold " + Text(*given) +
                                " is not a finite amplitude of 0 or more"};
                }
                model.threshold = given != nullptr ? *given
                                                   : BestErasureThreshold(P0, rate, code.m, code.n,
                                                                          code.t, code.punctured);
                const BitCategories bits = BpskCategories(P0, rate, model.threshold);
                model.errorRate = bits.wrong;
                model.unreliableRate = bits.unreliable;
            } else {
                return Markov(chosen, P0);
            }
            return {model, {}};
        },
        channel);
}

}  // namespace rs
