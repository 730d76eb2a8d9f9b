#include "cli/patient_mode.h"

#include "engine/numtext.h"
#include "report/patient_report.h"

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
    const ReferenceFragment made = workbench.patientFragment(age.value, sex);
    return referencePatientText(made.fragment, made.origin, made.citations, o.json);
}

}  // namespace orvane
