// Python values to and from the library's JSON values (the library builds and walks them; the
// module never reads JSON), NumPy arrays, and the data file beside the module. Used only by
// the module.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library/json_view.h"
#include "library/scenario_document.h"

namespace orvane::python {

// Any Mapping (text keys), Sequence (not a text), NumPy array or scalar, str, int, float or
// bool as a JSON value. Refuses (a ScenarioError naming the key path, e.g.
// "voiding.voids[2].at") None, a number that is not finite, an integer beyond -2^63..2^64-1,
// a text with a lone surrogate and any other type.
JsonValue toJson(pybind11::handle value, const std::string& path = "");
// The same, as compact JSON text (read back, the same value), refused alike.
std::string toJsonText(pybind11::handle value);

// A scenario given as a Mapping (toJson) or as the path of its file (read strictly, named in
// refusals); anything else is refused. Reads the file with the lock released.
ScenarioDocument scenarioDocument(const pybind11::handle& source);

// A text as UTF-8; a lone surrogate or anything but a str is refused at path.
std::string utf8Text(pybind11::handle value, const std::string& path);

// A mapping's key as UTF-8 (keyPath from path); anything but a str, or a lone surrogate, is
// refused.
std::string keyText(pybind11::handle key, const std::string& path);

// A field of the input window: None empty, a text as typed, a number to the last bit (an
// integer as its digits); anything else is refused at path.
std::string fieldText(pybind11::handle value, const std::string& path);

// A value of library/ or report/ as dicts, lists, str, int, float, bool and None.
pybind11::object fromJson(JsonView value);

// A read-only 1-D float64 array of the values.
pybind11::array_t<double> readOnlyArray(std::vector<double> values);

// The data file the module uses without `data=`: beside it in the build tree
// (../share/orvane/orvane.dat), or in the installation's share/orvane.
std::filesystem::path defaultDataFile();

}  // namespace orvane::python
