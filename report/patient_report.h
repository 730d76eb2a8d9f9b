// A scenario's reference patient as the report, the --json and orvane-cli --patient show it:
// every value taken from the patient with its sources.
#pragma once

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "engine/input_source.h"

namespace orvane {

// A value's sources: "NSF15, AASM16; confidence M; derived; interpolated ...".
std::string provenanceText(const Provenance& provenance);

// One line per value taken, "  fill_rate.night = 0.253 ml/min (NSF15, ...; confidence M;
// interpolated ...)", headed by "Reference patient: 5 years (age 5, female); values taken
// from it:".
std::vector<std::string> patientLines(const PatientOrigin& patient);

// {"age", "sex" (if any), "label", "capacity_ml", "values": [{"key", "value", "sources",
// "confidence", "derived", "basis", "interpolated"}]}.
nlohmann::json patientJson(const PatientOrigin& patient);

// {"scenario": fragment, "patient": patientJson, "sources": {key: citation}}. Throws
// nlohmann::json::parse_error for a fragment that is not JSON.
nlohmann::json referencePatientJson(const std::string& fragment, const PatientOrigin& patient,
                                    const std::map<std::string, std::string>& citations);

// What orvane-cli --patient prints: the scenario fragment (JSON text), then patientLines and
// the citation of every source cited; with json, referencePatientJson.
std::string referencePatientText(const std::string& fragment, const PatientOrigin& patient,
                                 const std::map<std::string, std::string>& citations, bool json);

}  // namespace orvane
