#pragma once

// The codec of a configured code, for real symbols: encode information, decode a received
// word. Symbols are elements of GF(2^m) as integers 0 .. 2^m - 1 (polynomial basis over the
// field's primitive polynomial, the same the simulator uses).

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "rs_sim/experiment.h"

namespace rs_sim {

struct Decoded {
    std::vector<std::uint32_t> word;  // the corrected codeword, n symbols
    std::int32_t corrections = 0;     // symbols changed
    // The decoder found the word uncorrectable: word is then as received.
    bool failed = false;
};

// One operation at a time: a codec works in buffers of its own, so two threads need two.
class Codec {
  public:
    // A codec for code; Make refuses what CheckExperiment would refuse of the code.
    static Expected<Codec> Make(const Code& code);
    Codec(Codec&&) noexcept;
    Codec& operator=(Codec&&) noexcept;
    ~Codec();

    std::int32_t N() const;
    std::int32_t K() const;

    // The systematic codeword of k information symbols, each below 2^m: symbol i is the
    // coefficient of x^i, the 2t parity symbols first, then the information in order. A
    // shortened code's unsent top positions are zero and left out.
    Expected<std::vector<std::uint32_t>> Encode(std::span<const std::uint32_t> information);
    // Corrects up to t errors of an n-symbol word.
    Expected<Decoded> Decode(std::span<const std::uint32_t> received);
    // The same with the symbols at positions erasures (increasing, below n, at most 2t) known
    // unreliable, whatever their values: e errors and s erasures are corrected when 2e + s <= 2t.
    Expected<Decoded> Decode(std::span<const std::uint32_t> received,
                             std::span<const std::int32_t> erasures);

  private:
    struct State;
    explicit Codec(std::unique_ptr<State> state);
    std::unique_ptr<State> state;
};

}  // namespace rs_sim
