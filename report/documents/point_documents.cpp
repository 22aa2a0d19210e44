#include "report/documents/point_documents.h"

namespace rs {

void PointOutputs::KeepResumed(const std::vector<ReportedPoint>& kept,
                               const std::vector<nlohmann::ordered_json>& jsonPoints,
                               const std::vector<float>& sweep) {
    for (std::size_t i = 0; i < kept.size(); ++i) {
        // The report holds no miscorrections; the JSON kept beside it may.
        std::int64_t miscorrections = -1;
        std::int64_t bitErrors = -1;
        if (i < jsonPoints.size()) {
            const nlohmann::ordered_json& point = jsonPoints[i];
            if (point.contains("miscorrections") && point["miscorrections"].is_number_integer()) {
                miscorrections = point["miscorrections"].get<std::int64_t>();
            }
            if (point.contains("bitErrors") && point["bitErrors"].is_number_integer()) {
                bitErrors = point["bitErrors"].get<std::int64_t>();
            }
        }
        plotPoints.push_back({static_cast<double>(sweep[i]), kept[i].blocks, kept[i].errorBlocks,
                              kept[i].errorSymbols, miscorrections, bitErrors});
    }
}

std::string PointOutputs::Record(const rs_sim::PointResult& fields) {
    if (json) {
        if (std::string error = json->Add(fields); !error.empty()) {
            return error;
        }
    }
    if (csvWanted) {
        if (std::string error = csv.Add(fields); !error.empty()) {
            return error;
        }
    }
    plotPoints.push_back({static_cast<double>(fields.P0), fields.counts.blocks,
                          fields.counts.errorBlocks, fields.counts.errorSymbols,
                          fields.counts.miscorrections, fields.counts.bitErrors});
    return {};
}

}  // namespace rs
