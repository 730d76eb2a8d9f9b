#include "cli/patient_mode.h"

#include <nlohmann/json.hpp>
#include <set>

#include "engine/numtext.h"
#include "library/scenario_patient.h"

namespace orvane {

void addPatientOption(CLI::App& app, CliOptions& o) {
    app.add_option("--patient", o.patient,
                   "print the reference patient of AGE years (0 to 100) and SEX\n"
                   "(female or male) as a scenario fragment with its sources")
        ->option_text("AGE[,SEX]")
        ->group("Patient scenario");
}

void checkPatientMode(const CliOptions& o) {
    if (!o.patient) return;
    if (o.scenario || o.batch || o.list || o.csv || o.schedule || o.estimate || o.standard ||
        o.agent) {
        throw UsageError("--patient goes alone (with --json, --output or --data-file)");
    }
}

std::string patientModeText(const CliOptions& o, const Workbench& workbench) {
    const std::string& text = *o.patient;
    const std::size_t comma = text.find(',');
    const std::string ageText = text.substr(0, comma);
    const LeadingNumber age = readLeadingNumber(ageText);
    if (!age.found() || age.length != ageText.size()) {
        throw UsageError("--patient: expected AGE[,SEX] with an age in years, not \"" + text +
                         "\"");
    }
    std::optional<Sex> sex;
    if (comma != std::string::npos) sex = sexFromText(text.substr(comma + 1));
    ScenarioPatient used{age.value, sex, workbench.referencePatient(age.value, sex), {}};
    const nlohmann::json fragment = patientFragment(age.value, sex, used.patient, used.values);
    if (o.json) {
        return nlohmann::json{{"scenario", fragment}, {"patient", patientJson(used)}}.dump(2) +
               "\n";
    }
    std::string out = fragment.dump(2) + "\n\n";
    for (const std::string& line : patientLines(used)) out += line + "\n";
    std::set<std::string> cited;
    for (const PatientValue& v : used.values)
        cited.insert(v.provenance.sources.begin(), v.provenance.sources.end());
    out += "Sources:\n";
    const auto& sources = workbench.patients().sources;
    for (const std::string& key : cited) {
        const auto found = sources.find(key);
        out += "  " + key + ": " + (found == sources.end() ? "-" : found->second) + "\n";
    }
    return out;
}

std::string patientReportText(const ScenarioInput& input) {
    if (!input.patient) return {};
    std::string out = "\n";
    for (const std::string& line : patientLines(*input.patient)) out += line + "\n";
    return out;
}

void addPatientJson(nlohmann::json& result, const ScenarioInput& input) {
    if (!input.patient) return;
    nlohmann::json& inputs = result.contains("inputs") ? result["inputs"] : result;
    inputs["patient"] = patientJson(*input.patient);
}

}  // namespace orvane
