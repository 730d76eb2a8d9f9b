// The module's loaded data file (orvane.Data) and what a data= argument names: the functions
// of every part of the module take their data and workbench from here.
#pragma once

#include <pybind11/pybind11.h>

#include <filesystem>
#include <memory>
#include <string>

#include "library/standards.h"
#include "library/workbench.h"

namespace orvane::python {

// A loaded data file; shared by every result computed from it.
struct Data {
    std::shared_ptr<const StandardData> standard;
    std::string file;
};

// Reads the data file with the interpreter's lock released. Needs the GIL on entry.
Data loadData(const std::filesystem::path& file);

// `data=`: None for the module's own data file (read once, on first use), a Data, or a path.
// Needs the GIL.
Data dataOf(const pybind11::object& data);

// The workbench of the loaded data (moduleWorkbench); needs no GIL.
Workbench workbenchOf(const Data& loaded);

}  // namespace orvane::python
