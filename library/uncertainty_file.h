// The "uncertainty" section of a scenario file: how many samples, the seed, and which keys
// vary how (or "population": published variability of the patient's habits).
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "engine/sampling.h"
#include "engine/scenario_uncertainty.h"

namespace orvane {

inline constexpr std::uint64_t kDefaultSamples = 10'000;
inline constexpr std::uint64_t kMaxSamples = 1'000'000;
inline constexpr std::uint64_t kMaxSampledValues = 20'000'000;  // samples x varied keys

// Population variability (lognormal around the scenario's own value; sources in the README,
// "The population preset"). The residual volume's geometric sd is the least-squares fit to
// the quartiles of post-void residual in men aged 40-79 (median 9.5 ml, IQR 2.5-35.4 ml;
// Kolman et al. 1999) and a 95th percentile of about 100 ml in healthy adults (102.6 ml in
// men, 93.8 ml in women; Neurourol Urodyn 2024). The fill rate's and the voiding interval's
// are choices: the frequency-volume-chart studies give mean urine outputs and day-time
// voiding frequencies (about 5 to 6 voids by day), not their spread between patients.
inline constexpr double kPopulationResidualGsd = 4.78;
inline constexpr double kPopulationFillRateGsd = 1.5;
inline constexpr double kPopulationIntervalGsd = 1.3;

struct UncertaintyPlan {
    UncertaintyOptions options;
    bool population = false;             // "vary": "population"
    std::vector<UncertainInput> inputs;  // path as in the file, distribution, scenario value
    std::vector<ScenarioKey> keys;       // where each input goes, in the same order
};

// Reads the section for the scenario read from the same file (file is the whole document,
// for the keys it gives explicitly). Throws ScenarioError naming the key path
// (uncertainty.vary["fill_rate.day"].lognormal.gsd) and what was expected.
UncertaintyPlan readUncertaintySection(const nlohmann::json& section, const nlohmann::json& file,
                                       const Scenario& scenario);

// The key that a path names in this scenario, checked against it (a component, step or
// diary void that exists, an interval the voiding pattern has). Throws ScenarioError.
ScenarioKey scenarioKeyOf(const std::string& path, const nlohmann::json& file,
                          const Scenario& scenario);

}  // namespace orvane
