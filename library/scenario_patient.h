// A reference patient in a scenario file: {"patient": {"age": 5, "sex": "female"}} fills every
// value that the file does not give itself, and each value so taken keeps its sources.
//
// What it fills: initial_volume, residual_volume; fill_rate day, night, night_from, night_to
// (unless the file gives "steps"); with no voiding in the file, a "regular" pattern. In a
// "regular" pattern or a diary's "then": first_void (regular only) and interval from the
// daytime interval, bedtime and wake from the night, night_voids, capacity; in a "capacity"
// pattern its capacity. A "table" pattern keeps the tables' clock: it takes the rates and
// volumes, not the night nor a capacity.
// A patient without a night (newborn, 1 year) fills at one rate all day (night = day rate) and
// voids at night as by day ("night_voids": true).
#pragma once

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "library/patients.h"

namespace orvane {

using PatientValue = SourcedInput;

// The document with every missing default filled from `patient`; `values` receives each value
// filled, in order. The document's own keys are kept as they are (they override).
nlohmann::json withPatientDefaults(const nlohmann::json& document, const ReferencePatient& patient,
                                   std::vector<PatientValue>& values);

// A scenario fragment giving every value the patient fills, headed by "patient".
nlohmann::json patientFragment(double age, std::optional<Sex> sex, const ReferencePatient& patient,
                               std::vector<PatientValue>& values);

// What a scenario records of its reference patient (Scenario::origin).
PatientOrigin patientOrigin(double age, std::optional<Sex> sex, const ReferencePatient& patient,
                            std::vector<PatientValue> values);

// The reference patient as a scenario fragment (orvane-cli --patient, orvane.patient).
struct ReferenceFragment {
    std::string fragment;  // patientFragment as JSON text, two-blank indentation
    PatientOrigin origin;
    std::map<std::string, std::string> citations;  // every source cited: key -> citation
};
ReferenceFragment referenceFragment(const ReferencePatients& patients, double age,
                                    std::optional<Sex> sex);

}  // namespace orvane
