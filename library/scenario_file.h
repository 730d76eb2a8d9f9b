// Scenario files: one JSON object with fixed keys and units (min, ml, ml/min, MBq, "HH:MM"),
// read into a Scenario and written back. Every key is checked (library/json_reader.h); a refusal
// is a ScenarioError that names the key path (voiding.voids[2].residual) and what was expected.
// The key names are in library/scenario_schema.h.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scenario.h"
#include "library/file_text.h"
#include "library/scenario_patient.h"
#include "library/standards.h"

namespace orvane {

// A scenario file that cannot be read at all; what() names the file and the reason.
using ScenarioFileError = FileReadError;

struct ScenarioReadOptions {
    // Top-level sections that the caller reads itself (e.g. "uncertainty"); any other
    // unknown key is refused.
    std::vector<std::string> sections;
    // Resolves {"library": "..."}: the entry's parameters, or a std::exception whose what()
    // says why not. Without it such a file is refused.
    std::function<ModelParameters(const std::string& entry)> library;
    // Resolves {"standard": "..."} (a name, or an index written as text): the standard's index,
    // or a std::exception whose what() says why not (Workbench::resolve). Without it a name is
    // compared with the standards' names alone.
    std::function<int(const std::string& standard)> standard;
    // Named in refusals (JsonError::file()); empty for a document without a file.
    std::string file;
    // Resolves {"patient": {"age", "sex"}} (library/scenario_patient.h); throws ScenarioError
    // for an age or sex refused. Without it such a file is refused.
    std::function<ReferencePatient(double age, std::optional<Sex> sex)> patient;
};

// The JSON document of a scenario file (parseJson): a NUL byte, a syntax error, trailing
// content or a key given twice is a JsonError (a ScenarioError) naming the line and column or
// the key path; `file` names the file in the message.
nlohmann::json parseScenarioJson(std::string_view text, const std::string& file = {});

// The scenario of a parsed document, checked as the engine checks it (checkScenario), with a
// standard taken as the input window shows it (standardFieldTexts, then readModelParameters).
Scenario scenarioFromJson(const nlohmann::json& document, const StandardData& data,
                          const ScenarioReadOptions& options = {});

// parseScenarioJson, then scenarioFromJson.
Scenario parseScenario(std::string_view text, const StandardData& data,
                       const ScenarioReadOptions& options = {});

// The whole file, read as every JSON file is (readJsonFileText); ScenarioFileError if it
// cannot be read ("-" is not special here).
std::string readScenarioText(const std::filesystem::path& file);

// "HH:MM" -> clock min; nullopt unless two digits, a colon and two digits of a real time.
std::optional<double> parseClockText(std::string_view text);

// The document that reads back as the same scenario: the radiopharmaceutical by its values
// (Delta and Gamma as typed, to 17 digits), every default written out.
nlohmann::json scenarioToJson(const Scenario& scenario);

// scenarioToJson as compact text, for a front end that hands a scenario on.
std::string scenarioJsonText(const Scenario& scenario);

}  // namespace orvane
