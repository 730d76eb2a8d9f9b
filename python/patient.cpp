#include "python/patient.h"

#include <pybind11/stl.h>

#include <optional>
#include <string>

#include "engine/scenario.h"
#include "library/patients.h"
#include "library/scenario_patient.h"
#include "python/convert.h"
#include "python/module_data.h"
#include "report/patient_report.h"

namespace py = pybind11;

namespace orvane::python {
namespace {

constexpr const char* kPatientDoc =
    "patient(age, sex=None, *, data=None) -> dict\n\n"
    "The reference patient of age years (0 to 100) and sex (\"female\", \"male\" or None for "
    "a child's values or the mean adult), as orvane-cli --patient --json prints it: "
    "{\"scenario\": the scenario fragment that {\"patient\": {\"age\", \"sex\"}} stands for, "
    "\"patient\": {age, sex, label, capacity_ml, values: [{key, value, sources, confidence, "
    "derived, basis, interpolated}]}, \"sources\": {key: citation}}. Ages between the listed "
    "ones are interpolated linearly, and each value says so. An age or sex refused raises "
    "orvane.InputError (its path \"patient.age\" or \"patient.sex\").";

// The age as a number of years; None, a text, a bool or anything that is not a number is
// refused at patient.age (the range is the library's to check).
double ageOf(const py::handle& age) {
    if (!age.is_none() && !py::isinstance<py::str>(age) && !py::isinstance<py::bool_>(age)) {
        try {
            return py::float_(py::reinterpret_borrow<py::object>(age));
        } catch (const py::error_already_set&) {
        }
    }
    throw ScenarioError("patient.age", "expected a number of years from 0 to 100");
}

py::object patient(const py::handle& age, const py::handle& sexText, const py::object& data) {
    const double years = ageOf(age);
    const std::optional<std::string> sexName =
        sexText.is_none() ? std::nullopt : std::optional(utf8Text(sexText, "patient.sex"));
    const Data loaded = dataOf(data);
    std::optional<ReferenceFragment> made;
    {
        py::gil_scoped_release unlocked;
        const std::optional<Sex> sex =
            sexName ? std::optional(sexFromText(*sexName)) : std::nullopt;
        made = workbenchOf(loaded).patientFragment(years, sex);
    }
    return fromJson(referencePatientJson(made->fragment, made->origin, made->citations));
}

}  // namespace

void addPatient(py::module_& module) {
    module.def("patient", &patient, py::arg("age"), py::arg("sex") = py::none(), py::kw_only(),
               py::arg("data") = py::none(), kPatientDoc);
}

}  // namespace orvane::python
