#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "driver/output_stream.h"
#include "driver/parameter_file.h"
#include "driver/performance_counter.h"
#include "random/random_generator.h"

namespace rs {

// Every point restarts the generator from this seed, so any point can be reproduced alone.
inline constexpr std::int32_t kSeed = 1234;
inline constexpr int kBarWidth = 30;
// A sweep longer than this is taken for a mistake in "param.dat" rather than an experiment.
inline constexpr std::size_t kMaxSweepPoints = 1000000;

// The channel error probabilities of the sweep, from Pmax down while the next value, taken
// in double precision before rounding to single, stays at or above Pmin.
struct SweepPlan {
    std::vector<float> points;
    std::string error;  // set when the sweep would never end or is absurdly long
};
SweepPlan PlanSweep(float Pmax, float Pmin, float Pstep);

// Counts of one point. Blocks are bounded by the 32-bit limits of "param.dat"; the symbol
// counts can exceed 32 bits in a long point.
struct PointStatistics {
    std::int32_t blocks = 0;
    std::int32_t errorBlocks = 0;
    std::int64_t channelErrors = 0;
    std::int64_t errorSymbols = 0;
    // Information bits in error: the popcount of decoded XOR sent over the k symbols.
    std::int64_t bitErrors = 0;
    // Blocks whose locator had fewer distinct roots among the n positions than its degree,
    // whether or not their information came out right.
    std::int32_t detectedFailures = 0;

    bool operator==(const PointStatistics&) const = default;
};

// What a finished point hands to the machine-readable reports.
struct PointRecord {
    float P0 = 0.0F;
    PointStatistics statistics;
    double seconds = 0.0;
};

// Called once per finished point, after its statistics are known and before "results.dat" is
// flushed, so files it keeps never hold fewer points than the report. Returns an error
// message, empty on success.
using PointObserver = std::function<std::string(const PointRecord&)>;

// The rates of a point's report; a point without blocks gives NaN rates.
struct PointRates {
    double channelSER;
    double FER;
    std::int64_t transmittedSymbols;
    double SER;
};
PointRates ComputeRates(const PointStatistics& statistics, std::int32_t n, std::int32_t k);
// Seconds between two counts.
double ExperimentTime(std::int64_t startCount, std::int64_t stopCount, std::int64_t frequency);
// Thousands of information symbols per second.
double TransmittingSpeed(std::int32_t blocks, std::int32_t k, double experimentTime);

// The four symbol arrays of the block experiment, allocated once and reused by every block;
// nothing in them carries over from one block to the next. Throws std::bad_alloc.
struct BlockArrays {
    BlockArrays(std::int32_t n, std::int32_t k);

    std::unique_ptr<Symbol[]> infoBlock;
    std::unique_ptr<Symbol[]> decodedBlock;
    std::unique_ptr<Symbol[]> codeword;
    std::unique_ptr<Symbol[]> receivedWord;
};

// The Monte-Carlo experiment on a configured codec: per point, random blocks through encoder,
// q-ary symmetric channel and decoder, with a progress bar on the console and a report on
// both streams. The arrays must be sized for the codec's n and k.
class Simulation {
  public:
    Simulation(const SimulationParameters& parameters, ReedSolomonCodec& codec,
               RandomGenerator& generator, BlockArrays arrays, OutputStream& console,
               OutputStream& results, PerformanceCounter& counter);

    // The seed every point restarts from.
    void SetSeed(std::int32_t value) { seed = value; }
    void SetPointObserver(PointObserver observer) { pointObserver = std::move(observer); }
    // Skips the bit and failure counts; only for measuring what gathering them costs.
    void SetGatherDetail(bool value) { gatherDetail = value; }

    // Runs the points in order. False as soon as "results.dat" cannot be written or the
    // point observer fails.
    bool RunSweep(std::span<const float> points);

    // One point: heading, ruler, blocks until a limit, bar and report. False when
    // "results.dat" could not be written or the point observer failed.
    bool RunPoint(float P0);

    const PointStatistics& Statistics() const { return statistics; }
    // The point observer's message when it stopped the sweep; empty when the report failed.
    const std::string& ObserverError() const { return observerError; }

  private:
    template <bool kGatherDetail>
    void RunBlock(double p0);
    void UpdateBar();
    bool ReportPoint(float P0, std::int64_t startCount, std::int64_t frequency);

    const SimulationParameters parameters;
    ReedSolomonCodec& codec;
    RandomGenerator& generator;
    OutputStream& console;
    OutputStream& results;
    PerformanceCounter& counter;
    const std::int32_t n;
    const std::int32_t k;
    const std::int32_t q;
    BlockArrays arrays;
    Symbol* const infoBlock;
    Symbol* const decodedBlock;
    Symbol* const codeword;
    Symbol* const receivedWord;
    PointStatistics statistics;
    std::int32_t starsShown = 0;
    std::int32_t seed = kSeed;
    bool gatherDetail = true;
    PointObserver pointObserver;
    std::string observerError;
};

}  // namespace rs
