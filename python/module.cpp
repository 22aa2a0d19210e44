// The Python module rs_sim: the simulator and the codec of include/rs_sim, numpy arrays in and
// out. A client of the public API alone, as the program is.
#include <pybind11/pybind11.h>

#include "python/bindings.h"
#include "rs_sim/simulator.h"

PYBIND11_MODULE(rs_sim, module) {
    module.doc() =
        "Reed-Solomon codes over GF(2^m) on noisy channels: the exact Monte-Carlo and stratified\n"
        "engines of rs-sim, with the same counts as the program, and the codec for real data.";
    module.attr("__version__") = rs_sim::Version();
    rs_sim::python::BindSimulate(module);
    rs_sim::python::BindCodec(module);
}
