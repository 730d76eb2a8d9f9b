// The Python module `orvane`: dose tables, patient scenarios and their uncertainty, computed by
// the engine with the interpreter's lock released. Units: min, ml, ml/min, MBq, mGy/MBq.
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "engine/scenario.h"
#include "engine/scenario_uncertainty.h"
#include "engine/version.h"
#include "library/scenario_file.h"
#include "library/scenario_run.h"
#include "library/standards.h"
#include "library/uncertainty_file.h"
#include "python/batch.h"
#include "python/convert.h"
#include "python/docstrings.h"
#include "python/fit.h"
#include "python/library.h"
#include "python/module_data.h"
#include "python/patient.h"
#include "report/fit_report.h"
#include "report/report.h"
#include "report/results_file.h"
#include "report/scenario_report.h"
#include "report/uncertainty_report.h"

namespace py = pybind11;

namespace orvane::python {
namespace {

void raise(const char* type, const std::string& message, py::object path) {
    const py::object kind = py::module_::import("orvane").attr(type);
    const py::object error = kind(message, path);
    PyErr_SetObject(kind.ptr(), error.ptr());
}

// The module's errors for the layers' exceptions.
void translateError(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const ScenarioError& e) {
        raise("InputError", e.what(),
              e.path().empty() ? py::object(py::none()) : py::str(e.path()));
    } catch (const InputError& e) {
        raise("InputError", e.what(),
              e.field() < 0 ? py::object(py::none()) : py::str(kFieldKeys[e.field()]));
    } catch (const DataFileError& e) {
        raise("DataFileError", e.what(), py::str(e.file()));
    } catch (const GridError& e) {
        raise("DataFileError", e.what(), py::none());
    } catch (const CalculationError& e) {
        raise("InputError", e.what(), py::none());
    } catch (const ScenarioFileError& e) {
        PyErr_SetString(PyExc_OSError, e.what());
    } catch (const NameError& e) {
        raise("InputError", e.what(), py::str("standard"));
    }
}

// --- Dose tables ---------------------------------------------------------------------------

struct TableInput {
    FieldTexts fields{};
    std::string name;
    std::optional<ResolvedEntry> chosen;
};

constexpr const char* kStandardExpected = "expected a standard's or library entry's name, or 0..19";

// A standard by index, or what a name names (as everywhere: Workbench::resolve).
void takeStandard(TableInput& input, py::handle key, const Workbench& workbench) {
    if (PyIndex_Check(key.ptr()) && !PyBool_Check(key.ptr())) {
        int overflow = 0;
        const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(key.ptr()));
        if (!index) throw py::error_already_set();
        const long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
        if (overflow != 0) throw ScenarioError("standard", kStandardExpected);
        input.chosen = workbench.standard(number);
    } else if (PyUnicode_Check(key.ptr())) {
        input.chosen = workbench.resolve(utf8Text(key, "standard"));
    } else {
        throw ScenarioError("standard", kStandardExpected);
    }
    const StandardFieldTexts texts = standardFieldTexts(input.chosen->entry.values);
    input.fields = texts.fields;
    input.name = texts.name;
}

TableInput tableInput(py::handle what, const Workbench& data) {
    TableInput input;
    const py::module_ abc = py::module_::import("collections.abc");
    const bool text = PyUnicode_Check(what.ptr()) || PyBytes_Check(what.ptr());
    if (py::hasattr(what, "dtype") && py::hasattr(what, "tolist") && !text)
        return tableInput(what.attr("tolist")(), data);
    if (py::isinstance(what, abc.attr("Mapping"))) {
        const py::dict dict(py::reinterpret_borrow<py::object>(what));
        if (dict.contains("standard")) takeStandard(input, dict["standard"], data);
        for (auto [key, value] : dict) {
            const std::string name = keyText(key, "");
            const auto field = std::find(kFieldKeys.begin(), kFieldKeys.end(), name);
            if (field != kFieldKeys.end()) {
                input.fields[field - kFieldKeys.begin()] = fieldText(value, name);
            } else if (name == "name") {
                input.name = utf8Text(value, "name");
            } else if (name != "standard") {
                throw ScenarioError(name,
                                    "unknown key; give standard, name or the fields f1, "
                                    "k1, tb1, ..., tp, delta, gamma");
            }
        }
    } else if (!text && py::isinstance(what, abc.attr("Sequence"))) {
        const py::sequence list = py::reinterpret_borrow<py::sequence>(what);
        if (list.size() != kFieldCount) {
            throw ScenarioError("",
                                "expected the 15 fields f1, k1, tb1, ..., tp, delta, gamma, "
                                "not " +
                                    std::to_string(list.size()) + " values");
        }
        for (int f = 0; f < kFieldCount; ++f) input.fields[f] = fieldText(list[f], kFieldKeys[f]);
    } else {
        takeStandard(input, what, data);
    }
    return input;
}

