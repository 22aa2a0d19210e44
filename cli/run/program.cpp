#include "cli/run/program.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/experiment_file/experiment_check.h"
#include "cli/experiment_file/parameter_file.h"
#include "cli/resume_command.h"
#include "cli/run/comparison.h"
#include "cli/run/run_outputs.h"
#include "cli/run/stratified_run.h"
#include "report/documents/point_documents.h"
#include "report/documents/resume.h"
#include "report/plot/plot.h"
#include "report/text/channel_text.h"
#include "report/text/console_report.h"
#include "report/text/status_line.h"
#include "system/interrupt_notice.h"

namespace rs {

namespace {

// The status of a process that SIGPIPE ended.
constexpr int kClosedPipeStatus = 128 + SIGPIPE;

// Why the console could not be written, in the program's words.
std::string ConsoleFailure(const OutputStream& console) {
    const std::string reason = console.FailureReason();
    return "standard output: cannot write" + (reason.empty() ? "" : ": " + reason);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The experiment the command line and its file ask for.
rs_sim::Experiment ExperimentOf(const SimulationParameters& parameters, const RunOptions& options) {
    rs_sim::Experiment experiment;
    experiment.code = {parameters.M, parameters.T, options.length};
    experiment.channel = options.channel;
    experiment.interleave = options.interleave;
    experiment.puncture = options.puncture;
    experiment.onFailure = options.onFailure;
    experiment.stop = {parameters.maxBlocks, parameters.maxErrorBlocks};
    if (options.method == Method::kStratified) {
        experiment.method =
            rs_sim::Stratified{options.stratified.samples, options.stratified.precision};
    }
    experiment.engine = options.monteCarlo.referenceEngine ? rs_sim::EngineChoice::kReference
                                                           : rs_sim::EngineChoice::kFast;
    experiment.threads = options.threads;
    experiment.seed = options.seed;
    experiment.independentPoints = options.monteCarlo.independentPoints;
    return experiment;
}

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

    std::string CheckOutputs() {
        return rs::CheckOutputs(
            options, [this](const auto& name) { return ResolveName(environment, name); }, targets);
    }
    std::string ReadExperiment();
    std::string Prepare();
    std::string FindPlotter();
    std::string OpenOutputs();
    std::string Sweep();
    std::string Close();
    std::string Stratified();

  private:
    std::string CheckLength() const;
    std::string OpenReport();
    // The code's header line and the run as the reports describe it.
    void DescribeRun();
    // The sweep's start: the header, the resume notice, the interrupt notice.
    std::string StartSweep();
    // A point written whole: its documents, the report flushed, the interrupt notice.
    bool PointDone(const rs_sim::PointResult& point);
    std::string WriteFailure() const {
        return resultsName + ": cannot write: " + std::strerror(errno);
    }
    std::string ClosingKey() const;
    void PrepareInterruptNotice() const {
        InterruptNotice::Prepare(environment.program + ": interrupted: " + resultsName + " holds " +
                                 std::to_string(pointsHeld) + " of " +
                                 std::to_string(experiment.points.values.size()) +
                                 " points; to continue: " + resumeCommand + "\n");
    }

    const ProgramEnvironment& environment;
    const RunOptions& options;
    const std::string parameterName;
    const std::string resultsName;
    RunOutputs targets;
    SimulationParameters parameters;
    ExperimentSources sources;  // where each of the parameters came from
    rs_sim::Experiment experiment;
    std::optional<rs_sim::Simulator> simulator;
    std::filesystem::path gnuplot;
    std::string header;
    RunDescription run;
    ResumeState resume;
    std::unique_ptr<std::FILE, FileCloser> resultsFile;
    std::optional<StdioStream> results;
    std::optional<PointOutputs> outputs;
    std::size_t pointsHeld = 0;
    std::string resumeCommand;
    std::string documentError;  // why a point's documents could not be written
};

std::string ProgramRun::CheckLength() const {
    if (!options.length) {
        return {};
    }
    const std::int64_t full = (std::int64_t{1} << parameters.M) - 1;
    if (*options.length <= 2 * std::int64_t{parameters.T} || *options.length > full) {
        const bool fromFile = sources.m == parameterName && sources.t == parameterName;
        return "--length " + std::to_string(*options.length) + " does not shorten the code" +
               (fromFile ? " of " + parameterName : std::string()) +
               " (M=" + std::to_string(parameters.M) + ", T=" + std::to_string(parameters.T) +
               "): it must exceed 2T=" + std::to_string(2 * parameters.T) +
               " and be at most 2^M-1=" + std::to_string(full);
    }
    return {};
}

// The experiment file when the options leave it a value to give, the options in place of its
// values, the code and the sweep; warnings go out as they are found.
std::string ProgramRun::ReadExperiment() {
    const ExperimentOptions& given = options.experiment;
    sources = ExperimentSources::File(parameterName);
    if (NeedsExperimentFile(options)) {
        ParameterResult read =
            ReadParameters(ResolveName(environment, options.parameterFile), parameterName);
        if (!read.parameters) {
            return read.error;
        }
        parameters = *read.parameters;
    }
    const auto take = [](const auto& option, auto& value, std::string& source, const char* name) {
        if (option) {
            value = *option;
            source = name;
        }
    };
    take(given.m, parameters.M, sources.m, "--m");
    take(given.t, parameters.T, sources.t, "--t");
    take(given.maxBlocks, parameters.maxBlocks, sources.maxBlocks, "--max-blocks");
    take(given.maxErrorBlocks, parameters.maxErrorBlocks, sources.maxErrorBlocks,
         "--max-error-blocks");
    if (given.sweep) {
        parameters.Pmax = given.sweep->Pmax;
        parameters.Pmin = given.sweep->Pmin;
        parameters.Pstep = given.sweep->Pstep;
        sources.sweep = "--sweep";
    }
    if (std::string problem = CheckCodeParameters(parameters, sources); !problem.empty()) {
        return problem;
    }
    if (std::string problem = CheckLength(); !problem.empty()) {
        return problem;
    }
    for (const std::string& warning :
         Warnings(parameters, sources, environment.program, !options.grid)) {
        environment.errors.Write(warning);
    }
    environment.errors.Flush();
    experiment = ExperimentOf(parameters, options);
    if (options.grid) {
        experiment.points = *options.grid;  // in place of the file's sweep lines
        return {};
    }
    rs_sim::Expected<rs_sim::Points> sweep =
        rs_sim::Points::Sweep(parameters.Pmax, parameters.Pmin, parameters.Pstep);
    if (!sweep) {
        return sources.sweep + ": " + sweep.error;
    }
    experiment.points = std::move(*sweep.value);
    return {};
}

// The engines, checked against the memory there is.
std::string ProgramRun::Prepare() {
    rs_sim::Expected<rs_sim::Simulator> made =
        rs_sim::Simulator::Make(experiment, {environment.availableMemory(), environment.remote});
    if (!made) {
        return made.error;
    }
    simulator.emplace(std::move(*made.value));
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
    const rs_sim::CodeFacts code =
        rs_sim::FactsOf(parameters.M, parameters.T, options.length, options.puncture);
    header = ReportHeader(code, options.channel, options.interleave, options.seed,
                          options.onFailure == rs_sim::Experiment::OnFailure::kReceived);
    run = {parameters,      options.seed,       code,
           options.grid,    options.length,     options.monteCarlo.independentPoints,
           options.channel, options.interleave, options.onFailure};
}

std::string ProgramRun::ClosingKey() const {
    const bool consoleWritten = environment.console.Flush();
    if (!options.noWait && consoleWritten) {
        environment.console.Write(std::string(kClosingPrompt));
        environment.console.Flush();
        environment.waitForKey();
    }
    if (!consoleWritten || !environment.console.Flush()) {
        return ConsoleFailure(environment.console);
    }
    return {};
}

// Every rate at every P0 by weight-stratified sampling, with its outputs, then the closing key.
std::string ProgramRun::Stratified() {
    DescribeRun();
    if (std::string error = RunStratified({environment, targets, run, experiment, header, gnuplot});
        !error.empty()) {
        return error;
    }
    return ClosingKey();
}

// The report, fresh or resumed, and the JSON and CSV reports beside it.
std::string ProgramRun::OpenOutputs() {
    DescribeRun();
    std::optional<std::filesystem::path> jsonPath;
    std::optional<std::filesystem::path> csvPath;
    if (options.jsonFile) {
        jsonPath = ResolveName(environment, *options.jsonFile);
    }
    if (options.csvFile) {
        csvPath = ResolveName(environment, *options.csvFile);
    }
    if (options.monteCarlo.resume) {
        resume = PrepareResume({.reportPath = ResolveName(environment, options.resultsFile),
                                .reportName = resultsName,
                                .header = header,
                                .sweep = experiment.points.values,
                                .run = run,
                                .jsonPath = jsonPath,
                                .csvPath = csvPath});
        if (!resume.error.empty()) {
            return resume.error;
        }
    }
    if (std::string error = OpenReport(); !error.empty()) {
        return error;
    }
    outputs.emplace(options.csvFile.has_value(), run.code, options.channel, options.interleave);
    outputs->KeepResumed(resume.kept, resume.jsonPoints, experiment.points.values);
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
    const std::filesystem::path resultsPath = ResolveName(environment, options.resultsFile);
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

std::string ProgramRun::StartSweep() {
    environment.console.Write(header);
    if (!resume.reportExists) {
        results->Write(header);
    } else {
        environment.console.Write("\nResuming: " + std::to_string(resume.kept.size()) + " of " +
                                  std::to_string(experiment.points.values.size()) +
                                  " points kept from " + resultsName + "\n");
    }
    // A full disk stops the run at once rather than after hours of results that are lost.
    if (!results->Flush()) {
        return WriteFailure();
    }
    pointsHeld = resume.kept.size();
    resumeCommand = ResumeCommand(environment.program, options);
    PrepareInterruptNotice();
    if (environment.interruptible) {
        const auto aside = [](const std::optional<OutputTarget>& target) {
            return target && target->kind == OutputKind::kReplace ? AsidePath(*target)
                                                                  : std::filesystem::path();
        };
        InterruptNotice::Install(aside(targets.json), aside(targets.plot));
    }
    return {};
}

bool ProgramRun::PointDone(const rs_sim::PointResult& point) {
    documentError = outputs->Record(point);
    if (!documentError.empty() || !results->Flush()) {
        return false;
    }
    ++pointsHeld;
    PrepareInterruptNotice();
    return true;
}

// The header, then the points still to run; an interrupt from here on says how to continue.
std::string ProgramRun::Sweep() {
    // A status line on a terminal; the console text alone anywhere else.
    std::optional<StatusConsole> status;
    if (environment.terminalColumns > 0 && !options.noStatus) {
        status.emplace(environment.console, environment.terminalColumns);
    }
    if (std::string error = StartSweep(); !error.empty()) {
        return error;
    }
    ConsoleReport report({.console = status ? *status : environment.console,
                          .results = *results,
                          .limits = experiment.stop,
                          .code = run.code,
                          .channel = options.channel,
                          .status = status ? &*status : nullptr,
                          .finished = [this](const auto& point) { return PointDone(point); }});
    const rs_sim::Expected<rs_sim::Results> ran =
        simulator->Run({.observer = &report,
                        .progressEvery = status ? kStatusEvery : 0.0,
                        .clock = &environment.counter,
                        .firstPoint = resume.kept.size()});
    if (!ran) {
        // Beyond the estimate (a block with far more hits than its P0 makes likely): the
        // complete points stay in the report, and the run ends with a reason, not a kill.
        return "out of memory during the sweep; " + resultsName +
               " holds every point completed before it";
    }
    if (ran.value->stopped) {
        return documentError.empty() ? WriteFailure() : documentError;
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
        if (std::string error =
                DrawPlot(gnuplot, *targets.plot, outputs->plotPoints,
                         {run.code, options.channel, options.interleave, options.yRange});
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
        return ConsoleFailure(environment.console);
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
        // A reader that went away (`rs-sim ... | head`) is no fault of the run, whose files are
        // complete: it ends quietly with the status of a process SIGPIPE ended, as other tools
        // do.
        if (environment.console.ReaderGone() && error == ConsoleFailure(environment.console)) {
            return kClosedPipeStatus;
        }
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
                                &ProgramRun::Prepare, &ProgramRun::FindPlotter,
                                &ProgramRun::Stratified}
            : std::vector<Step>{&ProgramRun::CheckOutputs, &ProgramRun::ReadExperiment,
                                &ProgramRun::Prepare,      &ProgramRun::FindPlotter,
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
