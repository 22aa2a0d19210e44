#include "driver/program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codec/reed_solomon_codec.h"
#include "driver/csv_report.h"
#include "driver/files/output_target.h"
#include "driver/interrupt_notice.h"
#include "driver/json_report.h"
#include "driver/number_format.h"
#include "driver/parameter_file.h"
#include "driver/plot.h"
#include "driver/point_fields.h"
#include "driver/resume.h"
#include "driver/simulation.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/fast_engine.h"
#include "engine/parallel_engine.h"
#include "engine/reference_engine.h"
#include "random/random_generator.h"

namespace rs {

namespace {

// q = 2^M must fit a 32-bit signed integer.
constexpr std::int32_t kMaxFieldDegree = 30;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

int Fail(const ProgramEnvironment& environment, const std::string& message) {
    environment.errors.Write(environment.program + ": " + message + "\n");
    environment.errors.Flush();
    return 1;
}

// Rejects what no code can be built from; empty when the values are usable.
std::string CheckCodeParameters(const SimulationParameters& parameters, const std::string& where) {
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

// The machine-readable outputs of a run, fed one point at a time.
class PointOutputs {
  public:
    PointOutputs(const RunOptions& options, const CodeShape& code) : options(options), code(code) {}

    std::optional<JsonReport> json;
    CsvReport csv;
    std::vector<PlotPoint> plotPoints;

    std::string Record(const PointRecord& record) {
        const PointFields fields = DerivePointFields(record, code);
        if (json) {
            if (std::string error = json->Add(fields); !error.empty()) {
                return error;
            }
        }
        if (options.csvFile) {
            if (std::string error = csv.Add(fields); !error.empty()) {
                return error;
            }
        }
        plotPoints.push_back({static_cast<double>(record.P0), record.statistics.blocks,
                              record.statistics.errorBlocks, record.statistics.errorSymbols});
        return {};
    }

  private:
    const RunOptions& options;
    const CodeShape code;
};

// Experiments that run, but not as their author may think: P0 outside [0, 1], a sweep with no
// point, limits that let no block through. One line each on the error stream.
std::vector<std::string> Warnings(const SimulationParameters& p, const std::string& name,
                                  const std::string& program) {
    const auto text = FormatFloat;
    std::vector<std::string> warnings;
    if (p.Pmax > 1.0F) {
        warnings.push_back("Pmax=" + text(p.Pmax) +
                           " is above 1: at a P0 above 1 every symbol is hit");
    }
    if (p.Pmin < 0.0F) {
        warnings.push_back("Pmin=" + text(p.Pmin) +
                           " is below 0: at a P0 below 0 no symbol is hit");
    }
    if (p.Pmax < p.Pmin) {
        warnings.push_back("Pmax=" + text(p.Pmax) + " is below Pmin=" + text(p.Pmin) +
                           ": the sweep runs no point");
    }
    if (p.maxBlocks <= 0) {
        warnings.push_back("maxBlocks=" + std::to_string(p.maxBlocks) +
                           " is not positive: the points send no block");
    }
    if (p.maxErrorBlocks <= 0) {
        warnings.push_back("maxErrorBlocks=" + std::to_string(p.maxErrorBlocks) +
                           " is not positive: the points send no block");
    }
    for (std::string& warning : warnings) {
        warning = program + ": warning: " + name + ": " + warning + "\n";
    }
    return warnings;
}

// Every output of the run, checked before anything is read, run or written.
struct RunOutputs {
    OutputTarget report;
    std::optional<OutputTarget> json;
    std::optional<OutputTarget> csv;
    std::optional<OutputTarget> plot;
};

// Checks each output where it is and against the others and the experiment file, so that a
// refused run leaves every file as it was. An error message, empty when all can be written.
std::string CheckOutputs(
    const RunOptions& options,
    const std::function<std::filesystem::path(const std::filesystem::path&)>& resolve,
    RunOutputs& outputs) {
    std::vector<OutputTarget> all;
    const auto check = [&](const std::filesystem::path& name, OutputTarget& target) {
        std::string error = CheckOutput(name.string(), resolve(name), target);
        all.push_back(target);
        return error;
    };
    if (std::string error = check(options.resultsFile, outputs.report); !error.empty()) {
        return error;
    }
    const std::pair<const std::optional<std::filesystem::path>*, std::optional<OutputTarget>*>
        optional[] = {{&options.jsonFile, &outputs.json},
                      {&options.csvFile, &outputs.csv},
                      {&options.plotFile, &outputs.plot}};
    for (const auto& [name, target] : optional) {
        if (*name) {
            if (std::string error = check(**name, target->emplace()); !error.empty()) {
                return error;
            }
        }
    }
    if (std::string error = CheckDistinct(all); !error.empty()) {
        return error;
    }
    // An output that is the experiment file would overwrite the experiment.
    struct stat experiment {};
    if (stat(resolve(options.parameterFile).c_str(), &experiment) == 0) {
        for (const OutputTarget& target : all) {
            if (target.exists && target.device == experiment.st_dev &&
                target.inode == experiment.st_ino) {
                return target.name + " is the experiment file " + options.parameterFile.string() +
                       ": the run would overwrite it";
            }
        }
    }
    return {};
}

}  // namespace

int RunProgram(const ProgramEnvironment& environment) {
    const RunOptions& options = environment.options;
    // Relative names start from the environment's directory, and messages name files as given.
    const auto resolve = [&](const std::filesystem::path& name) {
        return name.is_absolute() || environment.directory == "." ? name
                                                                  : environment.directory / name;
    };
    const std::string parameterName = options.parameterFile.string();
    const std::string resultsName = options.resultsFile.string();

    // The generator comes first so that its state is fixed before anything else happens.
    const auto generator = std::make_unique<RandomGenerator>();
    generator->Seed(options.seed);

    RunOutputs targets;
    if (std::string error = CheckOutputs(options, resolve, targets); !error.empty()) {
        return Fail(environment, error);
    }

    const ParameterResult read = ReadParameters(resolve(options.parameterFile), parameterName);
    if (!read.parameters) {
        return Fail(environment, read.error);
    }
    const SimulationParameters& parameters = *read.parameters;
    if (std::string problem = CheckCodeParameters(parameters, parameterName + ": ");
        !problem.empty()) {
        return Fail(environment, problem);
    }

    for (const std::string& warning : Warnings(parameters, parameterName, environment.program)) {
        environment.errors.Write(warning);
    }
    environment.errors.Flush();

    // Everything that can refuse the run happens before any output file is touched, so a
    // refused run leaves the results of an earlier one in place. The fast engine decodes
    // fields too large for tables without the table-built codec.
    const bool tableless =
        !options.referenceEngine && parameters.M > FastEngine::kLargestTabledField;
    // Several threads share the walk through the blocks when segments can hold them.
    const bool parallel = !options.referenceEngine && ParallelEngine::Handles(parameters.M) &&
                          (options.threads > 1 || environment.remoteFillers);
    // A run the machine cannot hold would be killed midway, after emptying the report.
    if (const std::optional<std::uint64_t> available = environment.availableMemory()) {
        std::uint64_t needed =
            EstimateRunMemory(parameters, options.referenceEngine, FastEngine::kLargestTabledField);
        if (parallel) {
            needed += ParallelEngine::MemoryNeed(parameters.M, parameters.T, options.threads);
        }
        if (needed > *available) {
            return Fail(environment, "the run needs about " + FormatBytes(needed) + " of memory (" +
                                         (options.referenceEngine ? "reference" : "fast") +
                                         " engine, M=" + std::to_string(parameters.M) +
                                         "), but only " + FormatBytes(*available) +
                                         " is available");
        }
    }
    std::unique_ptr<ReedSolomonCodec> codec;
    if (!tableless) {
        codec = std::make_unique<ReedSolomonCodec>();
        codec->Configure(parameters.M, parameters.T);
        if (!codec->IsReady()) {
            return Fail(environment, "cannot build the code for M=" + std::to_string(parameters.M) +
                                         ", T=" + std::to_string(parameters.T) + ": out of memory");
        }
    }
    const SweepPlan plan = PlanSweep(parameters.Pmax, parameters.Pmin, parameters.Pstep);
    if (!plan.error.empty()) {
        return Fail(environment, parameterName + ": " + plan.error);
    }

    const auto n = static_cast<std::int32_t>((std::int64_t{1} << parameters.M) - 1);
    const std::int32_t k = n - 2 * parameters.T;
    const std::int32_t q = std::int32_t{1} << parameters.M;
    std::unique_ptr<Engine> engine;
    const DrawKernel& kernel = KernelFor(BestSimdLevel());
    try {
        if (options.referenceEngine) {
            engine = std::make_unique<ReferenceEngine>(*codec, *generator, BlockArrays(n, k), q);
        } else if (parallel) {
            std::vector<std::unique_ptr<SegmentFiller>> more;
            if (environment.remoteFillers) {
                more = environment.remoteFillers(parameters.M, parameters.T, codec != nullptr);
            }
            engine = codec ? std::make_unique<ParallelEngine>(*codec, parameters.M, kernel,
                                                              options.threads, SegmentShape{},
                                                              std::move(more))
                           : std::make_unique<ParallelEngine>(parameters.M, parameters.T, kernel,
                                                              options.threads, SegmentShape{},
                                                              std::move(more));
        } else if (codec) {
            // One thread, or blocks too long for segments: one walk, with the other threads
            // making candidate chunks ahead of it.
            engine = std::make_unique<FastEngine>(*codec, parameters.M, kernel, options.threads);
        } else {
            engine =
                std::make_unique<FastEngine>(parameters.M, parameters.T, kernel, options.threads);
        }
    } catch (const std::bad_alloc&) {
        return Fail(environment, "cannot allocate the block buffers for n=" + std::to_string(n) +
                                     ": out of memory");
    }

    std::filesystem::path gnuplot;
    if (options.plotFile) {
        gnuplot = FindGnuplot();
        if (gnuplot.empty()) {
            return Fail(environment,
                        "--plot needs gnuplot, which is not on PATH (Debian: apt-get install "
                        "gnuplot-nox)");
        }
    }

    const double R = static_cast<double>(k) / static_cast<double>(n);
    const std::string header = "Reed-Solomon codes, n=" + std::to_string(n) +
                               "  k=" + std::to_string(k) + "  R=" + FormatFixed2(R) +
                               "  t=" + std::to_string(parameters.T) + "  q=" + std::to_string(q) +
                               "\n";
    const RunDescription run{parameters, options.seed, {n, k, parameters.T, q, parameters.M, R}};
    const std::filesystem::path resultsPath = resolve(options.resultsFile);
    std::optional<std::filesystem::path> jsonPath;
    std::optional<std::filesystem::path> csvPath;
    if (options.jsonFile) {
        jsonPath = resolve(*options.jsonFile);
    }
    if (options.csvFile) {
        csvPath = resolve(*options.csvFile);
    }

    ResumeState resume;
    if (options.resume) {
        resume =
            PrepareResume(resultsPath, resultsName, header, plan.points, run, jsonPath, csvPath);
        if (!resume.error.empty()) {
            return Fail(environment, resume.error);
        }
    }

    std::unique_ptr<std::FILE, FileCloser> resultsFile;
    if (resume.reportExists) {
        // Drops a point cut short by the interruption; the kept points stay byte for byte.
        std::error_code error;
        std::filesystem::resize_file(resultsPath, resume.reportBytes, error);
        if (error) {
            return Fail(environment, resultsName + ": cannot shorten: " + error.message());
        }
        resultsFile.reset(std::fopen(resultsPath.c_str(), "a"));
    } else {
        resultsFile.reset(std::fopen(resultsPath.c_str(), "w"));
    }
    if (!resultsFile) {
        return Fail(environment, resultsName + ": cannot " +
                                     (resume.reportExists ? "open" : "create") + ": " +
                                     std::strerror(errno));
    }
    // Large enough that a point's lines never reach the disk before the point's flush, so an
    // interrupted run leaves only complete points.
    std::setvbuf(resultsFile.get(), nullptr, _IOFBF, 1 << 16);
    StdioStream results(resultsFile.get(), false);

    PointOutputs outputs(options, run.code);
    for (std::size_t i = 0; i < resume.kept.size(); ++i) {
        const ReportedPoint& kept = resume.kept[i];
        outputs.plotPoints.push_back({static_cast<double>(plan.points[i]), kept.blocks,
                                      kept.errorBlocks, kept.errorSymbols});
    }
    if (jsonPath) {
        outputs.json.emplace(*targets.json, run, std::move(resume.jsonPoints));
        if (std::string error = outputs.json->Start(); !error.empty()) {
            return Fail(environment, error);
        }
    }
    if (csvPath) {
        if (std::string error = outputs.csv.Open(*csvPath, resume.csvBytes); !error.empty()) {
            return Fail(environment, error);
        }
    }

    Simulation simulation(parameters, n, k, std::move(engine), environment.console, results,
                          environment.counter);
    simulation.SetSeed(options.seed);
    simulation.SetPointObserver([&](const PointRecord& record) { return outputs.Record(record); });

    environment.console.Write(header);
    if (!resume.reportExists) {
        results.Write(header);
    } else {
        environment.console.Write("\nResuming: " + std::to_string(resume.kept.size()) + " of " +
                                  std::to_string(plan.points.size()) + " points kept from " +
                                  resultsName + "\n");
    }
    const auto writeFailure = [&] {
        return Fail(environment, resultsName + ": cannot write: " + std::strerror(errno));
    };
    // A full disk stops the run at once rather than after hours of results that are lost.
    if (!results.Flush()) {
        return writeFailure();
    }
    // From here on the report holds whole points, and an interrupt says how to continue.
    std::size_t pointsHeld = resume.kept.size();
    const std::string resumeCommand = ResumeCommand(
        environment.program, parameterName, resultsName,
        options.jsonFile ? options.jsonFile->string() : "",
        options.csvFile ? options.csvFile->string() : "",
        options.plotFile ? options.plotFile->string() : "", options.seed, options.noWait);
    const auto prepareNotice = [&] {
        InterruptNotice::Prepare(environment.program + ": interrupted: " + resultsName + " holds " +
                                 std::to_string(pointsHeld) + " of " +
                                 std::to_string(plan.points.size()) +
                                 " points; to continue: " + resumeCommand + "\n");
    };
    prepareNotice();
    if (environment.interruptible) {
        InterruptNotice::Install(
            targets.json && targets.json->kind == OutputKind::kReplace ? AsidePath(*targets.json)
                                                                       : "",
            targets.plot && targets.plot->kind == OutputKind::kReplace ? AsidePath(*targets.plot)
                                                                       : "");
    }
    simulation.SetPointReported([&] {
        ++pointsHeld;
        prepareNotice();
    });
    const std::span<const float> remaining =
        std::span<const float>(plan.points).subspan(resume.kept.size());
    bool swept = false;
    try {
        swept = simulation.RunSweep(remaining);
    } catch (const std::bad_alloc&) {
        // Beyond the estimate (a block with far more hits than its P0 makes likely): the
        // complete points stay in the report, and the run ends with a reason, not a kill.
        return Fail(environment, "out of memory during the sweep; " + resultsName +
                                     " holds every point completed before it");
    }
    if (!swept) {
        return simulation.ObserverError().empty() ? writeFailure()
                                                  : Fail(environment, simulation.ObserverError());
    }
    if (outputs.json) {
        if (std::string error = outputs.json->Finish(); !error.empty()) {
            return Fail(environment, error);
        }
    }
    if (options.plotFile && !AnythingToPlot(outputs.plotPoints)) {
        environment.errors.Write(environment.program + ": warning: " + targets.plot->name +
                                 ": no point sent a block, so there is nothing to plot\n");
        environment.errors.Flush();
    } else if (options.plotFile) {
        if (std::string error = DrawPlot(gnuplot, *targets.plot, outputs.plotPoints, run.code);
            !error.empty()) {
            return Fail(environment, error);
        }
    }

    // A console that cannot be written (a full disk, a closed pipe) loses the report's
    // console half; the run still completes the report file, then says so.
    if (environment.interruptible) {
        InterruptNotice::Uninstall();  // the run is complete
    }
    const bool consoleWritten = environment.console.Flush();
    if (!options.noWait && consoleWritten) {
        environment.console.Write(std::string(kClosingPrompt));
        environment.console.Flush();
        environment.waitForKey();
    }

    if (std::fclose(resultsFile.release()) != 0) {
        return writeFailure();
    }
    if (!consoleWritten || !environment.console.Flush()) {
        const std::string reason = environment.console.FailureReason();
        return Fail(environment,
                    "standard output: cannot write" + (reason.empty() ? "" : ": " + reason));
    }
    return 0;
}

}  // namespace rs
