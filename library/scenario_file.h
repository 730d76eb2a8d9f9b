// Scenario files: one JSON object with fixed keys and units (min, ml, ml/min, MBq, "HH:MM"),
// read into a Scenario and written back. Every key is checked; a refusal is a ScenarioError
// that names the key path (voiding.voids[2].residual) and what was expected.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scenario.h"
#include "library/standards.h"

namespace orvane {

// A scenario file that cannot be read at all; what() names the file and the reason.
class ScenarioFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ScenarioReadOptions {
    // Top-level sections that the caller reads itself (e.g. "uncertainty"); any other
    // unknown key is refused.
    std::vector<std::string> sections;
    // Resolves {"library": "..."}: the entry's parameters, or a std::exception whose what()
    // says why not. Without it such a file is refused.
    std::function<ModelParameters(const std::string& entry)> library;
};

// The JSON document of a scenario file; a syntax error or a key given twice is a
// ScenarioError naming the line and column.
nlohmann::json parseScenarioJson(std::string_view text);

// The scenario of a parsed document, checked as the engine checks it (checkScenario), with a
// standard taken as the input window shows it (standardFieldTexts, then readModelParameters).
Scenario scenarioFromJson(const nlohmann::json& document, const StandardData& data,
                          const ScenarioReadOptions& options = {});

// parseScenarioJson, then scenarioFromJson.
Scenario parseScenario(std::string_view text, const StandardData& data,
                       const ScenarioReadOptions& options = {});

// The whole file; ScenarioFileError if it cannot be read ("-" is not special here).
std::string readScenarioText(const std::filesystem::path& file);

// "HH:MM" -> clock min; nullopt unless two digits, a colon and two digits of a real time.
std::optional<double> parseClockText(std::string_view text);

// The document that reads back as the same scenario: the radiopharmaceutical by its values
// (Delta and Gamma as typed, to 17 digits), every default written out.
nlohmann::json scenarioToJson(const Scenario& scenario);

}  // namespace orvane
