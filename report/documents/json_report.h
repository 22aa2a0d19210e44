#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/experiment_file/parameter_file.h"
#include "report/text/report_file.h"
#include "rs_sim/experiment.h"
#include "rs_sim/results.h"
#include "system/output_target.h"

namespace rs {

// What a machine-readable report says about the run as a whole.
struct RunDescription {
    SimulationParameters parameters;
    std::int32_t seed = 0;
    rs_sim::CodeFacts code;
    std::optional<rs_sim::Points> grid;  // the P0 values given in place of the sweep lines
    std::optional<std::int32_t> length;  // the shortened length asked for
    bool independentPoints = false;
    rs_sim::Channel channel = rs_sim::QarySymmetricChannel{};
    std::int32_t interleave = 1;
    rs_sim::Experiment::OnFailure onFailure = rs_sim::Experiment::OnFailure::kDecoded;
};

// The experiment and the code as the JSON reports describe them.
nlohmann::ordered_json ExperimentJson(const RunDescription& run);
nlohmann::ordered_json CodeJson(const rs_sim::CodeFacts& code);
// How the points' 95 % intervals are made: the trials of the FER's and the SER's.
nlohmann::ordered_json IntervalsJson(std::int32_t interleave);
// The channel by name, with the Gilbert-Elliott chain's level, burst and error probabilities.
nlohmann::ordered_json ChannelJson(const rs_sim::Channel& channel);

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

// A point's counts and rates; on a channel other than the default, also what that channel
// counts: its bit errors and their rate where it flips bits, and the squares of the error blocks
// of each frame.
nlohmann::ordered_json PointJson(const rs_sim::PointResult& point);
nlohmann::ordered_json PointJson(const rs_sim::PointResult& point, const rs_sim::Channel& channel);

}  // namespace rs
