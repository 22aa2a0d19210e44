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

namespace {

// Copies symbols into the front of a zeroed buffer of the codec's, or says why they do not fit:
// count of them, each an element of GF(2^m).
std::string Load(std::span<const std::uint32_t> symbols, std::size_t count, std::int32_t m,
                 const char* what, std::vector<rs::Symbol>& buffer) {
    if (symbols.size() != count) {
        return std::string(what) + " takes " + std::to_string(count) + " symbols, not " +
               std::to_string(symbols.size());
    }
    std::fill(buffer.begin(), buffer.end(), 0);
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        if (symbols[i] >= (std::uint64_t{1} << m)) {
            return std::string(what) + ": symbol " + std::to_string(i) + " is " +
                   std::to_string(symbols[i]) + ", beyond GF(2^" + std::to_string(m) + ")";
        }
        buffer[i] = static_cast<rs::Symbol>(symbols[i]);
    }
    return {};
}

}  // namespace

// Codeword layout: symbol i is the coefficient of x^i; the 2t parity symbols come first, the
// information after them. A shortened code's unsent positions are the top ones, all zero.
Expected<std::vector<std::uint32_t>> Codec::Encode(std::span<const std::uint32_t> information) {
    if (std::string error = Load(information, static_cast<std::size_t>(state->k), state->code.m,
                                 "encode", state->information);
        !error.empty()) {
        return {{}, error};
    }
    state->codec.Encode(state->information.data(), state->word.data());
    return {std::vector<std::uint32_t>(state->word.begin(), state->word.begin() + state->n), {}};
}

Expected<Decoded> Codec::Decode(std::span<const std::uint32_t> received) {
    return Decode(received, {});
}

Expected<Decoded> Codec::Decode(std::span<const std::uint32_t> received,
                                std::span<const std::int32_t> erasures) {
    if (erasures.size() > static_cast<std::size_t>(2 * state->code.t)) {
        return {{},
                "decode: " + std::to_string(erasures.size()) +
                    " erasures, beyond 2T=" + std::to_string(2 * state->code.t)};
    }
    for (std::size_t i = 0; i < erasures.size(); ++i) {
        if (erasures[i] < 0 || erasures[i] >= state->n ||
            (i > 0 && erasures[i] <= erasures[i - 1])) {
            return {
                {},
                "decode: erasure " + std::to_string(i) + " is " + std::to_string(erasures[i]) +
                    "; erasures must be increasing positions below n=" + std::to_string(state->n)};
        }
    }
    if (std::string error = Load(received, static_cast<std::size_t>(state->n), state->code.m,
                                 "decode", state->word);
        !error.empty()) {
        return {{}, error};
    }
    state->codec.Decode(state->word.data(), state->information.data(), erasures);
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
