// Any received word of a small code: the codec's decoder against the decoder written out
// literally, output and failure flag alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "literal_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::int32_t m = 2 + data[0] % 5;  // GF(4) to GF(64)
    const std::int32_t n = (1 << m) - 1;
    const std::int32_t t = 1 + data[1] % (n / 2);
    rs::ReedSolomonCodec codec;
    codec.Configure(m, t);
    if (!codec.IsReady()) {
        std::abort();
    }
    rs::testing::LiteralWord received(static_cast<std::size_t>(n), 0);
    for (std::size_t i = 0; i < received.size() && 2 + i < size; ++i) {
        received[i] = data[2 + i] & n;
    }
    std::vector<rs::Symbol> decoded(static_cast<std::size_t>(codec.GetK()));
    const bool allZero = codec.Decode(received.data(), decoded.data());
    const rs::testing::ReferenceOutcome literal = rs::testing::ReferenceDecode(codec, received);
    const bool literalFailure = literal.Flagged(codec.GetT());
    if (allZero != literal.allZero || decoded != literal.decoded ||
        codec.LastDecodeFailureDetected() != literalFailure || !literal.invariantsHeld) {
        std::abort();
    }
    return 0;
}
