// orvane.batch: a cohort of scenarios through the batch runner (library/batch.h).
#pragma once

#include <pybind11/pybind11.h>

namespace orvane::python {

// Adds orvane.batch to the module.
void addBatch(pybind11::module_& module);

}  // namespace orvane::python
