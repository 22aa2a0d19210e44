#pragma once

// The module's parts, each adding its functions and classes to the module.

#include <pybind11/pybind11.h>

namespace rs_sim::python {

void BindSimulate(pybind11::module_& module);
void BindCodec(pybind11::module_& module);

}  // namespace rs_sim::python
