#include "cli/program.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/plot/compare.h"
#include "cli/experiment_check.h"
#include "cli/run_outputs.h"
#include "system/interrupt_notice.h"
#include "report/text/number_format.h"
#include "cli/parameter_file.h"
#include "report/plot/plot.h"
#include "report/documents/point_documents.h"
#include "report/documents/resume.h"
#include "simulator/sweep.h"
#include "report/text/status_line.h"
#include "report/stratified/stratified_run.h"
#include "engine/engine_plan.h"

namespace rs {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// One run, step by step. Each step returns an error message for the error stream, empty when
// the run goes on. Everything that can refuse the run comes before any output file is touched,
// so a refused run leaves the results of an earlier one in place.
class ProgramRun {
  public:
    explicit ProgramRun(const ProgramEnvironment& environment)
        : environment(environment),
          options(environment.options),
          parameterName(options.parameterFile.string()),
          resultsName(options.resultsFile.string()) {}

    std::string CheckOutputs();
    std::string ReadExperiment();
    std::string MakeEngine();
    std::string FindPlotter();
    std::string OpenOutputs();
    std::string Sweep();
    std::string Close();
    std::string Stratified();

  private:
    std::filesystem::path Resolve(const std::filesystem::path& name) const {
        return ResolveName(environment, name);
    }
    std::string OpenReport();
    // The code's header line and the run as the reports describe it.
    void DescribeRun();
    std::string WriteFailure() const {
        return resultsName + ": cannot write: " + std::strerror(errno);
    }
    void PrepareInterruptNotice() const;
    // The sweep's largest P0, for which the engine sizes its buffers.
    float LargestP0() const {
        return sweep.points.empty() ? parameters.Pmax
                                    : *std::max_element(sweep.points.begin(), sweep.points.end());
    }

