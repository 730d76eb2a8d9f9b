// Any text as a scenario file: refused with a key path and a reason, or accepted and then
// computed to a finite dose, with its time course, and written back to a file that reads as
// the same scenario.
#include <cmath>
#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "library/scenario_file.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const StandardData& data = fuzz::shippedData();
    const QuadratureRule& rule = fuzz::shippedRule();
    const std::string_view text = fuzz::inputText(bytes, size);
    Scenario scenario;
    try {
        scenario = parseScenario(text, data);
    } catch (const ScenarioError& refusal) {
        REQUIRE(!refusal.reason().empty());
        return 0;
    }
    ScenarioWorkspace workspace;
    double dose = 0;
    try {
        dose = scenarioDose(scenario, rule, workspace);
    } catch (const ScenarioError& refusal) {
        // Only a dose too large for a double is found after the file was accepted.
        REQUIRE(refusal.path() == "radiopharmaceutical");
        return 0;
    }
    REQUIRE(std::isfinite(dose) && dose >= 0);

    const ScenarioResult plain = computeScenario(scenario, rule);
    REQUIRE(plain.dose == dose && !plain.voids.empty());
    const ScenarioResult result = computeScenario(scenario, rule, plain.voids.back().time / 500);
    REQUIRE(result.dose == dose && !result.timeCourse.empty());
    REQUIRE(result.timeCourse.back().cumulativeDose == dose);
    for (const ScenarioVoid& v : result.voids) REQUIRE(std::isfinite(v.activity));

    const double back =
        scenarioDose(scenarioFromJson(scenarioToJson(scenario), data), rule, workspace);
    REQUIRE(std::fabs(back - dose) <= 1e-12 * dose);
    return 0;
}
