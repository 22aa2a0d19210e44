#include "report/stratified/stratified_run.h"
#include "rs_sim/experiment.h"

#include <new>

#include "report/text/number_format.h"
#include "report/plot/plot.h"
#include "report/documents/point_fields.h"
#include "report/text/status_line.h"
#include "report/stratified/stratified_documents.h"
#include "report/stratified/stratified_text.h"
#include "engine/engine_plan.h"
#include "engine/stratified/stratified_study.h"

namespace rs {

std::string RunStratified(const StratifiedInputs& inputs) {
    const ProgramEnvironment& environment = inputs.environment;
    const RunOptions& options = environment.options;
    const CodeShape& code = inputs.run.code;
    StudyRequest request;
    request.code = {.m = code.m,
                    .t = code.t,
                    .length = options.length.value_or(0),
                    .tabled = code.m <= kLargestTabledField};
    for (const float P0 : inputs.points) {
        request.points.push_back(rs_sim::ShortestDecimal(P0));
    }
    request.seed = static_cast<std::uint32_t>(options.seed);
    request.threads = options.threads;
    request.samples = options.samples;
    request.precision = options.precision;
    const StratifiedAsk ask{options.samples, options.precision, request.seed};

    environment.console.Write(inputs.header);
    environment.console.Flush();
    PerformanceCounter& counter = environment.counter;
    const std::int64_t started = counter.Count();
    // On a terminal, a long study shows its rounds on a line that is erased before the
    // results, so the screen ends as the text alone leaves it.
    const bool showRounds = environment.terminalColumns > 0 && !options.noStatus;
    bool shown = false;
    const auto progress = [&](int round, std::int64_t decoded) {
        const double elapsed = static_cast<double>(counter.Count() - started) /
                               static_cast<double>(counter.Frequency());
        if (showRounds && elapsed >= kStatusAfter) {
            environment.console.Write("\r\x1b[KSampling: round " + std::to_string(round) + ", " +
                                      std::to_string(decoded) + " patterns decoded, " +
                                      FormatFixed2(elapsed) + " s");
            environment.console.Flush();
            shown = true;
        }
    };
    StudyResult result;
    try {
        result = RunStudy(request, progress);
    } catch (const std::bad_alloc&) {
        return "out of memory while sampling error patterns";
    }
    if (shown) {
        environment.console.Write("\r\x1b[K");
    }
    const double seconds =
        static_cast<double>(counter.Count() - started) / static_cast<double>(counter.Frequency());
    std::int64_t patterns = 0;
    for (const WeightTally& tally : result.tallies) {
        patterns += tally.patterns;
    }

    std::string text = StratifiedMethodText(ask, result, patterns);
    for (const StratifiedPoint& point : result.points) {
        text += StratifiedPointText(point);
    }
    text += PerWeightText(result);
    text += "\nExperiment time=" + FormatFixed2(seconds) + " seconds\nDecoding speed=" +
            FormatFixed2(seconds > 0.0 ? static_cast<double>(patterns) / seconds / 1000.0 : 0.0) +
            " KPatterns/second\n";
    environment.console.Write(text);
    if (std::string error = WriteWhole(inputs.targets.report, inputs.header + text);
        !error.empty()) {
        return error;
    }
    if (inputs.targets.json) {
        const std::string json =
            StratifiedJson(inputs.run, ask, result, patterns, seconds).dump(2) + "\n";
        if (std::string error = WriteWhole(*inputs.targets.json, json); !error.empty()) {
            return error;
        }
    }
    if (inputs.targets.csv) {
        if (std::string error = WriteWhole(*inputs.targets.csv, StratifiedCsv(result));
            !error.empty()) {
            return error;
        }
    }
    if (inputs.targets.plot) {
        if (std::string error = DrawStratifiedPlot(inputs.gnuplot, *inputs.targets.plot,
                                                   EstimatedPoints(result), code);
            !error.empty()) {
            return error;
        }
    }
    return {};
}

}  // namespace rs
