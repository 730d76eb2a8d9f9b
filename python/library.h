// The radiopharmaceuticals as the module offers them: the workbench of a loaded data file (the
// shipped library beside it and the user's own), the library listed as dicts, and the
// warnings issued as orvane.OrvaneWarning.
#pragma once

#include <pybind11/pybind11.h>

#include <filesystem>
#include <vector>

#include "engine/warning.h"
#include "library/workbench.h"

namespace orvane::python {

// The workbench of the data and the libraries that go with dataFile: the shipped library
// beside it, the user's file as XDG_DATA_HOME and HOME say. A shipped file that cannot be used
// throws its DataFileError.
Workbench moduleWorkbench(const StandardData& data, const std::filesystem::path& dataFile);

// The components (fraction, rate_constant_per_min, biological_half_life_min), leaving out
// those all zero when omitUnused. Needs the GIL.
pybind11::list componentDicts(const StandardPharmaceutical& values, bool omitUnused);

// The field texts by key (f1, k1, tb1, ..., tp, delta, gamma). Needs the GIL.
pybind11::dict fieldDicts(const FieldTexts& fields);

// Every entry as a dict (units in the keys), the user's marked "origin": "user"; what was set
// aside is warned about. Needs the GIL.
pybind11::list libraryDicts(const Workbench& workbench);

// The warnings as [{"path", "message"}]. Needs the GIL.
pybind11::list warningDicts(const std::vector<Warning>& warnings);

// Issues each warning as orvane.OrvaneWarning. Needs the GIL.
void warnAll(const std::vector<Warning>& warnings);

}  // namespace orvane::python
