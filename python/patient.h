// orvane.patient: the reference patient of an age and sex as a scenario fragment with its
// sources (library/scenario_patient.h).
#pragma once

#include <pybind11/pybind11.h>

namespace orvane::python {

// Adds orvane.patient to the module.
void addPatient(pybind11::module_& module);

}  // namespace orvane::python
