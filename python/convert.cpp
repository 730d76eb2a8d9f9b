#include "python/convert.h"

#include <dlfcn.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <memory>
#include <variant>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "engine/scenario.h"
#include "library/json_reader.h"
#include "library/scenario_file.h"

namespace py = pybind11;

namespace orvane::python {
namespace {

// Deeper than any scenario file; a list that contains itself stops here.
constexpr int kMaxDepth = 64;

// Where a value stands in what is walked: its key or index in the value above. The key path is
// made only for a refusal (a cohort's dicts are walked by the hundred thousand).
struct Place {
    const Place* above = nullptr;
    const std::string* root = nullptr;  // the top's own path, when above is null
    std::string_view key;               // in the key's own text, which the dict keeps alive
    std::size_t index = 0;
    bool isIndex = false;

    static Place top(const std::string& path) { return {nullptr, &path, {}, 0, false}; }
    Place member(std::string_view name) const { return {this, nullptr, name, 0, false}; }
    Place item(std::size_t at) const { return {this, nullptr, {}, at, true}; }
};

std::string pathOf(const std::string& path) {
    return path;
}

std::string pathOf(const Place& place) {
    if (!place.above) return *place.root;
    const std::string above = pathOf(*place.above);
    return place.isIndex ? indexPath(above, place.index) : keyPath(above, place.key);
}

template <class Path>
[[noreturn]] void refuse(const Path& path, const std::string& reason) {
    throw ScenarioError(pathOf(path), reason);
}

std::string typeName(py::handle value) {
    return Py_TYPE(value.ptr())->tp_name;
}

bool isText(py::handle value) {
    return PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) ||
           PyByteArray_Check(value.ptr());
}

bool isInstance(py::handle value, const char* abc) {
    const py::object kind = py::module_::import("collections.abc").attr(abc);
    return py::isinstance(value, kind);
}

// A NumPy array or scalar (not a text): its values as Python lists and scalars.
bool isNumPy(py::handle value) {
    // The built-in types, most of the values, are not asked for an attribute they lack (a
    // failed look-up raises and clears an exception).
    PyObject* object = value.ptr();
    if (PyLong_CheckExact(object) || PyFloat_CheckExact(object) || PyDict_CheckExact(object) ||
        PyList_CheckExact(object) || PyTuple_CheckExact(object))
        return false;
    return !isText(value) && py::hasattr(value, "dtype") && py::hasattr(value, "tolist");
}

// A number that is not an int: a float, or anything with __float__ but not __index__.
bool isReal(py::handle value) {
    PyObject* object = value.ptr();
    return PyFloat_Check(object) || (!PyLong_Check(object) && PyNumber_Check(object) &&
                                     !PyIndex_Check(object) && py::hasattr(value, "__float__"));
}

template <class Path>
double finiteNumber(py::handle value, const Path& path) {
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    if (!std::isfinite(number)) refuse(path, "expected a finite number");
    return number;
}

// An int (or anything with __index__) within what a scenario file takes.
template <class Path>
std::variant<long long, unsigned long long> wholeNumber(py::handle value, const Path& path) {
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long signedValue = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow == 0) {
        if (signedValue == -1 && PyErr_Occurred()) throw py::error_already_set();
        return signedValue;
    }
    if (overflow > 0) {
        const unsigned long long unsignedValue = PyLong_AsUnsignedLongLong(index.ptr());
        if (!PyErr_Occurred()) return unsignedValue;
        PyErr_Clear();
    }
    refuse(path,
           "expected a whole number from -9223372036854775808 to 18446744073709551615 (64 bits)");
}

// A text's UTF-8, kept by the str itself; a lone surrogate is refused at path.
template <class Path>
std::string_view utf8View(py::handle value, const Path& path) {
    if (!PyUnicode_Check(value.ptr())) refuse(path, "expected a text, not " + typeName(value));
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (!text) {
        PyErr_Clear();
        refuse(path, "a text that is not valid Unicode (a lone surrogate)");
    }
    return {text, static_cast<std::size_t>(size)};
}

// A mapping's key (above: the mapping's place); a lone surrogate is refused at the key as
// shown with backslashes.
std::string_view keyView(py::handle key, const Place& above) {
    if (!PyUnicode_Check(key.ptr())) refuse(above, "expected text keys, not " + typeName(key));
    Py_ssize_t size = 0;
    if (const char* text = PyUnicode_AsUTF8AndSize(key.ptr(), &size))
        return {text, static_cast<std::size_t>(size)};
    PyErr_Clear();
    const py::object shown = key.attr("encode")("utf-8", "backslashreplace").attr("decode")();
    refuse(keyPath(pathOf(above), shown.cast<std::string>()),
           "a key that is not valid Unicode (a lone surrogate)");
}

// Walks a Python value into a JsonBuilder or a JsonTextBuilder.
template <class Out>
class Walker {
public:
    explicit Walker(Out& out) : out_(out) {}

