#include "cli/run/comparison.h"

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "report/plot/compare.h"
#include "report/plot/plot.h"
#include "system/output_target.h"

namespace rs {

std::string RunComparison(const ProgramEnvironment& environment) {
    const RunOptions& options = environment.options;
    const std::filesystem::path gnuplot = FindGnuplot();
    if (gnuplot.empty()) {
        return std::string(kNoGnuplot);
    }
    OutputTarget plot;
    if (std::string why = CheckOutput(options.plotFile->string(),
                                      ResolveName(environment, *options.plotFile), plot);
        !why.empty()) {
        return why;
    }
    std::vector<PlottedRun> runs;
    std::vector<std::string> names;
    for (const std::filesystem::path& file : options.compareFiles) {
        ComparedRun compared = ReadComparedRun(ResolveName(environment, file), file.string());
        if (!compared.error.empty()) {
            return compared.error;
        }
        runs.push_back(std::move(compared.run));
        names.push_back(file.string());
    }
    if (std::string why = SweepsOfOneKind(runs, names); !why.empty()) {
        return plot.name + ": cannot compare: " + why;
    }
    if (!std::any_of(runs.begin(), runs.end(), [](const PlottedRun& run) {
            return !run.estimated.empty() || AnythingToPlot(run.points);
        })) {
        return plot.name + ": no run sent a block, so there is nothing to plot";
    }
    return DrawComparison(gnuplot, plot, runs, options.yRange);
}

}  // namespace rs
