#pragma once

#include <cstdint>

namespace rs {

// What the receiver of a frame knows and does beyond the channel: the parity symbols it never
// received (punctured: the last `punctured` parity positions, 2t - punctured .. 2t - 1, are not
// sent, so a codeword takes sent - punctured symbols of the frame, in position order), and what
// a block the decoder flags delivers: its decoding (as the decoder corrects blindly), or its
// received information, an erased symbol counted wrong and delivered as 0.
struct FrameReceiver {
    std::int32_t punctured = 0;
    bool deliverReceived = false;

    bool operator==(const FrameReceiver&) const = default;
};

// The codeword position the j-th symbol a codeword sends stands for, the punctured parity
// skipped, for a code of twoT parity symbols.
constexpr std::int32_t CarriedPosition(std::int32_t j, std::int32_t twoT, std::int32_t punctured) {
    return j < twoT - punctured ? j : j + punctured;
}

}  // namespace rs
