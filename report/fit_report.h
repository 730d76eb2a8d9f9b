// A fit to a patient's measurements as text, as the "fit" object of the JSON output, and its
// residuals as CSV.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "engine/fit.h"
#include "engine/scenario.h"
#include "engine/warning.h"
#include "report/json_record.h"

namespace orvane {

// The chosen model, each component's fraction and biological half-life with their standard
// errors, every model tried (AICc, chi-square, dof), the dose's interval and the flags.
std::string fitText(const FitResult& fit, const FitOptions& options);

// {"components", "parameters": [{"fraction", "fraction_se", "half_life", "half_life_se",
//  "rate_constant"}], "models": [{"components", "aicc", "chi_square", "dof"}], "residuals":
//  [{"kind", "at", "measured", "model", "weighted"}], "dose_interval": {"2.5", "50", "97.5"},
//  "flags": [text]}. Half-lives in min, rate constants in min^-1, the interval in mGy/MBq (null
// without one). An AICc that is infinite (a model with too few points for its unknowns) is
// null, as is a standard error that does not exist.
nlohmann::json fitJson(const FitResult& fit);

// A header, then one row per point: kind,index,at_min,measured,model,weighted_residual; numbers
// at 17 significant digits. Lines end in LF.
std::string fitResidualsCsv(const FitResult& fit);

// The scenario's result with its warnings and, when there is one, the fit under "fit".
nlohmann::json fittedScenarioJson(const Scenario& scenario, const ScenarioResult& result,
                                  const std::vector<Warning>& warnings, const FitResult* fit);

// What orvane-cli --scenario --json prints for a fitted scenario: scenarioRecordText of
// fittedScenarioJson.
std::string fittedScenarioJsonText(const Scenario& scenario, const ScenarioResult& result,
                                   const std::vector<Warning>& warnings, const FitResult& fit,
                                   const CalculationOrigin& origin);

}  // namespace orvane