struct Table {
    DoseResults results;
    FieldTexts fields;
    std::vector<Warning> warnings;
};

Table computeTable(const py::object& what, const py::object& name, const py::object& data) {
    const Data loaded = dataOf(data);
    const Workbench workbench = workbenchOf(loaded);
    TableInput input = tableInput(what, workbench);
    if (!name.is_none()) input.name = utf8Text(name, "name");
    Table table;
    {
        py::gil_scoped_release unlocked;
        table = {RunCalculation(input.fields, input.name, loaded.standard->tables), input.fields,
                 workbench.tableWarnings(input.fields, input.chosen ? &*input.chosen : nullptr)};
    }
    warnAll(table.warnings);
    return table;
}

py::array_t<double> doseArray(const Table& table) {
    py::array_t<double> doses({kScheduleCount, kV0Count, kT0Count});
    auto cells = doses.mutable_unchecked<3>();
    for (int s = 0; s < kScheduleCount; ++s) {
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) cells(s, v, t) = table.results.tables[s].at(t, v);
        }
    }
    doses.attr("flags").attr("writeable") = false;
    return doses;
}

int scheduleIndex(int schedule) {
    if (schedule < 1 || schedule > kScheduleCount) {
        throw ScenarioError("schedule", "schedules are numbered 1, 2 and 3");
    }
    return schedule - 1;
}

// --- Scenarios -----------------------------------------------------------------------------

struct ScenarioRun {
    Scenario scenario;
    ScenarioResult result;
    std::vector<Warning> warnings;
    std::optional<FitResult> fit;  // a scenario with measurements: fitted first
    FitOptions fitOptions;
};

ScenarioRun runScenario(const py::object& source, std::optional<double> step,
                        const py::object& data) {
    if (step && !(*step > 0 && std::isfinite(*step))) {
        throw ScenarioError("time_course", "expected a positive step in minutes");
    }
    const Data loaded = dataOf(data);
    const ScenarioDocument document = scenarioDocument(source);
    ScenarioRun run;
    {
        py::gil_scoped_release unlocked;
        const Workbench workbench = workbenchOf(loaded);
        ScenarioOutcome outcome = runScenarioDocument(
            workbench, document, {.timeStep = step, .fitThreads = 0, .file = document.file()});
        run.result = std::move(outcome.result);
        run.warnings = std::move(outcome.warnings);
        run.scenario = std::move(outcome.input.scenario);
        run.fit = std::move(outcome.fit);
        run.fitOptions = outcome.fitOptions;
    }
    warnAll(run.warnings);
    return run;
}

// One part of the result as orvane-cli --json writes it ("voids", "intervals").
py::object resultPart(const ScenarioRun& run, const char* part) {
    const py::dict all = fromJson(scenarioResultJson(run.scenario, run.result));
    return all[part];
}

py::object timeCourse(const ScenarioRun& run) {
    const std::vector<TimePoint>& points = run.result.timeCourse;
    if (points.empty()) return py::none();
    auto column = [&points](double scale, double TimePoint::*member) {
        std::vector<double> values;
        values.reserve(points.size());
        for (const TimePoint& p : points) values.push_back(p.*member * scale);
        return readOnlyArray(std::move(values));
    };
    py::dict course;
    course["time_min"] = column(1.0, &TimePoint::time);
    course["volume_ml"] = column(1.0, &TimePoint::volume);
    course["activity_fraction"] = column(1.0, &TimePoint::activity);
    course["dose_rate_mGy_per_MBq_min"] = column(1.0, &TimePoint::doseRate);
    course["cumulative_dose_mGy_per_MBq"] = column(1.0, &TimePoint::cumulativeDose);
    if (const auto mbq = run.scenario.administeredActivity) {
        course["activity_MBq"] = column(*mbq, &TimePoint::activity);
    }
    return course;
}

