#include "python/batch.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

#include "library/batch.h"
#include "library/standards.h"
#include "python/convert.h"
#include "python/library.h"
#include "python/module_data.h"
#include "report/fit_report.h"
#include "report/uncertainty_report.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvane::python {
namespace {

constexpr const char* kBatchDoc =
    "batch(items, *, threads=None, as_arrays=False, data=None) -> list[dict] | dict\n\n"
    "Computes every scenario of items (dicts as orvane.scenario takes them, or paths of "
    "scenario files) on threads threads (default: every core), with the interpreter's lock "
    "released. Returns one dict per item, in order, as orvane-cli --batch writes its lines: "
    "line (the item's number from 1), id (the item's 'id', else the line as text), "
    "dose_mGy_per_MBq, activity_left_fraction, warnings, uncertainty (its summary, when the "
    "scenario has that section) and fit (the fit's summary without residuals, when it has "
    "measurements), or line, id and error {path, message}. A bad item never stops the batch. "
    "With as_arrays=True: a dict of NumPy arrays, one entry per item: line, id, "
    "dose_mGy_per_MBq, p2.5, p50, p97.5 (of the uncertainty or the fit's 95 % interval; NaN "
    "when there is none), warnings (their number) "
    "and error ('path: message', empty when computed).";

// One item as a batch record; called holding the lock.
BatchItem itemOf(py::handle item, std::size_t line, const py::object& mapping) {
    BatchItem record;
    record.line = line;
    if (PyDict_Check(item.ptr()) || py::isinstance(item, mapping)) {
        try {
            // As text: the tree is then built, and freed, on the worker's thread.
            record.text = toJsonText(item);
        } catch (const std::exception& e) {
            record.problem = e.what();
        }
    } else if (py::isinstance<py::str>(item) || py::hasattr(item, "__fspath__")) {
        record.file = item.cast<std::filesystem::path>().string();
        if (record.file.empty()) record.problem = "an empty path";
    } else {
        record.problem = "expected a dict or a path, got " +
                         py::str(py::type::handle_of(item).attr("__name__")).cast<std::string>();
    }
    return record;
}

// Runs without the lock; `next` takes it for each item it converts.
std::vector<BatchOutput> run(const std::function<bool(BatchItem&)>& next, unsigned threads,
                             const Data& loaded) {
    checkGrids(loaded.standard->tables);
    const Workbench workbench = workbenchOf(loaded);
    const BatchCompute compute = scenarioBatchCompute(workbench, uncertaintyJson, fitJson);
    ItemSource source(next);
    std::vector<BatchOutput> outputs;
    BatchOptions options;
    options.threads = threads;
    options.format = BatchFormat::None;
    runBatch(
        source, compute, [&](BatchOutput&& output) { outputs.push_back(std::move(output)); },
        options);
    return outputs;
}

py::dict recordDict(const BatchOutput& output) {
    py::dict record;
    record["line"] = output.line;
    record["id"] = output.id;
    if (output.record.error) {
        py::dict error;
        error["path"] = output.record.error->path;
        error["message"] = output.record.error->message;
        record["error"] = error;
        return record;
    }
    const py::dict values = fromJson(output.record.values);
    for (const auto [key, value] : values) record[key] = value;
    return record;
}

py::dict arrays(const std::vector<BatchOutput>& outputs) {
    std::vector<long long> lines, warnings;
    std::vector<double> dose, p025, p50, p975;
    py::list ids, errors;
    for (const BatchOutput& o : outputs) {
        const BatchRow row = batchRow(o);
        lines.push_back(static_cast<long long>(o.line));
        ids.append(o.id);
        dose.push_back(row.dose);
        p025.push_back(row.p2_5);
        p50.push_back(row.p50);
        p975.push_back(row.p97_5);
        warnings.push_back(static_cast<long long>(row.warnings));
        errors.append(row.error);
    }
    const py::module_ numpy = py::module_::import("numpy");
    py::dict result;
    result["line"] = py::array_t<long long>(static_cast<py::ssize_t>(lines.size()), lines.data());
    result["id"] = numpy.attr("array")(ids, "dtype"_a = "str");
    result["dose_mGy_per_MBq"] = readOnlyArray(std::move(dose));
    result["p2.5"] = readOnlyArray(std::move(p025));
    result["p50"] = readOnlyArray(std::move(p50));
    result["p97.5"] = readOnlyArray(std::move(p975));
    result["warnings"] =
        py::array_t<long long>(static_cast<py::ssize_t>(warnings.size()), warnings.data());
    result["error"] = numpy.attr("array")(errors, "dtype"_a = "str");
    return result;
}

py::object batch(const py::iterable& items, std::optional<int> threads, bool asArrays,
                 const py::object& data) {
    if (threads && (*threads < 1 || *threads > 1024))
        throw std::invalid_argument("threads: expected 1 to 1024");
    const Data loaded = dataOf(data);
    // Each item is converted as the batch reads it, while the workers compute the earlier
    // ones: only the batch's window of converted items is held at once.
    const py::object mapping = py::module_::import("collections.abc").attr("Mapping");
    py::iterator item = py::iter(items);
    std::size_t line = 0;
    auto next = [&](BatchItem& record) {
        py::gil_scoped_acquire locked;
        if (item == py::iterator::sentinel()) return false;
        record = itemOf(*item, ++line, mapping);
        ++item;
        return true;
    };
    std::vector<BatchOutput> outputs;
    {
        py::gil_scoped_release unlocked;
        outputs = run(next, threads ? static_cast<unsigned>(*threads) : 0u, loaded);
    }
    if (asArrays) return arrays(outputs);
    py::list results;
    for (const BatchOutput& output : outputs) results.append(recordDict(output));
    return results;
}

}  // namespace

void addBatch(py::module_& module) {
    module.def("batch", &batch, py::arg("items"), py::kw_only(), py::arg("threads") = py::none(),
               py::arg("as_arrays") = false, py::arg("data") = py::none(), kBatchDoc);
}

}  // namespace orvane::python
