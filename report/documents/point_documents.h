#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/documents/csv_report.h"
#include "report/documents/json_report.h"
#include "report/plot/plot.h"
#include "rs_sim/results.h"

namespace rs {

// The machine-readable outputs of a run, fed one point at a time: the JSON and CSV reports
// when asked for, and the plot's points always.
class PointOutputs {
  public:
    PointOutputs(bool csvWanted, const rs_sim::CodeFacts& code,
                 const rs_sim::Channel& channel = rs_sim::QarySymmetricChannel{},
                 std::int32_t interleave = 1)
        : csv(code, channel, interleave), csvWanted(csvWanted), code(code) {}

    std::optional<JsonReport> json;
    CsvReport csv;
    std::vector<PlotPoint> plotPoints;

    // The plot's points for those a resumed run keeps from its report (and JSON document).
    void KeepResumed(const std::vector<ReportedPoint>& kept,
                     const std::vector<nlohmann::ordered_json>& jsonPoints,
                     const std::vector<float>& sweep);
    // Adds a finished point; an error message naming the output, empty on success.
    std::string Record(const rs_sim::PointResult& point);

  private:
    const bool csvWanted;
    const rs_sim::CodeFacts code;
};

}  // namespace rs
