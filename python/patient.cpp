#include "python/patient.h"

#include <pybind11/stl.h>

#include <optional>
#include <string>

#include "library/patients.h"
#include "library/scenario_patient.h"
#include "python/convert.h"
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

py::object patient(double age, const std::optional<std::string>& sexText, const py::object& data) {
    const std::filesystem::path file = dataFileOf(data).parent_path() / "patients.json";
    std::string text;
    {
        py::gil_scoped_release unlocked;
        const std::optional<Sex> sex =
            sexText ? std::optional(sexFromText(*sexText)) : std::nullopt;
        const ReferenceFragment made = referenceFragment(loadPatientsFile(file), age, sex);
        text = referencePatientText(made.fragment, made.origin, made.citations, true);
    }
    return py::module_::import("json").attr("loads")(text);
}

}  // namespace

void addPatient(py::module_& module) {
    module.def("patient", &patient, py::arg("age"), py::arg("sex") = py::none(), py::kw_only(),
               py::arg("data") = py::none(), kPatientDoc);
}

}  // namespace orvane::python
