#include "report/documents/point_documents.h"

namespace rs {

std::string PointOutputs::Record(const PointRecord& record) {
    const PointFields fields = DerivePointFields(record, code);
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
    plotPoints.push_back({static_cast<double>(record.P0), record.statistics.blocks,
                          record.statistics.errorBlocks, record.statistics.errorSymbols,
                          record.statistics.miscorrections});
    return {};
}

}  // namespace rs