    const ProgramEnvironment& environment;
    const RunOptions& options;
    const std::string parameterName;
    const std::string resultsName;
    RunOutputs targets;
    SimulationParameters parameters;
    SweepPlan sweep;
    std::vector<std::unique_ptr<Engine>> engines;  // one per point run at once
    std::filesystem::path gnuplot;
    std::string header;
    RunDescription run;
    ResumeState resume;
    std::unique_ptr<std::FILE, FileCloser> resultsFile;
    std::optional<StdioStream> results;
    std::optional<PointOutputs> outputs;
    std::size_t pointsHeld = 0;
    std::string resumeCommand;
};

std::string ProgramRun::CheckOutputs() {
    return rs::CheckOutputs(
        options, [this](const auto& name) { return Resolve(name); }, targets);
}

// The experiment file, its code and its sweep; warnings go out as they are found.
std::string ProgramRun::ReadExperiment() {
    ParameterResult read = ReadParameters(Resolve(options.parameterFile), parameterName);
    if (!read.parameters) {
        return read.error;
    }
    parameters = *read.parameters;
    if (std::string problem = CheckCodeParameters(parameters, parameterName + ": ");
        !problem.empty()) {
        return problem;
    }
    if (options.length) {
        const std::int64_t full = (std::int64_t{1} << parameters.M) - 1;
        if (*options.length <= 2 * std::int64_t{parameters.T} || *options.length > full) {
            return "--length " + std::to_string(*options.length) +
                   " does not shorten the code of " + parameterName +
                   " (M=" + std::to_string(parameters.M) + ", T=" + std::to_string(parameters.T) +
                   "): it must exceed 2T=" + std::to_string(2 * parameters.T) +
                   " and be at most 2^M-1=" + std::to_string(full);
        }
    }
    for (const std::string& warning :
         Warnings(parameters, parameterName, environment.program, !options.grid)) {
        environment.errors.Write(warning);
    }
    environment.errors.Flush();
    if (options.grid) {
        sweep.points = options.grid->points;  // in place of the file's sweep lines
        return {};
    }
    sweep = PlanSweep(parameters.Pmax, parameters.Pmin, parameters.Pstep);
    if (!sweep.error.empty()) {
        return parameterName + ": " + sweep.error;
    }
    return {};
}

// The engine's plan, checked against the memory there is, then its engines.
std::string ProgramRun::MakeEngine() {
    const std::optional<std::uint64_t> available = environment.availableMemory();
    const EnginePlan plan = PlanEngine({.m = parameters.M,
                                        .t = parameters.T,
                                        .length = options.length.value_or(0),
                                        .largestP0 = LargestP0(),
                                        .reference = options.referenceEngine,
                                        .threads = options.threads,
                                        .remoteFillers = environment.remoteFillers,
                                        .memoryBudget = available,
                                        .points = sweep.points.size(),
                                        .pointBlocks = parameters.maxBlocks});
    if (!plan.error.empty()) {
        return plan.error;
    }
    // A run the machine cannot hold would be killed midway, after emptying the report.
    if (available && plan.memoryNeed > *available) {
        return std::string("the run needs about ")
            .append(FormatBytes(plan.memoryNeed))
            .append(" of memory (")
            .append(plan.Name())
            .append(" engine, M=" + std::to_string(parameters.M) + "), but only ")
            .append(FormatBytes(*available))
            .append(" is available");
    }
    for (int i = 0; i < plan.pointsAtOnce; ++i) {
        MadeEngine made = plan.Make();
        if (!made.engine) {
            return made.error;
        }
        engines.push_back(std::move(made.engine));
    }
    return {};
}

std::string ProgramRun::FindPlotter() {
    if (options.plotFile) {
        gnuplot = FindGnuplot();
        if (gnuplot.empty()) {
            return std::string(kNoGnuplot);
        }
    }
    return {};
}

void ProgramRun::DescribeRun() {
    const auto n =
        options.length.value_or(static_cast<std::int32_t>((std::int64_t{1} << parameters.M) - 1));
    const std::int32_t k = n - 2 * parameters.T;
    const std::int32_t q = std::int32_t{1} << parameters.M;
    const double R = static_cast<double>(k) / static_cast<double>(n);
    header = "Reed-Solomon codes, n=" + std::to_string(n) + "  k=" + std::to_string(k) +
             "  R=" + FormatFixed2(R) + "  t=" + std::to_string(parameters.T) +
             "  q=" + std::to_string(q) + "\n";
    run = {parameters,   options.seed,   {n, k, parameters.T, q, parameters.M, R},
           options.grid, options.length, options.independentPoints};
}

// Every rate at every P0 by weight-stratified sampling, with its outputs, then the closing key.
std::string ProgramRun::Stratified() {
    DescribeRun();
    if (std::string error =
            RunStratified({environment, targets, run, sweep.points, header, gnuplot});
        !error.empty()) {
        return error;
    }
    const bool consoleWritten = environment.console.Flush();
    if (!options.noWait && consoleWritten) {
        environment.console.Write(std::string(kClosingPrompt));
        environment.console.Flush();
        environment.waitForKey();
    }
    if (!consoleWritten || !environment.console.Flush()) {
        const std::string reason = environment.console.FailureReason();
        return "standard output: cannot write" + (reason.empty() ? "" : ": " + reason);
    }
    return {};
}

// The report, fresh or resumed, and the JSON and CSV reports beside it.
std::string ProgramRun::OpenOutputs() {
    DescribeRun();
    std::optional<std::filesystem::path> jsonPath;
    std::optional<std::filesystem::path> csvPath;
    if (options.jsonFile) {
        jsonPath = Resolve(*options.jsonFile);
    }
    if (options.csvFile) {
        csvPath = Resolve(*options.csvFile);
    }
    if (options.resume) {
        resume = PrepareResume(Resolve(options.resultsFile), resultsName, header, sweep.points, run,
                               jsonPath, csvPath);
        if (!resume.error.empty()) {
            return resume.error;
        }
    }
    if (std::string error = OpenReport(); !error.empty()) {
        return error;
    }
    outputs.emplace(options.csvFile.has_value(), run.code);
    for (std::size_t i = 0; i < resume.kept.size(); ++i) {
        const ReportedPoint& kept = resume.kept[i];
        // The report holds no miscorrections; the JSON kept beside it may.
        std::int32_t miscorrections = -1;
        if (i < resume.jsonPoints.size() && resume.jsonPoints[i].contains("miscorrections") &&
            resume.jsonPoints[i]["miscorrections"].is_number_integer()) {
            miscorrections = resume.jsonPoints[i]["miscorrections"].get<std::int32_t>();
        }
        outputs->plotPoints.push_back({static_cast<double>(sweep.points[i]), kept.blocks,
                                       kept.errorBlocks, kept.errorSymbols, miscorrections});
    }
    if (jsonPath) {
        outputs->json.emplace(*targets.json, run, std::move(resume.jsonPoints));
        if (std::string error = outputs->json->Start(); !error.empty()) {
            return error;
        }
    }
    if (csvPath) {
        return outputs->csv.Open(*csvPath, resume.csvBytes);
    }
    return {};
}

std::string ProgramRun::OpenReport() {
    const std::filesystem::path resultsPath = Resolve(options.resultsFile);
    if (resume.reportExists) {
        // Drops a point cut short by the interruption; the kept points stay byte for byte.
        std::error_code error;
        std::filesystem::resize_file(resultsPath, resume.reportBytes, error);
        if (error) {
            return resultsName + ": cannot shorten: " + error.message();
        }
        resultsFile.reset(std::fopen(resultsPath.c_str(), "a"));
    } else {
        resultsFile.reset(std::fopen(resultsPath.c_str(), "w"));
    }
    if (!resultsFile) {
        return resultsName + ": cannot " + (resume.reportExists ? "open" : "create") + ": " +
               std::strerror(errno);
    }
    // Large enough that a point's lines never reach the disk before the point's flush, so an
    // interrupted run leaves only complete points.
    std::setvbuf(resultsFile.get(), nullptr, _IOFBF, 1 << 16);
    results.emplace(resultsFile.get(), false);
    return {};
}

void ProgramRun::PrepareInterruptNotice() const {
    InterruptNotice::Prepare(environment.program + ": interrupted: " + resultsName + " holds " +
                             std::to_string(pointsHeld) + " of " +
                             std::to_string(sweep.points.size()) +
                             " points; to continue: " + resumeCommand + "\n");
}

// The header, then the points still to run; an interrupt from here on says how to continue.
std::string ProgramRun::Sweep() {
    // A status line on a terminal; the console text alone anywhere else.
    std::optional<StatusConsole> status;
    if (environment.terminalColumns > 0 && !options.noStatus) {
        status.emplace(environment.console, environment.terminalColumns);
    }
    Simulation simulation(parameters, run.code.n, run.code.k, std::move(engines),
                          status ? static_cast<OutputStream&>(*status) : environment.console,
                          *results, environment.counter);
    simulation.SetStatus(status ? &*status : nullptr);
    simulation.SetSeed(options.seed);
    if (options.independentPoints) {
        // Numbered through the whole sweep: a resumed run's first point keeps its own start.
        simulation.SetIndependentPoints(resume.kept.size());
    }
    simulation.SetPointObserver(
        [this](const PointRecord& record) { return outputs->Record(record); });

    environment.console.Write(header);
    if (!resume.reportExists) {
        results->Write(header);
    } else {
        environment.console.Write("\nResuming: " + std::to_string(resume.kept.size()) + " of " +
                                  std::to_string(sweep.points.size()) + " points kept from " +
                                  resultsName + "\n");
    }
    // A full disk stops the run at once rather than after hours of results that are lost.
    if (!results->Flush()) {
        return WriteFailure();
    }
    pointsHeld = resume.kept.size();
    resumeCommand =
        ResumeCommand(environment.program, parameterName, resultsName,
                      options.jsonFile ? options.jsonFile->string() : "",
                      options.csvFile ? options.csvFile->string() : "",
                      options.plotFile ? options.plotFile->string() : "", options.seed,
                      options.noWait, options.grid, options.length, options.independentPoints);
    PrepareInterruptNotice();
    if (environment.interruptible) {
        const auto aside = [](const std::optional<OutputTarget>& target) {
            return target && target->kind == OutputKind::kReplace ? AsidePath(*target)
                                                                  : std::filesystem::path();
        };
        InterruptNotice::Install(aside(targets.json), aside(targets.plot));
    }
    simulation.SetPointReported([this] {
        ++pointsHeld;
        PrepareInterruptNotice();
    });
    bool swept = false;
    try {
        swept =
            simulation.RunSweep(std::span<const float>(sweep.points).subspan(resume.kept.size()));
    } catch (const std::bad_alloc&) {
        // Beyond the estimate (a block with far more hits than its P0 makes likely): the
        // complete points stay in the report, and the run ends with a reason, not a kill.
        return "out of memory during the sweep; " + resultsName +
               " holds every point completed before it";
    }
    if (!swept) {
        return simulation.ObserverError().empty() ? WriteFailure() : simulation.ObserverError();
    }
    return {};
}

// The JSON document and the plot in place, the closing key, and the report closed. A console
// that cannot be written (a full disk, a closed pipe) loses the report's console half; the run
// still completes the report file, then says so.
std::string ProgramRun::Close() {
    if (outputs->json) {
        if (std::string error = outputs->json->Finish(); !error.empty()) {
            return error;
        }
    }
    if (options.plotFile && !AnythingToPlot(outputs->plotPoints)) {
        environment.errors.Write(environment.program + ": warning: " + targets.plot->name +
                                 ": no point sent a block, so there is nothing to plot\n");
        environment.errors.Flush();
    } else if (options.plotFile) {
        if (std::string error = DrawPlot(gnuplot, *targets.plot, outputs->plotPoints, run.code);
            !error.empty()) {
            return error;
        }
    }
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
        return WriteFailure();
    }
    if (!consoleWritten || !environment.console.Flush()) {
        const std::string reason = environment.console.FailureReason();
        return "standard output: cannot write" + (reason.empty() ? "" : ": " + reason);
    }
    return {};
}

}  // namespace

