// Any text as a scenario file that may name a reference patient and void at capacity: refused
// with a key path and a reason, or accepted with every value taken from the patient citing a
// source, computed to a finite dose with no void above the capacity of a pattern that voids
// when full, and written back (every value explicit) to a file that reads as the same scenario.
#include <cmath>
#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "library/patients.h"
#include "library/scenario_file.h"
#include "library/warnings.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const StandardData& data = fuzz::shippedData();
    static const ReferencePatients patients =
        loadPatientsFile(ORVANE_SOURCE_DIR "/data/patients.json");
    const QuadratureRule& rule = fuzz::shippedRule();
    ScenarioReadOptions options;
    options.patient = [](double age, std::optional<Sex> sex) {
        return referencePatient(patients, age, sex);
    };
    const std::string_view text = fuzz::inputText(bytes, size);
    Scenario scenario;
    try {
        scenario = parseScenario(text, data, options);
    } catch (const ScenarioError& refusal) {
        REQUIRE(!refusal.reason().empty());
        return 0;
    }
    if (const PatientOrigin* patient = scenario.origin.patient.get()) {
        REQUIRE(patient->age >= 0 && patient->age <= kMaxPatientAge && patient->capacity > 0);
        for (const SourcedInput& v : patient->values) {
            REQUIRE(!v.path.empty() && !v.shown.empty() && !v.provenance.sources.empty());
            for (const std::string& key : v.provenance.sources) {
                REQUIRE(patients.sources.contains(key));
            }
        }
    }
    ScenarioResult result;
    try {
        result = computeScenario(scenario, rule);
    } catch (const ScenarioError& refusal) {
        // Found only by simulating: a dose too large for a double, a capacity never reached,
        // too many voids.
        REQUIRE(!refusal.path().empty() && !refusal.reason().empty());
        return 0;
    }
    REQUIRE(std::isfinite(result.dose) && result.dose >= 0 && !result.voids.empty());
    const VoidingPattern& v = scenario.voiding;
    if (v.capacity && v.kind != VoidingKind::Diary) {
        for (const ScenarioVoid& void_ : result.voids) {
            REQUIRE(void_.volume <= *v.capacity * (1 + 1e-9));
        }
    }
    for (const Warning& w : capacityWarnings(scenario, result)) REQUIRE(!w.message.empty());

    const Scenario back = scenarioFromJson(scenarioToJson(scenario), data);
    REQUIRE(back == scenario && !back.origin.patient);
    return 0;
}
