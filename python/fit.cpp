#include "python/fit.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>

#include "library/scenario_run.h"
#include "python/convert.h"
#include "python/library.h"
#include "python/module_data.h"
#include "report/fit_report.h"

namespace py = pybind11;

namespace orvane::python {
namespace {

constexpr const char* kFitDoc =
    "fit(dict_or_path, *, data=None) -> dict\n\n"
    "Fits the kinetics of a scenario's radiopharmaceutical to its \"measurements\" section "
    "(with its \"fit\" section's options) and returns what orvane-cli --json prints under "
    "\"fit\": components, parameters [{fraction, fraction_se, half_life, half_life_se, "
    "rate_constant}], models [{components, aicc, chi_square, dof}], dose_interval {'2.5', "
    "'50', '97.5'} in mGy/MBq, flags, and residuals as a dict of NumPy arrays (kind, at, "
    "measured, model, weighted), plus dose_mGy_per_MBq, the scenario's dose with the fitted "
    "kinetics. An AICc or standard error that does not exist is None. A refused file or a fit "
    "that does not converge raises orvane.InputError (its path the key path).";

py::dict fit(const py::object& source, const py::object& data) {
    const ScenarioDocument document = scenarioDocument(source);
    const Data loaded = dataOf(data);
    ScenarioRunOptions options;
    options.fitRequired = true;
    ScenarioOutcome run;
    {
        py::gil_scoped_release unlocked;
        run = runScenarioDocument(workbenchOf(loaded), document, options);
    }
    warnAll(run.warnings);
    py::dict out = fromJson(fitJson(*run.fit));
    // The residuals as arrays: a column per key, None (no model value) as NaN.
    const py::list rows = out["residuals"];
    py::dict residuals;
    py::list kinds;
    for (const py::handle r : rows) kinds.append(r["kind"]);
    residuals["kind"] = kinds;
    for (const char* key : {"at", "measured", "model", "weighted"}) {
        std::vector<double> column;
        for (const py::handle r : rows)
            column.push_back(r[key].is_none() ? NAN : r[key].cast<double>());
        residuals[key] = readOnlyArray(std::move(column));
    }
    out["residuals"] = residuals;
    out["dose_mGy_per_MBq"] = run.result.dose;
    return out;
}

}  // namespace

void addFit(py::module_& module) {
    module.def("fit", &fit, py::arg("dict_or_path"), py::kw_only(), py::arg("data") = py::none(),
               kFitDoc);
}

}  // namespace orvane::python
