#include "library/scenario_patient.h"

#include <nlohmann/json.hpp>

#include "engine/clock.h"
#include "engine/numtext.h"
#include "library/json_reader.h"
#include "library/scenario_schema.h"

namespace orvane {
namespace {

using nlohmann::json;
using namespace schema;

// Fills the missing members of one object, recording each.
class Filler {
public:
    explicit Filler(std::vector<PatientValue>& values) : values_(values) {}

    void take(json& object, const std::string& path, const char* key, const json& value,
              const Provenance& provenance) const {
        if (object.contains(key)) return;
        object[key] = value;
        values_.push_back({keyPath(path, key), shown(value), provenance});
    }
    void number(json& object, const std::string& path, const char* key,
                const Sourced<double>& value) const {
        take(object, path, key, value.value, value.provenance);
    }

private:
    static std::string shown(const json& value) {
        if (value.is_string()) return value.get<std::string>();
        if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
        return formatSignificant(value.get<double>(), 6);
    }
    std::vector<PatientValue>& values_;
};

// The regular voiding's defaults (in a "regular" pattern or a diary's "then").
void fillRegular(const Filler& fill, json& object, const std::string& path,
                 const ReferencePatient& p, bool firstVoid) {
    if (firstVoid) fill.number(object, path, kFirstVoid, p.dayInterval);
    fill.number(object, path, kInterval, p.dayInterval);
    if (p.night) {
        fill.take(object, path, kBedtime, clockText(p.night->bedtime), p.night->provenance);
        fill.take(object, path, kWake, clockText(p.night->wake), p.night->provenance);
    }
    fill.take(object, path, kNightVoids, p.nightVoids.value, p.nightVoids.provenance);
    fill.number(object, path, kCapacity, p.capacity);
}

}  // namespace

json withPatientDefaults(const json& document, const ReferencePatient& p,
                         std::vector<PatientValue>& values) {
    json out = document;
    if (!out.is_object()) return out;
    const Filler fill(values);
    fill.number(out, "", kInitialVolume, p.initialVolume);
    fill.number(out, "", kResidualVolume, p.residualVolume);
    if (!out.contains(kVoiding)) out[kVoiding] = {{kPattern, kRegular}};
    const json* pattern = out[kVoiding].is_object() ? findKey(out[kVoiding], kPattern) : nullptr;
    const std::string kind = pattern && pattern->is_string() ? pattern->get<std::string>() : kDiary;
    if (!out.contains(kFillRate)) out[kFillRate] = json::object();
    json& rate = out[kFillRate];
    if (rate.is_object() && !rate.contains(kSteps)) {
        fill.number(rate, kFillRate, kDay, p.fillRateDay);
        fill.number(rate, kFillRate, kNight, p.fillRateNight);
        // The "table" pattern's night is the tables' own.
        if (p.night && kind != kTable) {
            fill.take(rate, kFillRate, kNightFrom, clockText(p.night->bedtime),
                      p.night->provenance);
            fill.take(rate, kFillRate, kNightTo, clockText(p.night->wake), p.night->provenance);
        }
    }
    json& voiding = out[kVoiding];
    if (!voiding.is_object()) return out;
    if (kind == kRegular) {
        fillRegular(fill, voiding, kVoiding, p, true);
    } else if (kind == kDiary) {
        if (json* then = voiding.contains(kThen) ? &voiding[kThen] : nullptr;
            then && then->is_object()) {
            fillRegular(fill, *then, keyPath(kVoiding, kThen), p, false);
        }
    } else if (kind == kCapacityPattern) {
        fill.number(voiding, kVoiding, kCapacity, p.capacity);
    }
    return out;
}

json patientFragment(double age, std::optional<Sex> sex, const ReferencePatient& patient,
                     std::vector<PatientValue>& values) {
    json head = {{kAge, age}};
    if (sex) head[kSex] = sexText(*sex);
    json fragment = {{kPatient, head}};
    return withPatientDefaults(fragment, patient, values);
}

PatientOrigin patientOrigin(double age, std::optional<Sex> sex, const ReferencePatient& patient,
                            std::vector<PatientValue> values) {
    PatientOrigin origin{age, {}, patient.label, patient.capacity.value, std::move(values)};
    if (sex) origin.sex = sexText(*sex);
    return origin;
}

ReferenceFragment referenceFragment(const ReferencePatients& patients, double age,
                                    std::optional<Sex> sex) {
    const ReferencePatient patient = referencePatient(patients, age, sex);
    std::vector<PatientValue> values;
    const std::string fragment = patientFragment(age, sex, patient, values).dump(2);
    ReferenceFragment out{fragment, patientOrigin(age, sex, patient, std::move(values)), {}};
    for (const PatientValue& v : out.origin.values) {
        for (const std::string& key : v.provenance.sources) {
            const auto found = patients.sources.find(key);
            out.citations[key] = found == patients.sources.end() ? "-" : found->second;
        }
    }
    return out;
}

}  // namespace orvane
