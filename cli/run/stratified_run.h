#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/run/program.h"
#include "cli/run/run_outputs.h"
#include "report/documents/json_report.h"
#include "rs_sim/experiment.h"

namespace rs {

// What a stratified run takes from the program: its checked outputs, the run as the reports
// describe it, the experiment, the code's header line and gnuplot when a plot is asked for.
struct StratifiedInputs {
    const ProgramEnvironment& environment;
    const RunOutputs& targets;
    const RunDescription& run;
    const rs_sim::Experiment& experiment;
    std::string header;
    std::filesystem::path gnuplot;
};

// Estimates the experiment's rates at every P0 by weight-stratified sampling, then writes the
// console text and the report, the JSON, CSV and plot asked for, each whole. Returns an error
// message, empty on success.
std::string RunStratified(const StratifiedInputs& inputs);

}  // namespace rs
