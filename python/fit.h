// orvane.fit: the fit of a scenario to the patient's measurements (library/measurements_file.h).
#pragma once

#include <pybind11/pybind11.h>

namespace orvane::python {

// Adds orvane.fit to the module.
void addFit(pybind11::module_& module);

}  // namespace orvane::python
