#pragma once

// The JSON documents' parts, built from the run as described; writing them to files is the
// reports' business (json_report.h).

#include <cstdint>
#include <nlohmann/json.hpp>

#include "report/documents/run_description.h"
#include "rs_sim/experiment.h"
#include "rs_sim/results.h"

namespace rs {

// The experiment and the code as the JSON reports describe them.
nlohmann::ordered_json ExperimentJson(const RunDescription& run);
nlohmann::ordered_json CodeJson(const rs_sim::CodeFacts& code);
// How the points' 95 % intervals are made: the trials of the FER's and the SER's.
nlohmann::ordered_json IntervalsJson(std::int32_t interleave);
// The channel by name, with the Gilbert-Elliott chain's level, burst and error probabilities.
nlohmann::ordered_json ChannelJson(const rs_sim::Channel& channel);

// Every document's head: program, version, method, experiment and code.
nlohmann::ordered_json DocumentHead(const RunDescription& run, const char* method);
// A Monte-Carlo run's document before its points: program, version, method, experiment, code,
// intervals, and an empty array of points.
nlohmann::ordered_json MonteCarloJson(const RunDescription& run);

// A point's counts and rates; on a channel other than the default, also what that channel
// counts: its bit errors and their rate where it flips bits, and the squares of the error blocks
// of each frame.
nlohmann::ordered_json PointJson(const rs_sim::PointResult& point);
nlohmann::ordered_json PointJson(const rs_sim::PointResult& point, const rs_sim::Channel& channel);

}  // namespace rs
