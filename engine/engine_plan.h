#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/channel/frame_receiver.h"
#include "engine/engine.h"
#include "engine/parallel/segment_shape.h"
#include "rs_sim/experiment.h"

namespace rs {

// The engines' front door: the one header the driver needs. A run asks for a plan, checks
// what the plan needs, and makes the engine from it.

class SegmentFiller;
class FrameLane;

// Segment makers in other processes for a code of GF(2^m) correcting t errors, shortened to
// length (0: the full length), decoding with tables or without; empty when there are none.
using RemoteFillers = std::function<std::vector<std::unique_ptr<SegmentFiller>>(
    std::int32_t m, std::int32_t t, std::int32_t length, bool tabled)>;

// Frame fillers in other processes for the same code, for the channels that send frames.
using RemoteFrameLanes = std::function<std::vector<std::unique_ptr<FrameLane>>(
    std::int32_t m, std::int32_t t, std::int32_t length, bool tabled)>;

enum class EngineKind : std::uint8_t {
    kReference,  // the literal experiment, block by block
    kFast,       // one walk through the blocks; other threads make candidate chunks ahead
    kParallel,   // segments made by workers, stitched in order
};

using rs_sim::SendsFrames;

// What a run asks of the engines.
struct EngineRequest {
    std::int32_t m = 0;  // the code is one of GF(2^m)
    std::int32_t t = 0;  // correcting t errors
    // Shortened to this length, 2t < length < 2^m - 1: RS(length, length - 2t); 0 (or
    // 2^m - 1) for the full length.
    std::int32_t length = 0;
    // The channel, and the codewords a frame interleaves. Any channel but the q-ary symmetric
    // one runs on the frame engines, whose points each draw from streams of their own.
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    std::int32_t interleave = 1;
    // The frames' receiver: punctured parity, and what a flagged block delivers.
    FrameReceiver receiver = {};
    // The sweep's largest P0: the hit buffers are sized for a block there.
    float largestP0 = 0.0F;
    bool reference = false;  // the literal engine, as --engine reference asks
    int threads = 1;
    // Segment makers elsewhere (the MPI variant); none for one process.
    RemoteFillers remoteFillers = {};
    // Frame fillers elsewhere, for the frame engines (the MPI variant); none for one process.
    RemoteFrameLanes remoteFrames = {};
    // The parallel engine's test hooks; asking for any of them asks for that engine.
    SegmentShape shape = {};
    // The bytes the run may use, when known: the fast engine leaves the tables out rather than
    // need more.
    std::optional<std::uint64_t> memoryBudget = {};
    // The sweep's points still to run, and the most blocks one point runs: short points of a
    // sweep run several at once rather than share their segments out.
    std::size_t points = 1;
    std::int64_t pointBlocks = 0;
};

// An engine, or why it could not be made.
struct MadeEngine {
    std::unique_ptr<Engine> engine;
    std::string error;
};

// Which engine runs a request, why, and what it needs, before anything large is built.
struct EnginePlan {
    EngineRequest request;
    EngineKind kind = EngineKind::kFast;
    std::string why;               // one line on the choice, for messages and benchmarks
    bool tabled = true;            // builds the code's power and log tables
    std::uint64_t memoryNeed = 0;  // about the most bytes the engines hold, for the memory check
    // Points run at once, each on an engine of its own made by Make(); 1 for one point at a
    // time.
    int pointsAtOnce = 1;
    // Threads that share one point's frames, each with its own decoder (the frame engines).
    int frameWorkers = 1;
    std::string error;  // why no engine can run the request; the rest is then not planned

    // "reference" or "fast" (the parallel engine is the fast engine's counts on threads).
    const char* Name() const { return kind == EngineKind::kReference ? "reference" : "fast"; }
    // Builds the code and the engine (with points at once, one of their engines); a failure to
    // allocate is an error, not an exception.
    MadeEngine Make() const;
};

// Fields up to this degree decode with the field's tables (three of 2^M entries, and the
// codec's buffers: about 40 MB at M = 20) when the memory allows; the table-free decoder,
// whose products are carry-less multiplications, is several times slower on blocks with many
// hits, and above M = 24 or so the tables would not fit.
inline constexpr std::int32_t kLargestTabledField = 20;

// A point of at most this many draws (blocks times n) is short: a sweep of them runs on
// threads fastest as whole points at once. A point runs in well under a second on the fast
// engine below here at low P0, so the sweep's last point, which runs alone, leaves little
// idle; longer points share their segments out.
inline constexpr double kShortPointDraws = static_cast<double>(1U << 30U);

// The engine for a request: the reference engine when asked for; otherwise the fast engine's
// counts: several short points at once when threads share a sweep of them; on segments when
// threads (or other processes) share a point and the code's blocks fit segments; else on one
// walk.
EnginePlan PlanEngine(const EngineRequest& request);

}  // namespace rs
