#include "library/scenario_file.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/plain_text.h"
#include "engine/scenario_events.h"
#include "engine/voiding_clock.h"
#include "library/json_reader.h"
#include "library/names.h"
#include "library/scenario_schema.h"

namespace orvane {
namespace {

using nlohmann::json;
using namespace schema;

constexpr JsonSign kPositive = JsonSign::Positive;

// The scenario's values, read with the reader's checks; refusals name options.file.
class ScenarioReader {
public:
    ScenarioReader(const StandardData& data, const ScenarioReadOptions& options)
        : check_(options.file), data_(data), options_(options) {}

    Scenario scenario(const json& document) const;
    Scenario withPatient(const json& document) const;

private:
    double clock(const json& value, const std::string& path) const {
        const auto parsed =
            value.is_string() ? parseClockText(value.get<std::string>()) : std::nullopt;
        if (!parsed) check_.refuse(path, "expected a time of day as \"HH:MM\" (00:00 to 23:59)");
        return *parsed;
    }

    std::optional<double> optionalClock(const json& object, const std::string& path,
                                        const char* key) const {
        const json* value = findKey(object, key);
        if (!value) return std::nullopt;
        return clock(*value, keyPath(path, key));
    }

    // A member number: check_.number of object[key] at path.key.
    double required(const json& object, const std::string& path, const char* key, const char* unit,
                    JsonSign sign = JsonSign::NonNegative) const {
        return check_.number(check_.require(object, path, key), keyPath(path, key), unit, sign);
    }

    int standardIndex(const json& value, const std::string& path) const;
    ModelParameters ownValues(const json& value, const std::string& path) const;
    ModelParameters radiopharmaceutical(const json& value) const;
    FillRatePattern fillRate(const json& value) const;
    RegularVoiding regular(const json& value, const std::string& path,
                           const FillRatePattern& fill) const;
    VoidingPattern voiding(const json& value, const FillRatePattern& fill) const;

