#include "engine/reference_engine.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "base/contract.h"

namespace rs {

BlockArrays::BlockArrays(std::int32_t n, std::int32_t k)
    : infoBlock(std::make_unique_for_overwrite<Symbol[]>(static_cast<std::size_t>(k))),
      decodedBlock(std::make_unique_for_overwrite<Symbol[]>(static_cast<std::size_t>(k))),
      codeword(std::make_unique_for_overwrite<Symbol[]>(static_cast<std::size_t>(n))),
      receivedWord(std::make_unique_for_overwrite<Symbol[]>(static_cast<std::size_t>(n))) {}

ReferenceEngine::ReferenceEngine(ReedSolomonCodec& codec, RandomGenerator& generator,
                                 BlockArrays arrays, std::int32_t q, std::int32_t length)
    : codec(codec),
      generator(generator),
      n(codec.GetN()),
      k(codec.GetK()),
      sent(length > 0 ? length : n),
      drawn(k - (n - sent)),
      q(q),
      arrays(std::move(arrays)) {
    RS_ASSERT(codec.IsReady() && q == n + 1, "the channel draws symbols of the codec's field");
    codec.SetSentLength(sent);
    // A shortened code's unsent information symbols are zero in every block, and so are their
    // places in the codeword and in the received word.
    std::fill(this->arrays.infoBlock.get() + drawn, this->arrays.infoBlock.get() + k, Symbol{0});
    std::fill(this->arrays.receivedWord.get() + sent, this->arrays.receivedWord.get() + n,
              Symbol{0});
}

void ReferenceEngine::StartPointAt(float P0, PackedState start) {
    generator.SetState(start);
    p0 = static_cast<double>(P0);
}

void ReferenceEngine::RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) {
    while (statistics.blocks < blockLimit) {
        const bool wrong = gatherDetail ? RunBlock<true>(statistics) : RunBlock<false>(statistics);
        if (wrong) {
            return;
        }
    }
}

// The draws of a block come in a fixed order (k information symbols, then per position one
// uniform and, for a hit only, one error value), which fixes every count of a run. A shortened
// code draws only its own information symbols and crosses only its own positions.
template <bool kGatherDetail>
bool ReferenceEngine::RunBlock(PointStatistics& statistics) {
    Symbol* const infoBlock = arrays.infoBlock.get();
    Symbol* const decodedBlock = arrays.decodedBlock.get();
    Symbol* const codeword = arrays.codeword.get();
    Symbol* const receivedWord = arrays.receivedWord.get();
    std::int32_t blockChannelErrors = 0;
    std::int32_t blockSymbolErrors = 0;
    std::int32_t blockBitErrors = 0;
    for (std::int32_t j = 0; j < drawn; ++j) {
        infoBlock[j] = generator.NextInt(q);
    }
    codec.Encode(infoBlock, codeword);

    // q-ary symmetric channel: a hit always changes the symbol, to one of the other q-1.
    for (std::int32_t i = 0; i < sent; ++i) {
        if (generator.NextUniform() < p0) {
            const Symbol error = generator.NextInt(q - 1) + 1;
            receivedWord[i] = codeword[i] ^ error;
            ++blockChannelErrors;
        } else {
            receivedWord[i] = codeword[i];
        }
    }
    statistics.channelErrors += blockChannelErrors;

    // A decoding failure shows only as information symbols that differ from those sent.
    codec.Decode(receivedWord, decodedBlock);
    for (std::int32_t j = 0; j < drawn; ++j) {
        const auto difference = static_cast<std::uint32_t>(decodedBlock[j] ^ infoBlock[j]);
        if (difference != 0) {
            ++blockSymbolErrors;
            if constexpr (kGatherDetail) {
                blockBitErrors += std::popcount(difference);
            }
        }
    }
    ++statistics.blocks;
    statistics.errorSymbols += blockSymbolErrors;
    AddProduct(statistics.errorSymbolSquares, blockSymbolErrors, blockSymbolErrors);
    const bool failure = codec.LastDecodeFailureDetected();
    if constexpr (kGatherDetail) {
        statistics.bitErrors += blockBitErrors;
        statistics.detectedFailures += failure ? 1 : 0;
    }
    if (blockSymbolErrors != 0) {
        ++statistics.errorBlocks;
        if constexpr (kGatherDetail) {
            statistics.miscorrections += failure ? 0 : 1;
        }
        return true;
    }
    return false;
}

}  // namespace rs
