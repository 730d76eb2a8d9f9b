#include "library/scenario_run.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "engine/calculation.h"
#include "library/measurements_file.h"

namespace orvane {

ScenarioOutcome runScenarioDocument(const Workbench& workbench, const nlohmann::json& document,
                                    const ScenarioRunOptions& options) {
    const ModelTables& tables = workbench.data().tables;
    checkGrids(tables);
    const QuadratureRule rule{tables.quadratureNodes, tables.quadratureWeights};
    ScenarioOutcome out;
    if (options.fitRequired || hasFitSections(document)) {
        MeasuredScenario measured = readMeasuredScenario(workbench, document, options.file);
        FitOptions& fit = measured.sections.options;
        fit.threads = options.fitThreads;
        fit.done = options.fitDone;
        fit.cancel = options.cancel;
        ScenarioFit run = fitMeasuredScenario(workbench, std::move(measured));
        requireConverged(run.fit);
        out.input = std::move(run.input);
        out.fit = std::move(run.fit);
        out.fitOptions = run.options;
    } else {
        out.input = workbench.readScenario(document, {"uncertainty"}, options.file);
    }
    ScenarioWorkspace fresh;
    out.result = computeScenario(out.input.scenario, rule,
                                 options.workspace ? *options.workspace : fresh, options.timeStep);
    out.warnings = workbench.scenarioWarnings(out.input, out.result);
    return out;
}

ScenarioOutcome runScenarioDocument(const Workbench& workbench, const ScenarioDocument& document,
                                    ScenarioRunOptions options) {
    options.file = document.file();
    return runScenarioDocument(workbench, document.json(), options);
}

}  // namespace orvane
