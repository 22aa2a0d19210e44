#include "cli/run/run_outputs.h"

#include <sys/stat.h>

#include <utility>
#include <vector>

namespace rs {

std::string CheckOutputs(const RunOptions& options, const PathResolver& resolve,
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

}  // namespace rs
