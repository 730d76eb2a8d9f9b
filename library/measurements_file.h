// The "measurements" and "fit" sections of a scenario file, and the fit of a scenario document
// to them: what every front end asks to fit the patient's own excretion.
//
// The measured voids become the scenario's diary (what its "voiding" does after them stays);
// "fill_rate": "from_voids" derives the fill rate from their volumes (fillRateFromVoids).
// A file with measurements has no "uncertainty" section: the fit gives the dose its interval.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "engine/fit.h"
#include "engine/measurements.h"
#include "library/scenario_document.h"
#include "library/workbench.h"

namespace orvane {

inline constexpr std::uint64_t kMaxFitSamples = 1'000'000;
inline constexpr std::size_t kMaxMeasuredPoints = 100'000;  // per kind

// Whether a scenario document has a "measurements" or a "fit" section.
bool hasFitSections(const nlohmann::json& document);
bool hasFitSections(const ScenarioDocument& document);

// The "measurements" section (required), refused by key path ("measurements.voids[2].at") for
// an unknown key, a missing one or a value of the wrong kind or sign. What only the scenario can
// tell (order, measured_at before at, activities without administered_activity) is refused by
// checkMeasurements with the same paths.
Measurements readMeasurementsSection(const nlohmann::json& section, const std::string& file = {});

// The "fit" section (optional: every default of FitOptions).
FitOptions readFitSection(const nlohmann::json* section, const std::string& file = {});

// The two sections as read, held by a front end that edits them (the window's Measurements tab).
struct MeasurementSections {
    Measurements measurements;
    FitOptions options;
    bool fillRateFromVoids = false;  // "fill_rate": "from_voids"
};

// The document's sections, or nullopt without "measurements". Throws ScenarioError by key path.
std::optional<MeasurementSections> readMeasurementSections(const ScenarioDocument& document);

// The document with these sections in place of its own (and "fill_rate": "from_voids" when
// they ask for it), as a scenario file keeps them; nullopt removes both sections.
ScenarioDocument withMeasurementSections(const ScenarioDocument& document,
                                         const std::optional<MeasurementSections>& sections);

struct ScenarioFit {
    ScenarioInput input;  // the scenario with the measured diary and, if converged, fitted kinetics
    Measurements measurements;
    FitOptions options;
    FitResult fit;
    bool fillRateFromVoids = false;
};

// A document with measurements as the fit reads it, before the fit: its scenario with the
// measured voids as its diary and, for "from_voids", the derived fill rate, and its sections.
struct MeasuredScenario {
    ScenarioInput input;
    MeasurementSections sections;
};

// Reads a document with measurements (its scenario with the workbench, then the two sections)
// and checks the measurements against the scenario. Throws ScenarioError (JsonError) naming the
// key path: among others an "uncertainty" section beside them (the fit gives the dose its
// interval), which every door refuses so.
MeasuredScenario readMeasuredScenario(const Workbench& workbench, const nlohmann::json& document,
                                      const std::string& file = {});

// Fits a measured scenario (the interval's samples shared by sections.options.threads threads,
// 0: by the cores as the uncertainty section's are; the interval does not depend on it), and
// puts the fitted kinetics into the scenario when the fit converged (named "<name> (fitted)").
// A fit that does not converge is returned with fit.converged = false.
ScenarioFit fitMeasuredScenario(const Workbench& workbench, MeasuredScenario measured);

// readMeasuredScenario, then fitMeasuredScenario with `threads`.
ScenarioFit fitScenarioDocument(const Workbench& workbench, const nlohmann::json& document,
                                const std::string& file = {}, int threads = 0);
// The same for a document read by the strict reader, named by its own file.
ScenarioFit fitScenarioDocument(const Workbench& workbench, const ScenarioDocument& document);

// A document of the scenario with the fit's kinetics as its radiopharmaceutical's own values,
// named "<name> (fitted)" (what "Use the fitted kinetics" loads into the window's fields).
ScenarioDocument withFittedKinetics(const Scenario& scenario, const FitResult& fit);

// Saves the fitted kinetics (a converged fit) as an entry of the user's library named
// "<name> (fitted)", replacing the user's entry of that name; its notes say what was fitted.
// The workbench's own lists are not reloaded. A name a standard or a shipped entry has is
// refused, as saveUserEntries refuses it.
WriteOutcome saveFittedEntry(const Workbench& workbench, const ScenarioFit& fitted);

// Refuses (FitError at "fit") a fit that did not converge, with the solver's reason: such a fit
// is never a result.
void requireConverged(const FitResult& fit);

}  // namespace orvane
