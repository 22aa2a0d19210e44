#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "report/plot/plot.h"
#include "rs_sim/experiment.h"

namespace rs {

// Every seed in 0..kMaxSeed gives its own random stream; the generator reads only the low 21
// bits of a seed, so larger values would silently repeat a smaller seed's stream.
inline constexpr std::int32_t kMaxSeed = rs_sim::kMaxSeed;

inline constexpr int kMaxThreads = rs_sim::kMaxThreads;

// The CPUs the process may use at once (affinity mask, cgroup quota), at least 1.
int DefaultThreads();

// How a run estimates its rates: by sending random blocks (the default), or by sampling the
// error patterns of each weight and weighting them by their binomial chance at each P0.
enum class Method : std::uint8_t { kMonteCarlo, kStratified };

// The relative half-width a stratified run's intervals reach unless told.
inline constexpr double kDefaultPrecision = 0.01;

// What a Monte-Carlo run alone may be asked.
struct MonteCarloOptions {
    // Continue an interrupted run from the points its report holds.
    bool resume = false;
    // The literal reference engine in place of the fast one; both count alike.
    bool referenceEngine = false;
    // Point i starts from the seed's stream jumped ahead by i x 2^40 draws instead of from the
    // seed.
    bool independentPoints = false;
};

// What a stratified run alone may be asked.
struct StratifiedOptions {
    // Patterns per weight; when not given, as many as the precision needs.
    std::optional<std::int64_t> samples;
    double precision = kDefaultPrecision;
};

// Pmax, Pmin and Pstep, as --sweep gives them.
struct SweepLines {
    float Pmax = 0.0F;
    float Pmin = 0.0F;
    float Pstep = 0.0F;
};

// The experiment file's values given as options, each in place of the file's. Counts may exceed
// the file's 32 bits.
struct ExperimentOptions {
    std::optional<std::int32_t> m;
    std::optional<std::int32_t> t;
    std::optional<std::int64_t> maxBlocks;
    std::optional<std::int64_t> maxErrorBlocks;
    std::optional<SweepLines> sweep;
};

// What the command line asks of a run. The defaults are the program's behaviour without
// arguments.
struct RunOptions {
    std::filesystem::path parameterFile = "param.dat";
    // Named on the command line: then read even when the options give the whole experiment.
    bool parameterFileNamed = false;
    ExperimentOptions experiment;
    std::filesystem::path resultsFile = "results.dat";
    bool noWait = false;
    std::int32_t seed = rs_sim::kDefaultSeed;
    std::optional<std::filesystem::path> jsonFile;
    std::optional<std::filesystem::path> csvFile;
    std::optional<std::filesystem::path> plotFile;
    // The plot's y axis, when the user sets it.
    std::optional<YRange> yRange;
    // Threads of the engines: every CPU the process may use unless told; the output is the
    // same for any number.
    int threads = DefaultThreads();
    // P0 values in place of the experiment file's sweep lines; Eb/N0 values for BPSK over AWGN.
    std::optional<rs_sim::Points> grid;
    // The channel the blocks cross, and how many codewords a frame interleaves.
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    std::int32_t interleave = 1;
    // Parity symbols not sent, and what a flagged block delivers.
    std::int32_t puncture = 0;
    rs_sim::Experiment::OnFailure onFailure = rs_sim::Experiment::OnFailure::kDecoded;
    // The code shortened to this length, RS(length, length - 2T); the full length unless told.
    std::optional<std::int32_t> length;
    // No status line under a long point's bar, even on a terminal.
    bool noStatus = false;
    Method method = Method::kMonteCarlo;
    MonteCarloOptions monteCarlo;
    StratifiedOptions stratified;
    // Saved JSON reports to draw on one plot instead of running anything.
    std::vector<std::filesystem::path> compareFiles;
};

// Whether the run reads its experiment file: when it was named, or when the options leave a
// value of it ungiven (the points count as given by a grid or --sweep).
bool NeedsExperimentFile(const RunOptions& options);

// Either the options of a run, or what to print and the exit status when there is no run:
// 0 after --help or --version (text on standard output), 2 on misuse (one line on standard
// error pointing to --help).
struct CommandLine {
    std::optional<RunOptions> options;
    int exitStatus = 0;
    std::string out;
    std::string err;
};

// Parses argv without touching any file.
// program names the program in messages, the usage and the version.
CommandLine ParseCommandLine(int argc, const char* const* argv,
                             const std::string& program = "rs-sim");

}  // namespace rs