// --- Uncertainty ---------------------------------------------------------------------------

py::dict uncertaintyAnalysis(const py::object& source, std::optional<int> threads,
                             const py::object& data) {
    const Data loaded = dataOf(data);
    const ScenarioDocument document = scenarioDocument(source);
    if (!document.has("uncertainty")) {
        throw ScenarioError("uncertainty", "the scenario has no uncertainty section");
    }
    if (threads && *threads < 1) throw ScenarioError("threads", "expected 1 or more threads");
    UncertaintyPlan plan;
    UncertaintyResult analysis;
    std::vector<Warning> warnings;
    {
        py::gil_scoped_release unlocked;
        const Workbench workbench = workbenchOf(loaded);
        const StandardData& standard = *loaded.standard;
        checkGrids(standard.tables);
        const ScenarioInput input = workbench.readScenario(document);
        const Scenario& scenario = input.scenario;
        plan = *workbench.uncertaintyPlan(document, scenario);
        plan.options.threads = threads.value_or(defaultSamplingThreads(plan.options.samples));
        const QuadratureRule rule{standard.tables.quadratureNodes,
                                  standard.tables.quadratureWeights};
        try {
            analysis = runScenarioUncertainty(scenario, rule, plan.keys, plan.inputs, plan.options);
        } catch (const std::invalid_argument& e) {
            throw ScenarioError("uncertainty", e.what());
        }
        warnings = workbench.scenarioWarnings(input, computeScenario(scenario, rule));
    }
    warnAll(warnings);
    py::dict result = fromJson(uncertaintyJson(plan.inputs, analysis));
    result["warnings"] = warningDicts(warnings);
    result["nominal"] = analysis.nominal;
    py::list inputs;
    for (const UncertainInput& input : plan.inputs) inputs.append(input.path);
    result["inputs"] = inputs;
    result["doses"] = readOnlyArray(analysis.doses);
    const auto count = static_cast<py::ssize_t>(analysis.doses.size());
    result["values"] =
        readOnlyArray(analysis.values).reshape({count, static_cast<py::ssize_t>(inputs.size())});
    return result;
}

// --- Standards -----------------------------------------------------------------------------

py::list standardsList(const py::object& data) {
    const Data loaded = dataOf(data);
    py::list list;
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardPharmaceutical& s = loaded.standard->library[i];
        const StandardFieldTexts texts = standardFieldTexts(s);
        py::dict entry;
        entry["index"] = i;
        entry["name"] = texts.name;
        entry["components"] = componentDicts(s, false);
        entry["physical_half_life_min"] = s.physicalHalfLife;
        entry["delta_mGy_kg_per_MBq_s"] = s.delta;
        entry["gamma_mGy_cm2_per_MBq_s"] = s.gamma;
        entry["fields"] = fieldDicts(texts.fields);
        entry["source"] = loaded.file;
        list.append(entry);
    }
    return list;
}

}  // namespace

}  // namespace orvane::python

