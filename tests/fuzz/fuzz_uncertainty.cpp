// Any text as a scenario file with an uncertainty section: refused with a key path and a
// reason, or analysed (on at most 64 samples) to statistics that hold together: every sample
// used or rejected, finite and ordered percentiles, rank correlations within [-1, 1].
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "engine/scenario_uncertainty.h"
#include "fuzz_support.h"
#include "library/scenario_file.h"
#include "library/uncertainty_file.h"

using namespace orvane;

namespace {

constexpr std::uint64_t kMostSamples = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const StandardData& data = fuzz::shippedData();
    const QuadratureRule& rule = fuzz::shippedRule();
    const std::string_view text = fuzz::inputText(bytes, size);
    UncertaintyPlan plan;
    Scenario scenario;
    try {
        const nlohmann::json document = parseScenarioJson(text);
        ScenarioReadOptions reading;
        reading.sections = {"uncertainty"};
        scenario = scenarioFromJson(document, data, reading);
        if (!document.contains("uncertainty")) return 0;
        plan = readUncertaintySection(document["uncertainty"], document, scenario);
    } catch (const ScenarioError& refusal) {
        REQUIRE(!refusal.reason().empty());
        return 0;
    }
    plan.options.samples = std::min(plan.options.samples, kMostSamples);
    plan.options.threads = 2;
    UncertaintyResult r;
    try {
        r = runScenarioUncertainty(scenario, rule, plan.keys, plan.inputs, plan.options);
    } catch (const std::invalid_argument&) {
        return 0;  // every sample rejected, or the scenario's own values give no dose
    }
    REQUIRE(r.used + r.rejected == plan.options.samples && r.used > 0);
    REQUIRE(std::isfinite(r.nominal) && std::isfinite(r.mean) && std::isfinite(r.sd));
    REQUIRE(std::is_sorted(r.percentiles.begin(), r.percentiles.end()));
    REQUIRE(r.percentiles.front() >= 0 && std::isfinite(r.percentiles.back()));
    for (double rho : r.rankCorrelation) REQUIRE(std::isnan(rho) || std::fabs(rho) <= 1 + 1e-12);
    REQUIRE(r.tornado.size() == plan.inputs.size());
    return 0;
}
