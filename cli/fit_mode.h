// orvane-cli --scenario with a file that has measurements: the fit, then the scenario computed
// with the fitted kinetics.
#pragma once

#include <string>
#include <vector>

#include "cli/cli.h"
#include "library/scenario_document.h"
#include "library/workbench.h"
#include "report/json_record.h"

namespace orvane {

// The scenario's report with the fit's section; with --json the scenario's JSON with a "fit"
// object; with --csv the fit's residuals. Its warnings are put in `warnings`. A fit that does not
// converge is refused (FitError). Throws the errors of the layers below.
std::string scenarioFitText(const CliOptions& o, const Workbench& workbench,
                            const ScenarioDocument& document, std::vector<Warning>& warnings,
                            const CalculationOrigin& origin);

}  // namespace orvane
