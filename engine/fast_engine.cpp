#include "engine/fast_engine.h"

#include <algorithm>
#include <bit>
#include <type_traits>

#include "engine/hit_threshold.h"

namespace rs {

namespace {

constexpr std::size_t kInitialHits = 1024;

}  // namespace

FastEngine::FastEngine(ReedSolomonCodec& codec, std::int32_t m, const DrawKernel& kernel,
                       int threads, int rowsPerLane)
    : codec(&codec),
      n(codec.GetN()),
      k(codec.GetK()),
      t(codec.GetT()),
      q(std::int32_t{1} << m),
      candidates(kernel, threads, rowsPerLane),
      jump(JumpAhead::Instance()) {
    GrowHits();
}

FastEngine::FastEngine(std::int32_t m, std::int32_t t, const DrawKernel& kernel, int threads,
                       int rowsPerLane)
    : codec(nullptr),
      algebraic(std::make_unique<AlgebraicDecoder>(m, t)),
      n(static_cast<std::int32_t>((std::int64_t{1} << m) - 1)),
      k(n - 2 * t),
      t(t),
      q(std::int32_t{1} << m),
      candidates(kernel, threads, rowsPerLane),
      jump(JumpAhead::Instance()) {
    GrowHits();
}

void FastEngine::GrowHits() {
    const std::size_t size =
        std::min(static_cast<std::size_t>(n), std::max(kInitialHits, 2 * hitPositions.size()));
    hitPositions.resize(size);
    hitValues.resize(size);
    corrections.reserve(static_cast<std::size_t>(2 * t + 1));
}

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
    positionsStart = blockStart + static_cast<std::uint64_t>(k);
    std::uint64_t draw = positionsStart;
    std::uint64_t end = draw + static_cast<std::uint64_t>(n);  // moves one on with each hit
    std::int32_t* positions = hitPositions.data();
    auto room = static_cast<std::int32_t>(hitPositions.size());
    std::int32_t hits = 0;
    for (;;) {
        const std::uint64_t hit = candidates.Next(draw, end);
        if (hit == end) {
            break;
        }
        if (hits == room) {
            GrowHits();
            positions = hitPositions.data();
            room = static_cast<std::int32_t>(hitPositions.size());
        }
        // The position is the hit's draw less the value draws of the earlier hits.
        positions[hits] =
            static_cast<std::int32_t>(hit - positionsStart - static_cast<std::uint64_t>(hits));
        ++hits;
        draw = hit + 2;
        ++end;
    }
    blockStart = end;
    hitCount = hits;

    ++statistics.blocks;
    statistics.channelErrors += hits;
    // Within the decoder's guarantee nothing goes wrong and nothing is flagged.
    if (hits <= t) {
        return false;
    }
    return codec != nullptr ? DecodeHits(*codec, statistics) : DecodeHits(*algebraic, statistics);
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

template <typename Decoder>
bool FastEngine::DecodeHits(Decoder& decoder, PointStatistics& statistics) {
    const auto hits = static_cast<std::size_t>(hitCount);
    for (std::size_t i = 0; i < hits; ++i) {
        // NextInt(q - 1) + 1, a plain remainder as the reference draws it.
        hitValues[i] =
            static_cast<Symbol>(ValueOfDraw(ValueDrawOf(i)) % static_cast<std::uint32_t>(q - 1)) +
            1;
    }

    corrections.clear();
    bool failure = false;
    if (!decoder.SetSparseSyndromes(hitPositions.data(), hitValues.data(), hitCount)) {
        const auto correct = [&](std::int32_t p, Symbol value) {
            corrections.push_back({p, value});
        };
        if constexpr (std::is_same_v<Decoder, ReedSolomonCodec>) {
            decoder.template FindErrors<true>(correct);
        } else {
            decoder.FindErrors(correct);
        }
        failure = decoder.LastDecodeFailureDetected();
    }
    std::sort(corrections.begin(), corrections.end(),
              [](const Correction& a, const Correction& b) { return a.position < b.position; });

    // The decoded information differs from the sent one where e plus the corrections is
    // nonzero; the information symbols sit at positions n-k..n-1. Hits and corrections are
    // both in ascending position here.
    std::int32_t symbolErrors = 0;
    std::int64_t bitErrors = 0;
    const auto count = [&](std::int32_t p, Symbol d) {
        if (p >= n - k && d != 0) {
            ++symbolErrors;
            bitErrors += std::popcount(static_cast<std::uint32_t>(d));
        }
    };
    std::size_t h = 0;
    std::size_t c = 0;
    while (h < hits || c < corrections.size()) {
        const std::int32_t hp = h < hits ? hitPositions[h] : n;
        const std::int32_t cp = c < corrections.size() ? corrections[c].position : n;
        if (hp == cp) {
            count(hp, hitValues[h++] ^ corrections[c++].value);
        } else if (hp < cp) {
            count(hp, hitValues[h++]);
        } else {
            count(cp, corrections[c++].value);
        }
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
