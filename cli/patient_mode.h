// orvane-cli --patient AGE[,SEX]: the reference patient as a scenario fragment with its
// sources; and the patient's values in a scenario's report and --json.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "cli/cli.h"
#include "library/workbench.h"

namespace orvane {

// --patient, in the group "Patient scenario".
void addPatientOption(CLI::App& app, CliOptions& options);

// Refuses --patient with a scenario, a cohort, --list or a table output.
void checkPatientMode(const CliOptions& options);

// The fragment (JSON) and, unless --json, the values' sources and citations; with --json one
// object {"scenario": fragment, "patient": the values with their sources}.
std::string patientModeText(const CliOptions& options, const Workbench& workbench);

// The report's section on the reference patient's values, or empty without one.
std::string patientReportText(const ScenarioInput& input);

// Adds "patient" (patientJson) to a scenario's --json inputs when the file names one.
void addPatientJson(nlohmann::json& result, const ScenarioInput& input);

}  // namespace orvane
