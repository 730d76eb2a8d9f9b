// What a scenario's result looks like as text, JSON and CSV: for orvane-cli and the windows.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "engine/scenario.h"
#include "engine/warning.h"

namespace orvane {

// The scenario's inputs in words, one line each, as the report and the window's PDF give
// them ("Fill rate: 1 ml/min by day, ..."), with the reference patient's values and their
// sources (patientLines) when it has one; the scenario's name is not among them.
std::vector<std::string> scenarioInWords(const Scenario& scenario, const ScenarioResult& result);

// "Activity left at the end: 1.23 % of the administered activity (in the bladder or yet to
// reach it; not in the dose)", as the report and the window state it.
std::string activityLeftText(const ScenarioResult& result);

// The scenario in words, the dose, the activity left at the end, the warnings (a line each) and the
// void list as a table (LF line ends).
std::string scenarioReportText(const Scenario& scenario, const ScenarioResult& result,
                               const std::vector<Warning>& warnings = {});

// The warnings as [{"path", "message"}], in order.
nlohmann::json warningsJson(const std::vector<Warning>& warnings);

// {"name", "dose_mGy_per_MBq", ["dose_mGy"], "activity_left_fraction", "intervals": [...], "voids":
// [{time_min, clock, volume_ml, residual_ml, activity_fraction, voided_fraction, excreted_fraction,
// and the same in MBq when the activity is given}], "time_course" when the result has one, and
// "patient" (patientJson) when the scenario's values came from a reference patient}.
// Numbers are written to the last bit. With warnings given, also "warnings" (warningsJson).
nlohmann::json scenarioResultJson(const Scenario& scenario, const ScenarioResult& result,
                                  const std::vector<Warning>* warnings = nullptr);

// The time course: time_min,clock,volume_ml,activity_fraction,dose_rate_mGy_per_MBq_min,
// cumulative_dose_mGy_per_MBq (and activity_MBq when the activity is given); one header line.
std::string timeCourseCsv(const Scenario& scenario, const ScenarioResult& result);

}  // namespace orvane
