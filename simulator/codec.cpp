#include "rs_sim/codec.h"

#include <algorithm>
#include <new>
#include <string>

#include "codec/reed_solomon_codec.h"

namespace rs_sim {

struct Codec::State {
    Code code;
    std::int32_t n = 0;  // sent
    std::int32_t k = 0;  // sent information symbols
    rs::ReedSolomonCodec codec;
    std::vector<rs::Symbol> word;         // the full code's n symbols
    std::vector<rs::Symbol> information;  // the full code's k symbols
};

Codec::Codec(std::unique_ptr<State> state) : state(std::move(state)) {}
Codec::Codec(Codec&&) noexcept = default;
Codec& Codec::operator=(Codec&&) noexcept = default;
Codec::~Codec() = default;

std::int32_t Codec::N() const {
    return state->n;
}

std::int32_t Codec::K() const {
    return state->k;
}

Expected<Codec> Codec::Make(const Code& code) {
    Experiment experiment;
    experiment.code = code;
    if (std::string problem = CheckExperiment(experiment); !problem.empty()) {
        return {{}, problem};
    }
    try {
        auto state = std::make_unique<State>();
        state->code = code;
        state->codec.Configure(code.m, code.t);
        if (!state->codec.IsReady()) {
            return {{},
                    "the code of M=" + std::to_string(code.m) + ", T=" + std::to_string(code.t) +
                        " cannot be built"};
        }
        state->n = code.N();
        state->k = code.K();
        state->codec.SetSentLength(state->n);
        state->word.resize(static_cast<std::size_t>(state->codec.GetN()));
        state->information.resize(static_cast<std::size_t>(state->codec.GetK()));
        return {Codec(std::move(state)), {}};
    } catch (const std::bad_alloc&) {
        return {{}, "out of memory building the code of M=" + std::to_string(code.m)};
    }
}

// Codeword layout: symbol i is the coefficient of x^i; the 2t parity symbols come first, the
// information after them. A shortened code's unsent positions are the top ones, all zero.
Expected<std::vector<std::uint32_t>> Codec::Encode(std::span<const std::uint32_t> information) {
    if (information.size() != static_cast<std::size_t>(state->k)) {
        return {{},
                "encode takes " + std::to_string(state->k) + " information symbols, not " +
                    std::to_string(information.size())};
    }
    const std::uint64_t q = std::uint64_t{1} << state->code.m;
    std::fill(state->information.begin(), state->information.end(), 0);
    for (std::size_t j = 0; j < information.size(); ++j) {
        if (information[j] >= q) {
            return {{},
                    "information symbol " + std::to_string(j) + " is " +
                        std::to_string(information[j]) + ", beyond GF(2^" +
                        std::to_string(state->code.m) + ")"};
        }
        state->information[j] = static_cast<rs::Symbol>(information[j]);
    }
    state->codec.Encode(state->information.data(), state->word.data());
    return {std::vector<std::uint32_t>(state->word.begin(), state->word.begin() + state->n), {}};
}

Expected<Decoded> Codec::Decode(std::span<const std::uint32_t> received) {
    if (received.size() != static_cast<std::size_t>(state->n)) {
        return {{},
                "decode takes " + std::to_string(state->n) + " symbols, not " +
                    std::to_string(received.size())};
    }
    const std::uint64_t q = std::uint64_t{1} << state->code.m;
    std::fill(state->word.begin(), state->word.end(), 0);
    for (std::size_t i = 0; i < received.size(); ++i) {
        if (received[i] >= q) {
            return {{},
                    "received symbol " + std::to_string(i) + " is " + std::to_string(received[i]) +
                        ", beyond GF(2^" + std::to_string(state->code.m) + ")"};
        }
        state->word[i] = static_cast<rs::Symbol>(received[i]);
    }
    state->codec.Decode(state->word.data(), state->information.data());
    Decoded decoded;
    decoded.failed = state->codec.LastDecodeFailureDetected();
    decoded.word.assign(received.begin(), received.end());
    if (!decoded.failed) {
        const std::span<const rs::Symbol> corrected = state->codec.Corrected();
        for (std::size_t i = 0; i < received.size(); ++i) {
            const auto symbol = static_cast<std::uint32_t>(corrected[i]);
            decoded.corrections += symbol != received[i] ? 1 : 0;
            decoded.word[i] = symbol;
        }
    }
    return {std::move(decoded), {}};
}

}  // namespace rs_sim
