#include "cli/fit_mode.h"

#include "engine/calculation.h"
#include "library/measurements_file.h"
#include "report/fit_report.h"
#include "report/scenario_report.h"

namespace orvane {

std::string scenarioFitText(const CliOptions& o, const Workbench& workbench,
                            const ScenarioDocument& document, std::vector<Warning>& warnings,
                            const CalculationOrigin& origin) {
    if (o.csv && o.timeCourse)
        throw UsageError("--csv prints the fit's residuals; --time-course goes with --json");
    const ScenarioFit run = fitScenarioDocument(workbench, document);
    requireConverged(run.fit);
    const ModelTables& tables = workbench.data().tables;
    const QuadratureRule rule{tables.quadratureNodes, tables.quadratureWeights};
    const Scenario& scenario = run.input.scenario;
    const ScenarioResult result = computeScenario(scenario, rule, o.timeCourse);
    warnings = workbench.scenarioWarnings(run.input, result);
    if (o.csv) return fitResidualsCsv(run.fit);
    if (o.json) return fittedScenarioJsonText(scenario, result, warnings, run.fit, origin);
    return scenarioReportText(scenario, result, warnings) + "\n" + fitText(run.fit, run.options);
}

}  // namespace orvane
