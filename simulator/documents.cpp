#include "rs_sim/documents.h"

#include <cstdint>
#include <variant>

#include "report/documents/json_document.h"
#include "report/stratified/stratified_json.h"

namespace rs_sim {

std::string JsonDocument(const Experiment& experiment, const Results& results) {
    const rs::RunDescription run = rs::DescribeExperiment(experiment);
    if (results.stratified) {
        const auto* method = std::get_if<Stratified>(&experiment.method);
        const rs::StratifiedAsk ask{method != nullptr ? method->samples : std::nullopt,
                                    method != nullptr ? method->precision : 0.0,
                                    static_cast<std::uint32_t>(experiment.seed)};
        const StratifiedResults& result = *results.stratified;
        return rs::StratifiedJson(run, ask, result, result.patterns, result.seconds).dump(2) + "\n";
    }
    nlohmann::ordered_json document = rs::MonteCarloJson(run);
    for (const PointResult& point : results.points) {
        document["points"].push_back(rs::PointJson(point, experiment.channel));
    }
    return document.dump(2) + "\n";
}

}  // namespace rs_sim
