// Python values to and from JSON documents and NumPy arrays, and the data file beside the
// module. Used only by the module.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace orvane::python {

// A dict, list, str, number, bool or None as JSON. Refuses (InputError naming the key path,
// e.g. "voiding.voids[2].at") a number that is not finite and any other type.
nlohmann::json toJson(pybind11::handle value, const std::string& path = "");

// A JSON document as dicts, lists, str, int, float, bool and None.
pybind11::object fromJson(const nlohmann::json& value);

// A read-only 1-D float64 array of the values.
pybind11::array_t<double> readOnlyArray(std::vector<double> values);

// The data file the module uses without `data=`: beside it in the build tree
// (../share/orvane/orvane.dat), or in the installation's share/orvane.
std::filesystem::path defaultDataFile();

// The data file that a data= argument names: None the default, a loaded orvane.Data its file,
// else a path. Needs the GIL.
std::filesystem::path dataFileOf(const pybind11::object& data);

}  // namespace orvane::python