std::filesystem::path ResolveName(const ProgramEnvironment& environment,
                                  const std::filesystem::path& name) {
    return name.is_absolute() || environment.directory == "." ? name : environment.directory / name;
}

int RunProgram(const ProgramEnvironment& environment) {
    const auto refuse = [&](const std::string& error) {
        environment.errors.Write(environment.program + ": " + error + "\n");
        environment.errors.Flush();
        return 1;
    };
    if (!environment.options.compareFiles.empty()) {
        const std::string error = RunComparison(environment);
        return error.empty() ? 0 : refuse(error);
    }
    ProgramRun run(environment);
    using Step = std::string (ProgramRun::*)();
    const std::vector<Step> steps =
        environment.options.method == Method::kStratified
            ? std::vector<Step>{&ProgramRun::CheckOutputs, &ProgramRun::ReadExperiment,
                                &ProgramRun::FindPlotter, &ProgramRun::Stratified}
            : std::vector<Step>{&ProgramRun::CheckOutputs, &ProgramRun::ReadExperiment,
                                &ProgramRun::MakeEngine,   &ProgramRun::FindPlotter,
                                &ProgramRun::OpenOutputs,  &ProgramRun::Sweep,
                                &ProgramRun::Close};
    for (const Step step : steps) {
        if (const std::string error = (run.*step)(); !error.empty()) {
            return refuse(error);
        }
    }
    return 0;
}

}  // namespace rs
