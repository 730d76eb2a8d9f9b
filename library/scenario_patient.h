// A reference patient in a scenario file: {"patient": {"age": 5, "sex": "female"}} fills every
// value that the file does not give itself, and each value so taken keeps its sources.
//
// What it fills: initial_volume, residual_volume; fill_rate day, night, night_from, night_to
// (unless the file gives "steps"); with no voiding in the file, a "regular" pattern. In a
// "regular" pattern or a diary's "then": first_void (regular only) and interval from the
// daytime interval, bedtime and wake from the night, night_voids, capacity; in a "capacity"
// pattern its capacity. A "table" pattern keeps the tables' clock and takes nothing.
// A patient without a night (newborn, 1 year) fills at one rate all day (night = day rate) and
// voids at night as by day ("night_voids": true).
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "library/patients.h"

namespace orvane {

// One value of a scenario taken from the reference patient.
struct PatientValue {
    std::string path;   // the scenario file's key path, e.g. "fill_rate.night"
    std::string shown;  // the value as written into the scenario ("0.253", "20:00", "true")
    Provenance provenance;
};

struct ScenarioPatient {
    double age = 0.0;
    std::optional<Sex> sex;
    ReferencePatient patient;
    std::vector<PatientValue> values;  // in the order filled
};

// The document with every missing default filled from `patient`; `values` receives each value
// filled, in order. The document's own keys are kept as they are (they override).
nlohmann::json withPatientDefaults(const nlohmann::json& document, const ReferencePatient& patient,
                                   std::vector<PatientValue>& values);

// {"age", "sex" (if any), "label", "values": [{"key", "value", "sources", "confidence",
// "derived", "basis", "interpolated"}]}: the block of --json and the Python result.
nlohmann::json patientJson(const ScenarioPatient& used);

// One line per value taken: "fill_rate.night = 0.253 (NSF15, ...; confidence M; interpolated
// ...)", headed by the patient's label.
std::vector<std::string> patientLines(const ScenarioPatient& used);

// A scenario fragment giving every value the patient fills, headed by "patient".
nlohmann::json patientFragment(double age, std::optional<Sex> sex, const ReferencePatient& patient,
                               std::vector<PatientValue>& values);

}  // namespace orvane
