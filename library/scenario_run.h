// A scenario document run as every front end runs it: a document with measurements is fitted
// first and then computed with the fitted kinetics; any other is computed as it stands. The
// warnings come with the result. Qt-free; it never prints.
#pragma once

#include <atomic>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "engine/fit.h"
#include "engine/scenario.h"
#include "engine/warning.h"
#include "library/scenario_document.h"
#include "library/workbench.h"

namespace orvane {

struct ScenarioOutcome {
    ScenarioInput input;  // with the measured diary and the fitted kinetics when fitted
    ScenarioResult result;
    std::vector<Warning> warnings;
    std::optional<FitResult> fit;  // set when the document has measurements
    FitOptions fitOptions;
};

struct ScenarioRunOptions {
    std::optional<double> timeStep;  // the time course's step in minutes, if one is wanted
    // Threads of the fit's interval; 0: as many as the samples warrant. The interval does not
    // depend on it.
    int fitThreads = 0;
    // Fit even a document without "measurements" and "fit" (refused then for want of
    // "measurements"), as a front end's own fit does.
    bool fitRequired = false;
    std::string file;  // names the document in refusals (may be empty)
    // For a window: the fit interval's progress and a request to stop (FitOptions).
    std::atomic<std::uint64_t>* fitDone = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    // Kept by the caller across runs (one per thread) to reuse the segments' weights; none: a
    // fresh one.
    ScenarioWorkspace* workspace = nullptr;
};

// Throws ScenarioError naming the key path for refused input, and FitError at "fit" for a fit
// that did not converge (never a result). The document may have an "uncertainty" section, which
// is left to the caller (a fitted document may not have one).
ScenarioOutcome runScenarioDocument(const Workbench& workbench, const nlohmann::json& document,
                                    const ScenarioRunOptions& options = {});
ScenarioOutcome runScenarioDocument(const Workbench& workbench, const ScenarioDocument& document,
                                    ScenarioRunOptions options = {});

}  // namespace orvane
