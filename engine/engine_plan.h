#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/parallel/segment_shape.h"

namespace rs {

// The engines' front door: the one header the driver needs. A run asks for a plan, checks
// what the plan needs, and makes the engine from it.

class SegmentFiller;

// Segment makers in other processes for a code of GF(2^m) correcting t errors, decoding with
// tables or without; empty when there are none.
using RemoteFillers = std::function<std::vector<std::unique_ptr<SegmentFiller>>(
    std::int32_t m, std::int32_t t, bool tabled)>;

enum class EngineKind : std::uint8_t {
    kReference,  // the literal experiment, block by block
    kFast,       // one walk through the blocks; other threads make candidate chunks ahead
    kParallel,   // segments made by workers, stitched in order
};

// What a run asks of the engines.
struct EngineRequest {
    std::int32_t m = 0;  // the code is the full-length one of GF(2^m)
    std::int32_t t = 0;  // correcting t errors
    // The sweep's largest P0: the hit buffers are sized for a block there.
    float largestP0 = 0.0F;
    bool reference = false;  // the literal engine, as --engine reference asks
    int threads = 1;
    // Segment makers elsewhere (the MPI variant); none for one process.
    RemoteFillers remoteFillers = {};
    // The parallel engine's test hooks; asking for any of them asks for that engine.
    SegmentShape shape = {};
    // The bytes the run may use, when known: the fast engine leaves the tables out rather than
    // need more.
    std::optional<std::uint64_t> memoryBudget = {};
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
    std::uint64_t memoryNeed = 0;  // about the most bytes the engine holds, for the memory check
    std::string error;  // why no engine can run the request; the rest is then not planned

    // "reference" or "fast" (the parallel engine is the fast engine's counts on threads).
    const char* Name() const { return kind == EngineKind::kReference ? "reference" : "fast"; }
    // Builds the code and the engine; a failure to allocate is an error, not an exception.
    MadeEngine Make() const;
};

// Fields up to this degree decode with the field's tables (three of 2^M entries, and the
// codec's buffers: about 40 MB at M = 20) when the memory allows; the table-free decoder,
// whose products are carry-less multiplications, is several times slower on blocks with many
// hits, and above M = 24 or so the tables would not fit.
inline constexpr std::int32_t kLargestTabledField = 20;

// The engine for a request: the reference engine when asked for; otherwise the fast engine's
// counts, on segments when several threads (or other processes) share the work and the
// code's blocks fit segments, else on one walk.
EnginePlan PlanEngine(const EngineRequest& request);

}  // namespace rs
