#pragma once

#include <cstdint>
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
};

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

    // Runs the points in order. False as soon as "results.dat" cannot be written.
    bool RunSweep(std::span<const float> points);

    // One point: heading, ruler, blocks until a limit, bar and report. False when
    // "results.dat" could not be written.
    bool RunPoint(float P0);

    const PointStatistics& Statistics() const { return statistics; }

  private:
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
};

}  // namespace rs