    void walk(py::handle value, const Place& path, int depth) {
        PyObject* object = value.ptr();
        if (object == Py_None) refuse(path, "expected a value, not None");
        if (PyBool_Check(object)) return out_.flag(object == Py_True);
        if (PyUnicode_Check(object)) return out_.text(std::string(utf8View(value, path)));
        if (isNumPy(value)) return walk(value.attr("tolist")(), path, depth);
        if (isReal(value)) return out_.number(finiteNumber(value, path));
        if (PyIndex_Check(object)) {
            const auto number = wholeNumber(value, path);
            if (const auto* whole = std::get_if<long long>(&number)) return out_.integer(*whole);
            return out_.unsignedInteger(std::get<unsigned long long>(number));
        }
        const bool listed = PyList_Check(object) || PyTuple_Check(object);
        const bool mapping = PyDict_Check(object) || (!listed && isInstance(value, "Mapping"));
        const bool sequence =
            listed || (!mapping && !isText(value) && isInstance(value, "Sequence"));
        if (!mapping && !sequence) {
            refuse(path, "expected a mapping, sequence, text, number, true or false, not " +
                             typeName(value));
        }
        if (depth >= kMaxDepth) {
            refuse(path, "nested more than " + std::to_string(kMaxDepth) + " levels deep");
        }
        if (mapping) {
            out_.beginObject();
            const auto member = [&](py::handle key, py::handle item) {
                const Place at = path.member(keyView(key, path));
                if (!out_.key(std::string(at.key))) refuse(at, "given twice");
                walk(item, at, depth + 1);
            };
            if (PyDict_Check(object)) {
                // A dict is walked in place: its keys and values stay alive while it does.
                Py_ssize_t position = 0;
                PyObject *key = nullptr, *item = nullptr;
                while (PyDict_Next(object, &position, &key, &item)) member(key, item);
            } else {
                for (const py::handle pair : value.attr("items")()) {
                    const py::tuple both = py::reinterpret_borrow<py::tuple>(pair);
                    member(both[0], both[1]);
                }
            }
        } else {
            out_.beginList();
            std::size_t index = 0;
            for (const py::handle item : value) {
                walk(item, path.item(index++), depth + 1);
            }
        }
        out_.end();
    }

private:
    Out& out_;
};

// Python values from a walk of a JSON value.
class PythonValues : public JsonVisitor {
public:
    py::object take() { return std::move(result_); }

    void null() override { put(py::none()); }
    void flag(bool value) override { put(py::bool_(value)); }
    void integer(std::int64_t value) override { put(py::int_(value)); }
    void unsignedInteger(std::uint64_t value) override { put(py::int_(value)); }
    void number(double value) override { put(py::float_(value)); }
    void text(std::string_view value) override {
        // Text that is not UTF-8 (from a file) keeps U+FFFD in its place, as the JSON output.
        put(py::reinterpret_steal<py::object>(
            PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "replace")));
    }
    void beginObject(std::size_t) override { open(py::dict()); }
    void key(std::string_view name) override { key_ = py::str(name.data(), name.size()); }
    void beginList(std::size_t) override { open(py::list()); }
    void end() override { open_.pop_back(); }

private:
    void open(py::object container) {
        put(container);
        open_.push_back(std::move(container));
    }
    void put(const py::object& value) {
        if (!value) throw py::error_already_set();
        if (open_.empty()) {
            result_ = value;
        } else if (PyList_Check(open_.back().ptr())) {
            open_.back().cast<py::list>().append(value);
        } else {
            open_.back().cast<py::dict>()[key_] = value;
        }
    }

    std::vector<py::object> open_;
    py::object key_, result_;
};

}  // namespace

JsonValue toJson(py::handle value, const std::string& path) {
    JsonBuilder out;
    Walker(out).walk(value, Place::top(path), 0);
    return out.take();
}

std::string toJsonText(py::handle value) {
    JsonTextBuilder out;
    const std::string top;
    Walker(out).walk(value, Place::top(top), 0);
    return out.take();
}

ScenarioDocument scenarioDocument(const py::handle& source) {
    if (PyDict_Check(source.ptr()) || isInstance(source, "Mapping"))
        return ScenarioDocument(toJson(source));
    if (!PyUnicode_Check(source.ptr()) && !py::hasattr(source, "__fspath__")) {
        refuse("", "expected a dict (any mapping) or the path of a scenario file, not " +
                       typeName(source));
    }
    const std::filesystem::path file = source.cast<std::filesystem::path>();
    py::gil_scoped_release unlocked;
    return ScenarioDocument::parse(readScenarioText(file), file.string());
}

std::string utf8Text(py::handle value, const std::string& path) {
    return std::string(utf8View(value, path));
}

std::string keyText(py::handle key, const std::string& path) {
    return std::string(keyView(key, Place::top(path)));
}

std::string fieldText(py::handle value, const std::string& path) {
    PyObject* object = value.ptr();
    if (object == Py_None) return "";
    if (PyUnicode_Check(object)) return utf8Text(value, path);
    if (isNumPy(value)) return fieldText(value.attr("tolist")(), path);
    if (!PyBool_Check(object)) {
        if (isReal(value)) return formatRoundTrip(finiteNumber(value, path));
        if (PyIndex_Check(object)) {
            return std::visit([](auto whole) { return std::to_string(whole); },
                              wholeNumber(value, path));
        }
    }
    refuse(path, "expected a text, a number or None");
}

py::object fromJson(JsonView value) {
    PythonValues values;
    value.visit(values);
    return values.take();
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

}  // namespace orvane::python
