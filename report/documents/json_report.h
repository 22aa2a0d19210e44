#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "report/documents/json_document.h"
#include "report/text/report_file.h"
#include "rs_sim/experiment.h"
#include "rs_sim/results.h"
#include "system/output_target.h"

namespace rs {

// The JSON report: program, version, experiment, seed, code and the points so far. Each update
// writes the whole document beside the file and renames it over the file, so a reader, or an
// interrupted run, only ever sees a complete document. A device or a FIFO cannot be replaced:
// it gets the document once, as the run ends.
class JsonReport {
  public:
    // Starts the document with the points a resumed run keeps.
    JsonReport(OutputTarget target, const RunDescription& run,
               std::vector<nlohmann::ordered_json> keptPoints = {});

    // Writes the document as it starts, so that an earlier run's file never outlives the
    // start of this one. Returns an error message, empty on success.
    std::string Start();
    // Adds a point and brings the file up to date. Returns an error message, empty on success.
    std::string Add(const rs_sim::PointResult& point);
    // Writes the document if the last points were not yet written.
    std::string Finish();

    // For a resumed run: the points of an existing document at path that match the points the
    // report file keeps, or why they cannot be kept.
    struct Kept {
        std::vector<nlohmann::ordered_json> points;
        std::string error;
    };
    static Kept ReadKeptPoints(const std::filesystem::path& path, const RunDescription& run,
                               const std::vector<ReportedPoint>& reported);

  private:
    std::string Write();

    OutputTarget target;
    rs_sim::Channel channel;
    nlohmann::ordered_json document;
    bool pending = false;
    std::size_t lastSize = 0;
    std::chrono::steady_clock::duration lastWriteTook{};
    std::chrono::steady_clock::time_point lastWriteEnded{};
};

}  // namespace rs
