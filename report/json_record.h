// The record of a table calculation as JSON: enough to reproduce it and to read it by machine.
#pragma once

#include <chrono>
#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "engine/calculation.h"
#include "engine/model.h"
#include "engine/sampling.h"
#include "engine/scenario.h"
#include "engine/warning.h"

namespace orvane {

// Where and when a calculation ran.
struct CalculationOrigin {
    std::string program;             // e.g. "orvane-cli"
    std::filesystem::path dataFile;  // the data file the grids and standards came from
    std::chrono::system_clock::time_point time;
};

// One JSON object (two-blank indentation, LF line ends): program, version, time (UTC,
// ISO 8601), data file; the input (the fifteen field texts as typed under their option names,
// the numbers the model used, the name); the grids and quadrature; and per schedule its rates
// and its 7 x 9 doses (rows V0, columns T0) in mGy/MBq; the warnings as [{"path", "message"}].
// Every number is written so that it
// reads back as the same double; text that is not UTF-8 is written with U+FFFD.
std::string tableCalculationJson(const FieldTexts& fields, const DoseResults& results,
                                 const CalculationOrigin& origin,
                                 const std::vector<Warning>& warnings = {});

// What orvane-cli --scenario --json prints: the program, version, time and data file as the
// table record has them, "input" (the radiopharmaceutical's numbers as the model used them,
// the administration clock, initial and residual volume, administered activity and the end,
// min), then scenarioResultJson with the warnings and, when an uncertainty analysis was run,
// its uncertaintyJson under "uncertainty" (two-blank indentation, a line end after it).
std::string scenarioResultJsonText(const Scenario& scenario, const ScenarioResult& result,
                                   const std::vector<Warning>& warnings,
                                   const CalculationOrigin& origin,
                                   const std::vector<UncertainInput>* inputs = nullptr,
                                   const UncertaintyResult* analysis = nullptr);

// A scenario's record as text: the program, version, time, data file and "input" as
// scenarioResultJsonText writes them, then each member of `sections` (a JSON object).
std::string scenarioRecordText(const Scenario& scenario, const ScenarioResult& result,
                               const CalculationOrigin& origin, nlohmann::json sections);

}  // namespace orvane
