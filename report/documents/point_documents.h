#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/documents/csv_report.h"
#include "report/documents/json_report.h"
#include "report/plot/plot.h"
#include "report/documents/point_fields.h"
#include "simulator/sweep.h"

namespace rs {

// The machine-readable outputs of a run, fed one point at a time: the JSON and CSV reports
// when asked for, and the plot's points always.
class PointOutputs {
  public:
    PointOutputs(bool csvWanted, const CodeShape& code) : csvWanted(csvWanted), code(code) {}

    std::optional<JsonReport> json;
    CsvReport csv;
    std::vector<PlotPoint> plotPoints;

    // Adds a finished point; an error message naming the output, empty on success.
    std::string Record(const PointRecord& record);

  private:
    const bool csvWanted;
    const CodeShape code;
};

}  // namespace rs
