#include "cli/fit_mode.h"

#include "library/scenario_run.h"
#include "report/fit_report.h"
#include "report/scenario_report.h"

namespace orvane {

std::string scenarioFitText(const CliOptions& o, const Workbench& workbench,
                            const ScenarioDocument& document, std::vector<Warning>& warnings,
                            const CalculationOrigin& origin) {
    if (o.csv && o.timeCourse)
        throw UsageError("--csv prints the fit's residuals; --time-course goes with --json");
    ScenarioRunOptions options;
    options.timeStep = o.timeCourse;
    const ScenarioOutcome run = runScenarioDocument(workbench, document, options);
    warnings = run.warnings;
    const Scenario& scenario = run.input.scenario;
    const FitResult& fit = *run.fit;
    if (o.csv) return fitResidualsCsv(fit);
    if (o.json) return fittedScenarioJsonText(scenario, run.result, warnings, fit, origin);
    return scenarioReportText(scenario, run.result, warnings) + "\n" + fitText(fit, run.fitOptions);
}

}  // namespace orvane
