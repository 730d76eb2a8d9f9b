#include "report/patient_report.h"

#include <nlohmann/json.hpp>

#include "engine/numtext.h"

namespace orvane {

std::string provenanceText(const Provenance& p) {
    std::string text;
    for (const std::string& source : p.sources) text += (text.empty() ? "" : ", ") + source;
    text += "; confidence " + (p.confidence.empty() ? std::string("-") : p.confidence);
    if (p.derived) text += "; derived";
    if (!p.interpolated.empty()) text += "; " + p.interpolated;
    return text;
}

std::vector<std::string> patientLines(const PatientOrigin& patient) {
    std::vector<std::string> lines = {
        "Reference patient: " + patient.label + " (age " + formatSignificant(patient.age, 6) +
        (patient.sex ? ", " + *patient.sex : std::string()) + "); values taken from it:"};
    for (const SourcedInput& v : patient.values) {
        lines.push_back("  " + v.path + " = " + v.shown + "  (" + provenanceText(v.provenance) +
                        ")");
    }
    return lines;
}

nlohmann::json patientJson(const PatientOrigin& patient) {
    nlohmann::json block = {
        {"age", patient.age}, {"label", patient.label}, {"capacity_ml", patient.capacity}};
    if (patient.sex) block["sex"] = *patient.sex;
    nlohmann::json list = nlohmann::json::array();
    for (const SourcedInput& v : patient.values) {
        const Provenance& p = v.provenance;
        list.push_back({{"key", v.path},
                        {"value", v.shown},
                        {"sources", p.sources},
                        {"confidence", p.confidence},
                        {"derived", p.derived},
                        {"basis", p.basis},
                        {"interpolated", p.interpolated}});
    }
    block["values"] = std::move(list);
    return block;
}

nlohmann::json referencePatientJson(const std::string& fragment, const PatientOrigin& patient,
                                    const std::map<std::string, std::string>& citations) {
    return {{"scenario", nlohmann::json::parse(fragment)},
            {"patient", patientJson(patient)},
            {"sources", citations}};
}

std::string referencePatientText(const std::string& fragment, const PatientOrigin& patient,
                                 const std::map<std::string, std::string>& citations, bool json) {
    if (json) return referencePatientJson(fragment, patient, citations).dump(2) + "\n";
    std::string out = fragment + "\n\n";
    for (const std::string& line : patientLines(patient)) out += line + "\n";
    out += "Sources:\n";
    for (const auto& [key, citation] : citations) out += "  " + key + ": " + citation + "\n";
    return out;
}

}  // namespace orvane