    JsonCheck check_;
    const StandardData& data_;
    const ScenarioReadOptions& options_;
};

int ScenarioReader::standardIndex(const json& value, const std::string& path) const {
    if (value.is_number_integer() || value.is_number_unsigned()) {
        const long long index = value.get<long long>();
        if (index >= 0 && index < kStandardCount) return static_cast<int>(index);
    } else if (value.is_string() && options_.standard) {
        try {
            return options_.standard(value.get<std::string>());
        } catch (const std::exception& e) {
            check_.refuse(path, e.what());
        }
    } else if (value.is_string()) {
        const std::string name = value.get<std::string>();
        for (int i = 0; i < kStandardCount; ++i) {
            if (sameName(name, kStandardNames[i])) return i;
        }
    }
    check_.refuse(path,
                  "expected a standard's index 0 to 19 or its name as listed (e.g. \"Tc-99m "
                  "MAG3\")");
}

// A standard's parameters as read from its fields' texts, as the input window reads them. The
// texts are made and read once per standard and thread (a cohort names the same few).
ModelParameters standardParameters(const StandardPharmaceutical& standard) {
    struct Read {
        StandardPharmaceutical standard;
        ModelParameters parameters;
    };
    thread_local std::vector<Read> read;
    for (const Read& r : read) {
        if (r.standard == standard) return r.parameters;
    }
    const StandardFieldTexts texts = standardFieldTexts(standard);
    ModelParameters p = readModelParameters(texts.fields, texts.name);
    if (read.size() < kStandardCount) read.push_back({standard, p});
    return p;
}

ModelParameters ScenarioReader::ownValues(const json& value, const std::string& path) const {
    check_.object(value, path,
                  {kStandard, kLibrary, kComponents, kPhysicalHalfLife, kDelta, kGamma, kName});
    ModelParameters p;
    p.name = replaceControlCharacters(check_.optionalText(value, path, kName).value_or(p.name));
    const std::string componentsPath = keyPath(path, kComponents);
    const json& components =
        check_.list(check_.require(value, path, kComponents), componentsPath, kComponentCount);
    for (std::size_t c = 0; c < components.size(); ++c) {
        const std::string at = indexPath(componentsPath, c);
        const json& component =
            check_.object(components[c], at, {kFraction, kRateConstant, kHalfLife});
        p.fraction[c] = required(component, at, kFraction, "-");
        p.rateConstant[c] = required(component, at, kRateConstant, "min^-1");
        const std::optional<double> halfLife =
            check_.optionalNumber(component, at, kHalfLife, "min");
        if (!halfLife && p.rateConstant[c] > 0 &&
            !std::isfinite(kDecayNumerator / p.rateConstant[c])) {
            check_.refuse(keyPath(at, kRateConstant),
                          "too small: its half-life would be too large to compute with");
        }
        p.biologicalHalfLife[c] =
            halfLife.value_or(p.rateConstant[c] > 0 ? kDecayNumerator / p.rateConstant[c] : 0.0);
    }
    setPhysicalHalfLife(p, required(value, path, kPhysicalHalfLife, "min", kPositive));
    setDelta(p, required(value, path, kDelta, "mGy-kg/MBq-s"));
    setGamma(p, required(value, path, kGamma, "mGy-cm^2/MBq-s"));
    return p;
}

ModelParameters ScenarioReader::radiopharmaceutical(const json& value) const {
    const std::string path = kRadiopharmaceutical;
    if (!value.is_object()) {
        check_.refuse(path, std::string("expected an object, got ") + jsonKindName(value));
    }
    const std::optional<std::string> name = check_.optionalText(value, path, kName);
    if (const json* standard = findKey(value, kStandard)) {
        check_.object(value, path, {kStandard, kName});
        const StandardPharmaceutical& entry =
            data_.library[standardIndex(*standard, keyPath(path, kStandard))];
        ModelParameters p = standardParameters(entry);
        p.name = replaceControlCharacters(name.value_or(entry.name));
        return p;
    }
    if (const json* entry = findKey(value, kLibrary)) {
        check_.object(value, path, {kLibrary, kName});
        const std::string entryPath = keyPath(path, kLibrary);
        const std::string key = check_.text(*entry, entryPath);
        if (!options_.library) {
            check_.refuse(entryPath, "no radiopharmaceutical library is available here");
        }
        ModelParameters p;
        try {
            p = options_.library(key);
        } catch (const std::exception& e) {
            check_.refuse(entryPath, e.what());
        }
        if (name) p.name = replaceControlCharacters(*name);
        return p;
    }
    return ownValues(value, path);
}

FillRatePattern ScenarioReader::fillRate(const json& value) const {
    const std::string path = kFillRate;
    FillRatePattern f;
    if (findKey(value, kSteps)) {
        check_.object(value, path, {kSteps});
        const std::string at = keyPath(path, kSteps);
        const json& steps = check_.list(value[kSteps], at, kMaxScenarioVoids);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const std::string stepPath = indexPath(at, i);
            const json& step = check_.object(steps[i], stepPath, {kFrom, kRate});
            f.steps.push_back({required(step, stepPath, kFrom, "min"),
                               required(step, stepPath, kRate, "ml/min")});
        }
        return f;
    }
    check_.object(value, path, {kDay, kNight, kNightFrom, kNightTo, kSteps});
    f.dayRate = required(value, path, kDay, "ml/min");
    f.nightRate = check_.optionalNumber(value, path, kNight, "ml/min").value_or(f.dayRate / 2);
    f.nightFrom = optionalClock(value, path, kNightFrom).value_or(f.nightFrom);
    f.nightTo = optionalClock(value, path, kNightTo).value_or(f.nightTo);
    return f;
}

RegularVoiding ScenarioReader::regular(const json& value, const std::string& path,
                                       const FillRatePattern& fill) const {
    RegularVoiding r;
    r.interval = required(value, path, kInterval, "min", kPositive);
    r.bedtime = optionalClock(value, path, kBedtime).value_or(fill.nightFrom);
    r.wake = optionalClock(value, path, kWake).value_or(fill.nightTo);
    if (const json* flag = findKey(value, kNightVoids)) {
        r.nightVoids = check_.flag(*flag, keyPath(path, kNightVoids));
    }
    return r;
}

VoidingPattern ScenarioReader::voiding(const json& value, const FillRatePattern& fill) const {
    const std::string path = kVoiding;
    VoidingPattern v;
    if (!value.is_object()) {
        check_.refuse(path, std::string("expected an object, got ") + jsonKindName(value));
    }
    const std::string kind = check_.optionalText(value, path, kPattern).value_or(kDiary);
    if (kind == kTable) {
        check_.object(value, path, {kPattern, kFirstVoid, kIntervals});
        v.kind = VoidingKind::Table;
        v.firstVoid = required(value, path, kFirstVoid, "min", kPositive);
        if (const json* n = findKey(value, kIntervals)) {
            v.tableIntervals = static_cast<int>(
                check_.integer(*n, keyPath(path, kIntervals), 1, kMaxScenarioVoids));
        }
    } else if (kind == kRegular) {
        check_.object(value, path,
                      {kPattern, kFirstVoid, kInterval, kBedtime, kWake, kNightVoids, kCapacity});
        v.kind = VoidingKind::Regular;
        v.capacity = check_.optionalNumber(value, path, kCapacity, "ml", kPositive);
        v.firstVoid = required(value, path, kFirstVoid, "min", kPositive);
        v.regular = regular(value, path, fill);
    } else if (kind == kDiary) {
        check_.object(value, path, {kPattern, kVoids, kThen});
        v.kind = VoidingKind::Diary;
        const std::string at = keyPath(path, kVoids);
        const json& voids = check_.list(check_.require(value, path, kVoids), at, kMaxScenarioVoids);
        for (std::size_t i = 0; i < voids.size(); ++i) {
            const std::string voidPath = indexPath(at, i);
            DiaryVoid d;
            if (voids[i].is_object()) {
                check_.object(voids[i], voidPath, {kAt, kResidual});
                d.at = required(voids[i], voidPath, kAt, "min", kPositive);
                d.residual = check_.optionalNumber(voids[i], voidPath, kResidual, "ml", kPositive);
            } else {
                d.at = check_.number(voids[i], voidPath, "min", kPositive);
            }
            v.voids.push_back(d);
        }
        if (const json* then = findKey(value, kThen)) {
            const std::string thenPath = keyPath(path, kThen);
            check_.object(*then, thenPath, {kInterval, kBedtime, kWake, kNightVoids, kCapacity});
            v.then = true;
            v.capacity = check_.optionalNumber(*then, thenPath, kCapacity, "ml", kPositive);
            v.regular = regular(*then, thenPath, fill);
        }
    } else if (kind == kCapacityPattern) {
        check_.object(value, path, {kPattern, kCapacity});
        v.kind = VoidingKind::Capacity;
        v.capacity = required(value, path, kCapacity, "ml", kPositive);
    } else {
        check_.refuse(keyPath(path, kPattern),
                      "expected \"table\", \"regular\", \"diary\" or \"capacity\"");
    }
    return v;
}

// The reference patient's values fill every key that the document does not give itself.
Scenario ScenarioReader::withPatient(const json& document) const {
    const std::string path = kPatient;
    const json& given = check_.object(document[kPatient], path, {kAge, kSex});
    const double age = required(given, path, kAge, "years");
    std::optional<Sex> sex;
    if (const auto text = check_.optionalText(given, path, kSex)) {
        if (*text != "female" && *text != "male") {
            check_.refuse(keyPath(path, kSex), "expected \"female\" or \"male\"");
        }
        sex = sexFromText(*text);
    }
    if (age > kMaxPatientAge) {
        check_.refuse(keyPath(path, kAge), "expected an age from 0 to 100 years");
    }
    if (!options_.patient) check_.refuse(path, "no reference patients are available here");
    const ReferencePatient patient = options_.patient(age, sex);
    std::vector<PatientValue> values;
    const json filled = withPatientDefaults(document, patient, values);
    Scenario s = scenario(filled);
    s.origin.patient =
        std::make_shared<const PatientOrigin>(patientOrigin(age, sex, patient, std::move(values)));
    return s;
}

Scenario ScenarioReader::scenario(const json& document) const {
    check_.object(
        document, "",
        {kName, kRadiopharmaceutical, kAdministrationTime, kInitialVolume, schema::kResidualVolume,
         kAdministeredActivity, kFillRate, kVoiding, kEndTime, kPatient},
        options_.sections);
    Scenario s;
    s.name = replaceControlCharacters(check_.optionalText(document, "", kName).value_or(s.name));
    s.radiopharmaceutical = radiopharmaceutical(check_.require(document, "", kRadiopharmaceutical));
    s.administrationClock =
        optionalClock(document, "", kAdministrationTime).value_or(s.administrationClock);
    s.initialVolume = required(document, "", kInitialVolume, "ml", kPositive);
    s.residualVolume = check_.optionalNumber(document, "", schema::kResidualVolume, "ml", kPositive)
                           .value_or(s.residualVolume);
    s.administeredActivity =
        check_.optionalNumber(document, "", kAdministeredActivity, "MBq", kPositive);
    s.fillRate = fillRate(check_.require(document, "", kFillRate));
    s.voiding = voiding(check_.require(document, "", kVoiding), s.fillRate);
    s.endTime = check_.optionalNumber(document, "", kEndTime, "min", kPositive);
    // What only the voids reveal (a residual above the volume at its void, too many voids)
    // is refused here too, so that nothing is ever computed from a refused file.
    checkScenario(s);
    thread_local ScenarioEvents events;  // its storage reused from one scenario to the next
    buildScenarioEvents(s, events);
    return s;
}

}  // namespace

