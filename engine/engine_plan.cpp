#include "engine/engine_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>

#include "codec/reed_solomon_codec.h"
#include "engine/channel/frame_engine.h"
#include "engine/fast_engine.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel/segment.h"
#include "engine/parallel_engine.h"
#include "engine/reference_engine.h"
#include "engine/remote/frame_lane.h"
#include "random/random_generator.h"

namespace rs {

namespace {

// The bytes of one symbol in the codec's tables and buffers.
constexpr double kSymbolBytes = sizeof(Symbol);
// The program itself, the fast engine's draw buffers and jump tables, the sweep's points.
constexpr double kFixedBytes = 8.0 * 1024 * 1024;
// The hit buffers are sized for a block this many standard deviations above the mean hits.
constexpr double kHitDeviations = 10.0;
constexpr double kHitSlack = 1024.0;

// About the most bytes the code and a one-walk engine hold: the field's tables and the codec's
// buffers where the engine uses them, the reference engine's block arrays, the fast engine's
// hit buffers for its worst block at the sweep's largest P0.
std::uint64_t SingleWalkMemory(const EngineRequest& request, bool tabled) {
    const auto n = static_cast<double>((std::uint64_t{1} << request.m) - 1);
    const double k = n - 2.0 * request.t;
    const double twoT = 2.0 * request.t + 1.0;
    double bytes = kFixedBytes;
    if (tabled) {
        // Power, log and work tables; generator and its working copy; the decoder's and the
        // encoder's buffers (the evaluator holds 2n + 1).
        bytes += kSymbolBytes * (3.0 * n + 2.0 * n + 4.0 * twoT + n + 2.0 * n + 2.0 * n);
    }
    if (request.reference) {
        bytes += kSymbolBytes * (2.0 * k + 2.0 * n);  // the block arrays
    } else {
        // A position and a value per hit of the worst block.
        const double p = std::clamp(static_cast<double>(request.largestP0), 0.0, 1.0);
        const double hits =
            std::min(n, n * p + kHitDeviations * std::sqrt(n * p * (1.0 - p)) + kHitSlack);
        bytes += 2.0 * kSymbolBytes * hits;
    }
    return static_cast<std::uint64_t>(bytes);
}

// About the most bytes a frame worker holds: on the literal path the frame's bits, codewords
// and information; on the fast one a frame's error steps with their values and the codewords'
// patterns, at the sweep's densest point ten deviations up (Eb/N0 does not say its bit error
// rate at a glance: every other bit wrong is taken), and a batch's outcomes.
std::uint64_t FrameMemory(const EngineRequest& request) {
    const double n = request.length > 0 ? static_cast<double>(request.length)
                                        : static_cast<double>((std::uint64_t{1} << request.m) - 1);
    const double symbols = n * request.interleave;
    const double m = request.m;
    if (request.reference) {
        return static_cast<std::uint64_t>(symbols * (m + 3.0 * kSymbolBytes));
    }
    // Hard decisions err on at most half the bits; below a large threshold every bit may be
    // unreliable, each event then with its flag.
    const bool erasesBits = std::holds_alternative<rs_sim::BpskAwgnChannel>(request.channel) &&
                            rs_sim::Erases(request.channel);
    const double rate = erasesBits ? 1.0
                        : std::holds_alternative<rs_sim::BpskAwgnChannel>(request.channel)
                            ? 0.5
                            : std::clamp(static_cast<double>(request.largestP0), 0.0, 1.0);
    const double steps = symbols * m;
    const double errors =
        std::min(steps, steps * rate + kHitDeviations * std::sqrt(steps * rate) + kHitSlack);
    const double bytesPerError =
        8.0 + 2.0 * kSymbolBytes + sizeof(std::int32_t) + (erasesBits ? 1.0 : 0.0);
    constexpr double kBatchBytes = 1024.0 * 1024.0;
    return static_cast<std::uint64_t>(errors * bytesPerError + kBatchBytes);
}

// What a made engine holds besides itself: the code it decodes with and, for the reference
// engine, the generator. Declared before the engine, they outlive it.
class OwningEngine final : public Engine {
  public:
    OwningEngine(std::unique_ptr<ReedSolomonCodec> codec,
                 std::unique_ptr<RandomGenerator> generator)
        : codec(std::move(codec)), generator(std::move(generator)) {}

