#include "engine/fast_engine.h"

#include <bit>

#include "engine/hit_threshold.h"

namespace rs {

FastEngine::FastEngine(ReedSolomonCodec& codec, std::int32_t q, const DrawKernel& kernel)
    : codec(codec),
      n(codec.GetN()),
      k(codec.GetK()),
      t(codec.GetT()),
      q(q),
      candidates(kernel),
      jump(JumpAhead::Instance()),
      hitPositions(static_cast<std::size_t>(codec.GetN())),
      hitValueDraws(static_cast<std::size_t>(codec.GetN())),
      hitValues(static_cast<std::size_t>(codec.GetN())),
      difference(static_cast<std::size_t>(codec.GetN()), 0) {}

void FastEngine::StartPoint(float P0, std::int32_t seed) {
    seeded = SeededState(seed);
    candidates.Start(seeded, HitThreshold(static_cast<double>(P0)));
    blockStart = 0;
    valueState = seeded;
    valueCursor = 0;
}

void FastEngine::RunBlocks(PointStatistics& statistics, std::int32_t blockLimit) {
    while (statistics.blocks < blockLimit) {
        if (RunBlock(statistics)) {
            return;
        }
    }
}

bool FastEngine::RunBlock(PointStatistics& statistics) {
    // Positions draw from blockStart + k on; a hit takes one more draw for its value, and a
    // candidate that falls on an information draw or on a value draw is no hit.
    std::uint64_t draw = blockStart + static_cast<std::uint64_t>(k);
    std::uint64_t end = draw + static_cast<std::uint64_t>(n);  // moves one on with each hit
    std::int32_t* positions = hitPositions.data();
    std::uint64_t* valueDraws = hitValueDraws.data();
    std::int32_t hits = 0;
    for (;;) {
        const std::uint64_t hit = candidates.Next(draw, end);
        if (hit == end) {
            break;
        }
        // The position is the hit's draw less the value draws of the earlier hits.
        positions[hits] = static_cast<std::int32_t>(
            hit - (blockStart + static_cast<std::uint64_t>(k)) - static_cast<std::uint64_t>(hits));
        valueDraws[hits] = hit + 1;
        ++hits;
        draw = hit + 2;
        ++end;
    }
    blockStart = end;
    hitCount = hits;

    ++statistics.blocks;
    statistics.channelErrors += hits;
    // Within the decoder's guarantee nothing goes wrong and nothing is flagged.
    return hits > t && DecodeHits(statistics);
}

std::uint32_t FastEngine::ValueOfDraw(std::uint64_t index) {
    // The value of draw i is the current word after i + 1 draws.
    const std::uint64_t target = index + 1;
    if (target < valueCursor) {
        valueState = seeded;
        valueCursor = 0;
    }
    const std::uint64_t gap = target - valueCursor;
    if (gap <= 8) {
        for (std::uint64_t i = 0; i < gap; ++i) {
            valueState = Draw(valueState);
        }
    } else {
        valueState = jump.Advance(valueState, gap);
    }
    valueCursor = target;
    return DrawnValue(valueState);
}

bool FastEngine::DecodeHits(PointStatistics& statistics) {
    const auto hits = static_cast<std::size_t>(hitCount);
    touched.clear();
    for (std::size_t i = 0; i < hits; ++i) {
        // NextInt(q - 1) + 1, a plain remainder as the reference draws it.
        const Symbol value =
            static_cast<Symbol>(ValueOfDraw(hitValueDraws[i]) % static_cast<std::uint32_t>(q - 1)) +
            1;
        hitValues[i] = value;
        difference[static_cast<std::size_t>(hitPositions[i])] = value;
        touched.push_back(hitPositions[i]);
    }

    bool failure = false;
    if (!codec.SetSparseSyndromes(hitPositions.data(), hitValues.data(),
                                  static_cast<std::int32_t>(hits))) {
        codec.FindErrors([&](std::int32_t p, Symbol value) {
            Symbol& d = difference[static_cast<std::size_t>(p)];
            if (d == 0) {
                touched.push_back(p);
            }
            d ^= value;
        });
        failure = codec.LastDecodeFailureDetected();
    }

    // The information symbols sit at positions n-k..n-1.
    std::int32_t symbolErrors = 0;
    std::int64_t bitErrors = 0;
    for (const std::int32_t p : touched) {
        Symbol& d = difference[static_cast<std::size_t>(p)];
        if (p >= n - k && d != 0) {
            ++symbolErrors;
            bitErrors += std::popcount(static_cast<std::uint32_t>(d));
        }
        d = 0;
    }
    statistics.errorSymbols += symbolErrors;
    statistics.bitErrors += bitErrors;
    if (failure) {
        ++statistics.detectedFailures;
    }
    if (symbolErrors != 0) {
        ++statistics.errorBlocks;
        return true;
    }
    return false;
}

}  // namespace rs
