#include "cli/run/stratified_run.h"

#include "report/plot/plot.h"
#include "report/stratified/stratified_documents.h"
#include "report/stratified/stratified_text.h"
#include "report/text/number_format.h"
#include "report/text/status_line.h"

namespace rs {

namespace {

// On a terminal, a long study shows its rounds on a status line, gone before the results.
class RoundStatus final : public rs_sim::Observer {
  public:
    explicit RoundStatus(StatusConsole* status) : status(status) {}
    void Round(int round, std::int64_t decoded, double seconds) override {
        if (status != nullptr && seconds >= kStatusAfter) {
            status->Show("Sampling: round " + std::to_string(round) + ", " +
                         std::to_string(decoded) + " patterns decoded, " + FormatFixed2(seconds) +
                         " s");
            status->Flush();
        }
    }

  private:
    StatusConsole* const status;
};

// The text after the code's header line: how it sampled, each point, the weights, the time.
std::string StudyText(const StratifiedAsk& ask, const rs_sim::StratifiedResults& result,
                      const rs_sim::Channel& channel) {
    std::string text = StratifiedMethodText(ask, result, result.patterns);
    for (const rs_sim::StratifiedPoint& point : result.points) {
        text += StratifiedPointText(point, channel);
    }
    text += PerWeightText(result, channel);
    const double seconds = result.seconds;
    text += "\nExperiment time=" + FormatFixed2(seconds) + " seconds\nDecoding speed=" +
            FormatFixed2(seconds > 0.0 ? static_cast<double>(result.patterns) / seconds / 1000.0
                                       : 0.0) +
            " KPatterns/second\n";
    return text;
}

}  // namespace

std::string RunStratified(const StratifiedInputs& inputs) {
    const ProgramEnvironment& environment = inputs.environment;
    const RunOptions& options = environment.options;
    const auto& method = std::get<rs_sim::Stratified>(inputs.experiment.method);
    const StratifiedAsk ask{method.samples, method.precision,
                            static_cast<std::uint32_t>(inputs.experiment.seed)};
    environment.console.Write(inputs.header);
    environment.console.Flush();
    std::optional<StatusConsole> status;
    if (environment.terminalColumns > 0 && !options.noStatus) {
        status.emplace(environment.console, environment.terminalColumns);
    }
    RoundStatus rounds(status ? &*status : nullptr);
    rs_sim::Expected<rs_sim::Results> run =
        rs_sim::Simulate(inputs.experiment, {.observer = &rounds, .clock = &environment.counter});
    if (!run) {
        return run.error;
    }
    const rs_sim::StratifiedResults& result = *run.value->stratified;
    const std::string text = StudyText(ask, result, inputs.run.channel);
    (status ? static_cast<OutputStream&>(*status) : environment.console).Write(text);
    if (std::string error = WriteWhole(inputs.targets.report, inputs.header + text);
        !error.empty()) {
        return error;
    }
    if (inputs.targets.json) {
        const std::string json =
            StratifiedJson(inputs.run, ask, result, result.patterns, result.seconds).dump(2) + "\n";
        if (std::string error = WriteWhole(*inputs.targets.json, json); !error.empty()) {
            return error;
        }
    }
    if (inputs.targets.csv) {
        if (std::string error = WriteWhole(
                *inputs.targets.csv, StratifiedCsv(result, inputs.run.code, inputs.run.channel));
            !error.empty()) {
            return error;
        }
    }
    if (inputs.targets.plot) {
        if (std::string error =
                DrawStratifiedPlot(inputs.gnuplot, *inputs.targets.plot, EstimatedPoints(result),
                                   {inputs.run.code, inputs.run.channel, inputs.run.interleave,
                                    inputs.environment.options.yRange});
            !error.empty()) {
            return error;
        }
    }
    return {};
}

}  // namespace rs
