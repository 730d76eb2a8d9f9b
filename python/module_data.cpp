#include "python/module_data.h"

#include <pybind11/stl/filesystem.h>

#include "python/convert.h"
#include "python/library.h"

namespace py = pybind11;

namespace orvane::python {

Data loadData(const std::filesystem::path& file) {
    py::gil_scoped_release unlocked;
    return {std::make_shared<const StandardData>(LoadStandardData(file)), file.string()};
}

Data dataOf(const py::object& data) {
    if (data.is_none()) {
        py::module_ module = py::module_::import("orvane");
        if (!py::hasattr(module, "_default_data")) {
            module.attr("_default_data") = py::cast(loadData(defaultDataFile()));
        }
        return module.attr("_default_data").cast<Data>();
    }
    if (py::isinstance<Data>(data)) return data.cast<Data>();
    return loadData(data.cast<std::filesystem::path>());
}

Workbench workbenchOf(const Data& loaded) {
    return moduleWorkbench(*loaded.standard, loaded.file);
}

}  // namespace orvane::python