std::optional<double> parseClockText(std::string_view t) {
    auto digit = [&](std::size_t i) { return t[i] >= '0' && t[i] <= '9'; };
    if (t.size() != 5 || t[2] != ':' || !digit(0) || !digit(1) || !digit(3) || !digit(4)) {
        return std::nullopt;
    }
    const int hours = (t[0] - '0') * 10 + (t[1] - '0');
    const int minutes = (t[3] - '0') * 10 + (t[4] - '0');
    if (hours > 23 || minutes > 59) return std::nullopt;
    return hours * 60.0 + minutes;
}

json parseScenarioJson(std::string_view text, const std::string& file) {
    return parseJson(text, file);
}

Scenario scenarioFromJson(const json& document, const StandardData& data,
                          const ScenarioReadOptions& options) {
    const ScenarioReader reader(data, options);
    if (document.is_object() && document.contains(schema::kPatient)) {
        return reader.withPatient(document);
    }
    return reader.scenario(document);
}

Scenario parseScenario(std::string_view text, const StandardData& data,
                       const ScenarioReadOptions& options) {
    return scenarioFromJson(parseScenarioJson(text, options.file), data, options);
}

std::string readScenarioText(const std::filesystem::path& file) {
    return readJsonFileText(file);
}

json scenarioToJson(const Scenario& s) {
    const ModelParameters& p = s.radiopharmaceutical;
    json components = json::array();
    for (int c = 0; c < kComponentCount; ++c) {
        if (p.fraction[c] == 0 && p.rateConstant[c] == 0 && p.biologicalHalfLife[c] == 0) continue;
        components.push_back({{kFraction, p.fraction[c]},
                              {kRateConstant, p.rateConstant[c]},
                              {kHalfLife, p.biologicalHalfLife[c]}});
    }
    json document = {
        {kName, s.name},
        {kRadiopharmaceutical,
         {{kName, p.name},
          {kComponents, components},
          {kPhysicalHalfLife, p.physicalHalfLife},
          {kDelta, unscaleEmissionConstant(p.deltaScaled)},
          {kGamma, unscaleEmissionConstant(p.gammaScaled)}}},
        {kAdministrationTime, clockText(s.administrationClock)},
        {kInitialVolume, s.initialVolume},
        {schema::kResidualVolume, s.residualVolume},
    };
    if (s.administeredActivity) document[kAdministeredActivity] = *s.administeredActivity;
    const FillRatePattern& f = s.fillRate;
    if (f.steps.empty()) {
        document[kFillRate] = {{kDay, f.dayRate},
                               {kNight, f.nightRate},
                               {kNightFrom, clockText(f.nightFrom)},
                               {kNightTo, clockText(f.nightTo)}};
    } else {
        json steps = json::array();
        for (const FillStep& step : f.steps)
            steps.push_back({{kFrom, step.from}, {kRate, step.rate}});
        document[kFillRate] = {{kSteps, steps}};
    }
    const VoidingPattern& v = s.voiding;
    auto regularJson = [&](json& target) {
        target[kInterval] = v.regular.interval;
        target[kBedtime] = clockText(v.regular.bedtime);
        target[kWake] = clockText(v.regular.wake);
        if (v.regular.nightVoids) target[kNightVoids] = true;
        if (v.capacity) target[kCapacity] = *v.capacity;
    };
    json voidingJson;
    switch (v.kind) {
        case VoidingKind::Table:
            voidingJson = {{kPattern, kTable}, {kFirstVoid, v.firstVoid}};
            if (v.tableIntervals) voidingJson[kIntervals] = *v.tableIntervals;
            break;
        case VoidingKind::Regular:
            voidingJson = {{kPattern, kRegular}, {kFirstVoid, v.firstVoid}};
            regularJson(voidingJson);
            break;
        case VoidingKind::Diary: {
            json voids = json::array();
            for (const DiaryVoid& d : v.voids) {
                if (d.residual) {
                    voids.push_back({{kAt, d.at}, {kResidual, *d.residual}});
                } else {
                    voids.push_back(d.at);
                }
            }
            voidingJson = {{kPattern, kDiary}, {kVoids, voids}};
            if (v.then) regularJson(voidingJson[kThen]);
            break;
        }
        case VoidingKind::Capacity:
            voidingJson = {{kPattern, kCapacityPattern}, {kCapacity, v.capacity.value_or(0.0)}};
            break;
    }
    document[kVoiding] = voidingJson;
    if (s.endTime) document[kEndTime] = *s.endTime;
    return document;
}

std::string scenarioJsonText(const Scenario& scenario) {
    return scenarioToJson(scenario).dump();
}

}  // namespace orvane