PYBIND11_MODULE(orvane, m) {
    using namespace orvane;
    using namespace orvane::python;
    m.doc() = kModuleDoc;
    m.attr("__version__") = kVersion;
    py::dict scope;
    scope["__builtins__"] = py::module_::import("builtins");
    scope["__name__"] = "orvane";
    py::exec(kErrorClasses, scope);
    m.attr("InputError") = scope["InputError"];
    m.attr("DataFileError") = scope["DataFileError"];
    m.attr("OrvaneWarning") = scope["OrvaneWarning"];
    py::register_exception_translator(&translateError);

    py::class_<Data>(m, "Data", kDataDoc).def_property_readonly("file", [](const Data& d) {
        return d.file;
    });
    m.def(
        "load_data",
        [](const std::optional<std::filesystem::path>& file) {
            return loadData(file.value_or(defaultDataFile()));
        },
        py::arg("file") = py::none(), kLoadDataDoc);

    py::class_<Table>(m, "Table", kTableDoc)
        .def_property_readonly("name", [](const Table& t) { return t.results.parameters.name; })
        .def_property_readonly("fields", [](const Table& t) { return fieldDicts(t.fields); })
        .def_property_readonly("doses", &doseArray)
        .def_property_readonly("warnings", [](const Table& t) { return warningDicts(t.warnings); })
        .def_property_readonly("v0",
                               [](const Table& t) {
                                   const V0Grid& g = t.results.grids.v0Grid;
                                   return readOnlyArray({g.begin(), g.end()});
                               })
        .def_property_readonly("t0",
                               [](const Table& t) {
                                   const T0Grid& g = t.results.grids.t0Grid;
                                   return readOnlyArray({g.begin(), g.end()});
                               })
        .def_property_readonly(
            "rates",
            [](const Table&) {
                std::vector<double> rates;
                for (const FillRateSchedule& s : kFillRateSchedules) {
                    rates.push_back(s.dayRate);
                    rates.push_back(s.nightRate);
                }
                return readOnlyArray(std::move(rates)).reshape({kScheduleCount, 2});
            })
        .def("results_file", [](const Table& t) { return resultsFileText(t.results); })
        .def(
            "report",
            [](const Table& t, int schedule) {
                const ScheduleView view = RenderSchedule(t.results, scheduleIndex(schedule));
                return view.report + view.table;
            },
            py::arg("schedule"), kReportDoc);
    m.def("table", &computeTable, py::arg("standard_or_fields"), py::kw_only(),
          py::arg("name") = py::none(), py::arg("data") = py::none(), kTableFunctionDoc);

    py::class_<ScenarioRun>(m, "ScenarioResult", kScenarioResultDoc)
        .def_property_readonly("name", [](const ScenarioRun& r) { return r.scenario.name; })
        .def_property_readonly("dose", [](const ScenarioRun& r) { return r.result.dose; })
        .def_property_readonly("activity_left_fraction",
                               [](const ScenarioRun& r) { return r.result.activityLeft; })
        .def_property_readonly("administered_MBq",
                               [](const ScenarioRun& r) { return r.scenario.administeredActivity; })
        .def_property_readonly("dose_mGy",
                               [](const ScenarioRun& r) -> std::optional<double> {
                                   if (!r.scenario.administeredActivity) return std::nullopt;
                                   return r.result.dose * *r.scenario.administeredActivity;
                               })
        .def_property_readonly("voids", [](const ScenarioRun& r) { return resultPart(r, "voids"); })
        .def_property_readonly("intervals",
                               [](const ScenarioRun& r) { return resultPart(r, "intervals"); })
        .def_property_readonly("time_course", &timeCourse)
        .def_property_readonly("warnings",
                               [](const ScenarioRun& r) { return warningDicts(r.warnings); })
        .def("json",
             [](const ScenarioRun& r) {
                 return fromJson(fittedScenarioJson(r.scenario, r.result, r.warnings,
                                                    r.fit ? &*r.fit : nullptr));
             })
        .def("report", [](const ScenarioRun& r) {
            const std::string report = scenarioReportText(r.scenario, r.result, r.warnings);
            return r.fit ? report + "\n" + fitText(*r.fit, r.fitOptions) : report;
        });
    m.def("scenario", &runScenario, py::arg("dict_or_path"), py::kw_only(),
          py::arg("time_course") = kDefaultTimeCourseStep, py::arg("data") = py::none(),
          kScenarioDoc);
    m.def("uncertainty", &uncertaintyAnalysis, py::arg("dict_or_path"), py::kw_only(),
          py::arg("threads") = py::none(), py::arg("data") = py::none(), kUncertaintyDoc);
    m.def("standards", &standardsList, py::kw_only(), py::arg("data") = py::none(), kStandardsDoc);
    m.def(
        "library", [](const py::object& data) { return libraryDicts(workbenchOf(dataOf(data))); },
        py::kw_only(), py::arg("data") = py::none(), kLibraryDoc);
    addBatch(m);
    addFit(m);
    addPatient(m);
}
