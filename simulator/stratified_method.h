#pragma once

#include "rs_sim/simulator.h"

namespace rs_sim {

// The stratified method's run behind Simulate: every rate at every P0 from sampled error
// patterns of each weight, with the weights' tallies.
Expected<Results> RunStratifiedStudy(const Experiment& experiment, const Stratified& method,
                                     const RunControls& controls);

}  // namespace rs_sim
