#include "python/convert.h"

#include <dlfcn.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <memory>

#include "engine/calculation.h"
#include "engine/scenario.h"

namespace py = pybind11;
using nlohmann::json;

namespace orvane::python {
namespace {

std::string keyPath(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

void refuse(const std::string& path, const std::string& reason) {
    throw ScenarioError(path, reason);
}

// Deeper than any scenario file; a list that contains itself stops here.
constexpr int kMaxDepth = 64;

json toJson(py::handle value, const std::string& path, int depth);

}  // namespace

json toJson(py::handle value, const std::string& path) {
    return toJson(value, path, 0);
}

namespace {

json toJson(py::handle value, const std::string& path, int depth) {
    PyObject* object = value.ptr();
    if (object == Py_None) return nullptr;
    if (PyBool_Check(object)) return object == Py_True;
    if (PyUnicode_Check(object)) return value.cast<std::string>();
    if (PyFloat_Check(object) || (!PyLong_Check(object) && PyNumber_Check(object) &&
                                  !PyIndex_Check(object) && py::hasattr(value, "__float__"))) {
        const double number = value.cast<double>();
        if (!std::isfinite(number)) refuse(path, "expected a finite number");
        return number;
    }
    if (PyIndex_Check(object)) {
        const py::int_ integer = py::reinterpret_steal<py::int_>(PyNumber_Index(object));
        if (!integer) throw py::error_already_set();
        try {
            return integer.cast<long long>();
        } catch (const py::cast_error&) {
            refuse(path, "expected a number within range");
        }
    }
    if ((PyDict_Check(object) || PyList_Check(object) || PyTuple_Check(object)) &&
        depth >= kMaxDepth) {
        refuse(path, "nested more than " + std::to_string(kMaxDepth) + " levels deep");
    }
    if (PyDict_Check(object)) {
        json document = json::object();
        for (auto [key, item] : value.cast<py::dict>()) {
            if (!PyUnicode_Check(key.ptr())) refuse(path, "expected text keys");
            const std::string name = key.cast<std::string>();
            document[name] = toJson(item, keyPath(path, name), depth + 1);
        }
        return document;
    }
    if (PyList_Check(object) || PyTuple_Check(object)) {
        json array = json::array();
        std::size_t index = 0;
        for (py::handle item : value) {
            array.push_back(toJson(item, path + "[" + std::to_string(index++) + "]", depth + 1));
        }
        return array;
    }
    refuse(path, std::string("expected a dict, list, text, number, true, false or None, not ") +
                     Py_TYPE(object)->tp_name);
    return nullptr;
}

}  // namespace

py::object fromJson(const json& value) {
    switch (value.type()) {
        case json::value_t::null:
            return py::none();
        case json::value_t::boolean:
            return py::bool_(value.get<bool>());
        case json::value_t::number_integer:
            return py::int_(value.get<long long>());
        case json::value_t::number_unsigned:
            return py::int_(value.get<unsigned long long>());
        case json::value_t::number_float:
            return py::float_(value.get<double>());
        case json::value_t::string:
            return py::str(value.get_ref<const std::string&>());
        case json::value_t::array: {
            py::list list;
            for (const json& item : value) list.append(fromJson(item));
            return list;
        }
        case json::value_t::object: {
            py::dict dict;
            for (const auto& [key, item] : value.items()) dict[py::str(key)] = fromJson(item);
            return dict;
        }
        default:
            return py::none();
    }
}

py::array_t<double> readOnlyArray(std::vector<double> values) {
    auto owner = std::make_unique<std::vector<double>>(std::move(values));
    std::vector<double>* held = owner.get();
    py::capsule free(owner.release(), [](void* p) { delete static_cast<std::vector<double>*>(p); });
    py::array_t<double> array(static_cast<py::ssize_t>(held->size()), held->data(), free);
    array.attr("flags").attr("writeable") = false;
    return array;
}

std::filesystem::path defaultDataFile() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&defaultDataFile), &info) == 0 || !info.dli_fname) {
        return std::filesystem::path("share/orvane/orvane.dat");
    }
    const std::filesystem::path folder = std::filesystem::absolute(info.dli_fname).parent_path();
    const std::filesystem::path buildTree = folder / "../share/orvane/orvane.dat";
    if (std::filesystem::exists(buildTree)) return buildTree.lexically_normal();
    return (folder / ORVANE_INSTALLED_DATA).lexically_normal();
}

std::filesystem::path dataFileOf(const pybind11::object& data) {
    if (data.is_none()) return defaultDataFile();
    if (pybind11::hasattr(data, "file") && !pybind11::isinstance<pybind11::str>(data))
        return data.attr("file").cast<std::filesystem::path>();
    return data.cast<std::filesystem::path>();
}

}  // namespace orvane::python
