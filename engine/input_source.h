// Where a scenario's inputs came from when the scenario file left them to a reference patient
// (library/patients.h): plain data that library/ fills and report/ shows. The computation never
// reads it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Where a value comes from. `sources` are keys of the patient data's sources (data/patients.md);
// confidence is "H", "M" or "L". `interpolated` is empty for a listed patient's own value, else
// it says how the value was made from two listed ones.
struct Provenance {
    std::vector<std::string> sources;
    std::string confidence;
    bool derived = false;  // computed from the sources' numbers, not read in them
    std::string basis;
    std::string interpolated;
    bool operator==(const Provenance&) const = default;
};

// One value of a scenario taken from the reference patient.
struct SourcedInput {
    std::string path;   // the scenario file's key path, e.g. "fill_rate.night"
    std::string shown;  // the value as written into the scenario ("0.253", "20:00", "true")
    Provenance provenance;
    bool operator==(const SourcedInput&) const = default;
};

// The reference patient a scenario named, and every value the file took from it.
struct PatientOrigin {
    double age = 0.0;                // years
    std::optional<std::string> sex;  // "female", "male"
    std::string label;               // "5 years", "Adult woman", "7.5 years"
    double capacity = 0.0;           // ml, the patient's expected bladder capacity
    std::vector<SourcedInput> values;
};

// What a scenario was made from. Two scenarios with the same values are the same scenario
// wherever their values came from, so this always compares equal.
struct ScenarioOrigin {
    std::shared_ptr<const PatientOrigin> patient;  // none: no "patient" in the file
    bool operator==(const ScenarioOrigin&) const { return true; }
};

}  // namespace orvane