    std::unique_ptr<ReedSolomonCodec> codec;
    std::unique_ptr<RandomGenerator> generator;
    std::unique_ptr<Engine> engine;

    void BoundBlocks(std::int64_t maxBlocks) override { engine->BoundBlocks(maxBlocks); }
    void ExpectPointAt(float P0, PackedState start) override { engine->ExpectPointAt(P0, start); }
    void StartPointAt(float P0, PackedState start) override { engine->StartPointAt(P0, start); }
    void RunBlocks(PointStatistics& statistics, std::int64_t blockLimit) override {
        engine->RunBlocks(statistics, blockLimit);
    }
};

// The frame engines, for the channels that send frames.
std::unique_ptr<Engine> BuildFrames(const EnginePlan& plan, ReedSolomonCodec* codec) {
    const EngineRequest& request = plan.request;
    const std::int32_t full = static_cast<std::int32_t>((std::int64_t{1} << request.m) - 1);
    const std::int32_t sent = request.length > 0 ? request.length : full;
    const std::int32_t k = sent - 2 * request.t;
    if (plan.kind == EngineKind::kReference) {
        std::vector<LiteralFrames> workers;
        workers.emplace_back(*codec, request.m, sent, request.interleave);
        return std::make_unique<FrameEngine<LiteralFrames>>(
            std::move(workers), request.channel, request.m, sent, k, request.interleave,
            std::vector<std::unique_ptr<FrameLane>>{}, request.receiver);
    }
    // The first worker decodes through the plan's codec, the others through codecs of their own.
    std::vector<FastFrames> workers;
    for (int worker = 0; worker < plan.frameWorkers; ++worker) {
        workers.push_back(FastFrames::Make(request.m, request.t, request.length, codec != nullptr,
                                           request.interleave, worker == 0 ? codec : nullptr));
    }
    std::vector<std::unique_ptr<FrameLane>> lanes;
    if (request.remoteFrames) {
        lanes = request.remoteFrames(request.m, request.t, request.length, codec != nullptr);
    }
    return std::make_unique<FrameEngine<FastFrames>>(std::move(workers), request.channel, request.m,
                                                     sent, k, request.interleave, std::move(lanes),
                                                     request.receiver);
}

std::unique_ptr<Engine> Build(const EnginePlan& plan, ReedSolomonCodec* codec,
                              std::unique_ptr<RandomGenerator>& generator) {
    const EngineRequest& request = plan.request;
    const DrawKernel& kernel = BestKernel();
    if (SendsFrames(request.channel)) {
        return BuildFrames(plan, codec);
    }
    switch (plan.kind) {
        case EngineKind::kReference: {
            const std::int32_t n = codec->GetN();
            generator = std::make_unique<RandomGenerator>();
            return std::make_unique<ReferenceEngine>(
                *codec, *generator, BlockArrays(n, codec->GetK()), n + 1, request.length);
        }
        case EngineKind::kParallel: {
            std::vector<std::unique_ptr<SegmentFiller>> more;
            if (request.remoteFillers) {
                more =
                    request.remoteFillers(request.m, request.t, request.length, codec != nullptr);
            }
            return codec != nullptr
                       ? std::make_unique<ParallelEngine>(*codec, request.m, kernel,
                                                          request.threads, request.shape,
                                                          std::move(more), request.length)
                       : std::make_unique<ParallelEngine>(request.m, request.t, kernel,
                                                          request.threads, request.shape,
                                                          std::move(more), request.length);
        }
        case EngineKind::kFast:
            break;
    }
    // Points at once keep every thread busy already.
    const int threads = plan.pointsAtOnce > 1 ? 1 : request.threads;
    return codec != nullptr
               ? std::make_unique<FastEngine>(*codec, request.m, kernel, threads, 0, request.length)
               : std::make_unique<FastEngine>(request.m, request.t, kernel, threads, 0,
                                              request.length);
}

}  // namespace

EnginePlan PlanEngine(const EngineRequest& request) {
    EnginePlan plan;
    plan.request = request;
    // A level cap that names none would quietly run some other level.
    plan.error = SimdCapProblem(std::getenv("RS_SIM_SIMD"));
    if (!plan.error.empty()) {
        return plan;
    }
    const std::string field = "M=" + std::to_string(request.m);
    const SegmentShape none;
    const bool hooked = request.shape.rowsPerLane != none.rowsPerLane ||
                        request.shape.largestChunks != none.largestChunks ||
                        request.shape.prefetchCutChunks != none.prefetchCutChunks;
    const bool shared = request.threads > 1 || request.remoteFillers || hooked;
    const double n = request.length > 0 ? static_cast<double>(request.length)
                                        : static_cast<double>((std::uint64_t{1} << request.m) - 1);
    const bool shortPoints = request.points > 1 && request.pointBlocks > 0 &&
                             request.pointBlocks * n <= kShortPointDraws;
    if (request.reference) {
        plan.kind = EngineKind::kReference;
        plan.why = "the reference engine, as asked";
    } else if (SendsFrames(request.channel)) {
        // Every frame is a function of (seed, point, frame): points run at once on threads.
        plan.kind = EngineKind::kFast;
        // Points run at once where there are enough of them; the threads left share a point's
        // frames.
        // Other processes' lanes join one engine: points at once would each connect them.
        plan.pointsAtOnce =
            request.remoteFrames
                ? 1
                : static_cast<int>(std::max<std::size_t>(
                      1, std::min<std::size_t>(static_cast<std::size_t>(request.threads),
                                               request.points)));
        plan.frameWorkers = std::max(1, request.threads / plan.pointsAtOnce);
        plan.why = "the fast frame engine on " + std::to_string(plan.pointsAtOnce) +
                   " point(s) of " + field + " at once, " + std::to_string(plan.frameWorkers) +
                   " thread(s) each";
    } else if (request.threads > 1 && !request.remoteFillers && !hooked && shortPoints) {
        plan.kind = EngineKind::kFast;
        plan.pointsAtOnce = static_cast<int>(
            std::min<std::size_t>(static_cast<std::size_t>(request.threads), request.points));
        plan.why = "the fast engine on " + std::to_string(plan.pointsAtOnce) + " points of " +
                   field + " at once, one walk each: the points are short";
    } else if (shared && ParallelEngine::Handles(request.m)) {
        plan.kind = EngineKind::kParallel;
        plan.why = "the parallel engine: " + std::to_string(request.threads) +
                   " threads share the blocks of " + field;
    } else {
        plan.kind = EngineKind::kFast;
        plan.why = shared ? "the fast engine on one walk: the blocks of " + field +
                                " are too long for segments"
                          : "the fast engine on one walk: one thread";
    }
    // The reference engine is the literal experiment, tables and all; the fast engine uses the
    // tables where they fit, and decodes larger fields without them.
    const auto need = [&](bool tabled) {
        std::uint64_t bytes = SingleWalkMemory(request, tabled);
        if (SendsFrames(request.channel)) {
            bytes += FrameMemory(request);
        }
        if (plan.kind == EngineKind::kParallel) {
            bytes += ParallelEngine::MemoryNeed(request.m, request.t, request.threads);
        }
        return bytes * static_cast<std::uint64_t>(plan.pointsAtOnce) *
               static_cast<std::uint64_t>(plan.frameWorkers);
    };
    plan.tabled = request.reference || request.m <= kLargestTabledField;
    plan.memoryNeed = need(plan.tabled);
    if (!request.reference && plan.tabled && request.memoryBudget &&
        plan.memoryNeed > *request.memoryBudget) {
        plan.tabled = false;
        plan.memoryNeed = need(false);
        plan.why += ", without tables: they would not fit the memory";
    }
    return plan;
}

MadeEngine EnginePlan::Make() const {
    MadeEngine made;
    std::unique_ptr<ReedSolomonCodec> codec;
    if (tabled) {
        codec = std::make_unique<ReedSolomonCodec>();
        codec->Configure(request.m, request.t);
        if (!codec->IsReady()) {
            made.error = "cannot build the code for M=" + std::to_string(request.m) +
                         ", T=" + std::to_string(request.t) + ": out of memory";
            return made;
        }
    }
    try {
        auto owner = std::make_unique<OwningEngine>(std::move(codec), nullptr);
        owner->engine = Build(*this, owner->codec.get(), owner->generator);
        made.engine = std::move(owner);
    } catch (const std::bad_alloc&) {
        made.error = "cannot allocate the block buffers for n=" +
                     std::to_string((std::int64_t{1} << request.m) - 1) + ": out of memory";
    }
    return made;
}

}  // namespace rs
