#include "driver/program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "codec/reed_solomon_codec.h"
#include "driver/number_format.h"
#include "driver/parameter_file.h"
#include "driver/simulation.h"
#include "random/random_generator.h"

namespace rs {

namespace {

constexpr const char* kParameterFile = "param.dat";
constexpr const char* kResultsFile = "results.dat";
// q = 2^M must fit a 32-bit signed integer.
constexpr std::int32_t kMaxFieldDegree = 30;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

int Fail(const ProgramEnvironment& environment, const std::string& message) {
    environment.errors.Write("rs-sim: " + message + "\n");
    environment.errors.Flush();
    return 1;
}

// Rejects what no code can be built from; empty when the values are usable.
std::string CheckCodeParameters(const SimulationParameters& parameters) {
    const std::string where = std::string(kParameterFile) + ": ";
    if (parameters.M < 1 || parameters.M > kMaxFieldDegree) {
        return where + "M=" + std::to_string(parameters.M) +
               " is out of range: the field degree must be 1 to " + std::to_string(kMaxFieldDegree);
    }
    if (parameters.T < 0) {
        return where + "T=" + std::to_string(parameters.T) +
               " is out of range: T must be 0 or more";
    }
    const std::int64_t n = (std::int64_t{1} << parameters.M) - 1;
    if (2 * std::int64_t{parameters.T} > n) {
        return where + "T=" + std::to_string(parameters.T) +
               " is too large for M=" + std::to_string(parameters.M) +
               ": 2T must not exceed n=" + std::to_string(n);
    }
    return {};
}

}  // namespace

int RunProgram(const ProgramEnvironment& environment) {
    // The generator comes first so that its state is fixed before anything else happens.
    const auto generator = std::make_unique<RandomGenerator>();
    generator->Seed(kSeed);

    const ParameterResult read = ReadParameters(environment.directory / kParameterFile);
    if (!read.parameters) {
        return Fail(environment, read.error);
    }
    const SimulationParameters& parameters = *read.parameters;
    if (std::string problem = CheckCodeParameters(parameters); !problem.empty()) {
        return Fail(environment, problem);
    }

    // Everything that can reject the run happens before "results.dat" is touched, so a
    // rejected run leaves the results of an earlier one in place.
    const auto codec = std::make_unique<ReedSolomonCodec>();
    codec->Configure(parameters.M, parameters.T);
    if (!codec->IsReady()) {
        return Fail(environment, "cannot build the code for M=" + std::to_string(parameters.M) +
                                     ", T=" + std::to_string(parameters.T) + ": out of memory");
    }
    const SweepPlan plan = PlanSweep(parameters.Pmax, parameters.Pmin, parameters.Pstep);
    if (!plan.error.empty()) {
        return Fail(environment, std::string(kParameterFile) + ": " + plan.error);
    }

    std::optional<BlockArrays> arrays;
    try {
        arrays.emplace(codec->GetN(), codec->GetK());
    } catch (const std::bad_alloc&) {
        return Fail(environment, "cannot allocate the block buffers for n=" +
                                     std::to_string(codec->GetN()) + ": out of memory");
    }

    const std::string resultsPath = (environment.directory / kResultsFile).string();
    std::unique_ptr<std::FILE, FileCloser> resultsFile(std::fopen(resultsPath.c_str(), "w"));
    if (!resultsFile) {
        return Fail(environment,
                    std::string(kResultsFile) + ": cannot create: " + std::strerror(errno));
    }
    // Large enough that a point's lines never reach the disk before the point's flush, so an
    // interrupted run leaves only complete points.
    std::setvbuf(resultsFile.get(), nullptr, _IOFBF, 1 << 16);
    StdioStream results(resultsFile.get(), false);
    Simulation simulation(parameters, *codec, *generator, std::move(*arrays), environment.console,
                          results, environment.counter);

    const std::int32_t n = codec->GetN();
    const std::int32_t k = codec->GetK();
    const std::int32_t q = std::int32_t{1} << parameters.M;
    const double R = static_cast<double>(k) / static_cast<double>(n);
    const std::string header = "Reed-Solomon codes, n=" + std::to_string(n) +
                               "  k=" + std::to_string(k) + "  R=" + FormatFixed2(R) +
                               "  t=" + std::to_string(parameters.T) + "  q=" + std::to_string(q) +
                               "\n";
    environment.console.Write(header);
    results.Write(header);
    const auto writeFailure = [&] {
        return Fail(environment,
                    std::string(kResultsFile) + ": cannot write: " + std::strerror(errno));
    };
    // A full disk stops the run at once rather than after hours of results that are lost.
    if (!results.Flush() || !simulation.RunSweep(plan.points)) {
        return writeFailure();
    }

    environment.console.Write("\nPress any key");
    environment.console.Flush();
    environment.waitForKey();

    if (std::fclose(resultsFile.release()) != 0) {
        return writeFailure();
    }
    return 0;
}

}  // namespace rs
