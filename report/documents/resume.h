#pragma once

#include <cstddef>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "report/documents/json_report.h"
#include "report/text/report_file.h"

namespace rs {

// Where a resumed run picks up: the complete points of the report file, which must be the
// first points of this sweep, and what of the JSON and CSV reports goes with them.
struct ResumeState {
    bool reportExists = false;
    std::vector<ReportedPoint> kept;
    std::size_t reportBytes = 0;  // header and kept points; a cut-short point after them goes
    std::vector<nlohmann::ordered_json> jsonPoints;
    std::size_t csvBytes = 0;  // 0: write the CSV afresh
    std::string error;         // set when the files do not belong to this experiment
};

// What a resumed run reads: the report file (reportName as the user named it), the header line
// this experiment writes (its code, and its channel when not the default), the sweep's P0 values,
// the run, and the JSON and CSV reports when asked for.
struct ResumeRequest {
    std::filesystem::path reportPath;
    std::string reportName;
    std::string header;
    std::span<const float> sweep;
    const RunDescription& run;
    std::optional<std::filesystem::path> jsonPath;
    std::optional<std::filesystem::path> csvPath;
};

// Reads the files without changing them. The report's points must carry the sweep's P0 values
// in order, hold counts that agree with one another and with the code's k, and have ended by
// this experiment's limits. A point cut short after them must be, as far as it goes, such a
// point of the sweep.
ResumeState PrepareResume(const ResumeRequest& request);

}  // namespace rs
