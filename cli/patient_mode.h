// orvane-cli --patient AGE[,SEX]: the reference patient as a scenario fragment with its
// sources.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/cli.h"
#include "library/workbench.h"

namespace orvane {

// --patient, in the group "Patient scenario".
void addPatientOption(CLI::App& app, CliOptions& options);

// Refuses --patient with a scenario, a cohort, --list or a table output.
void checkPatientMode(const CliOptions& options);

// The fragment and, unless --json, the values' sources and citations; with --json one object
// {"scenario": fragment, "patient": the values with their sources, "sources": citations}.
std::string patientModeText(const CliOptions& options, const Workbench& workbench);

}  // namespace orvane
