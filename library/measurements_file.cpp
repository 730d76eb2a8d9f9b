#include "library/measurements_file.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "engine/sampling.h"
#include "library/json_reader.h"
#include "library/scenario_file.h"
#include "library/scenario_schema.h"

namespace orvane {

using nlohmann::json;

namespace {

std::vector<MeasuredValue> readValues(const JsonCheck& check, const json& section,
                                      const std::string& path, const char* key,
                                      const char* valueKey, std::string_view unit) {
    std::vector<MeasuredValue> values;
    const json* list = findKey(section, key);
    if (list == nullptr) return values;
    const std::string listPath = keyPath(path, key);
    check.list(*list, listPath, kMaxMeasuredPoints, 0);
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string at = indexPath(listPath, i);
        const json& point = check.object((*list)[i], at, {schema::kAt, valueKey, schema::kSd});
        MeasuredValue value;
        value.at =
            check.number(check.require(point, at, schema::kAt), keyPath(at, schema::kAt), "min");
        value.value = check.number(check.require(point, at, valueKey), keyPath(at, valueKey), unit);
        value.sd = check.optionalNumber(point, at, schema::kSd, unit);
        values.push_back(value);
    }
    return values;
}

std::vector<MeasuredVoid> readVoids(const JsonCheck& check, const json& section,
                                    const std::string& path) {
    std::vector<MeasuredVoid> voids;
    const json* list = findKey(section, schema::kVoids);
    if (list == nullptr) return voids;
    const std::string listPath = keyPath(path, schema::kVoids);
    check.list(*list, listPath, kMaxMeasuredPoints, 0);
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string at = indexPath(listPath, i);
        const json& point = check.object(
            (*list)[i], at,
            {schema::kAt, schema::kVolume, schema::kActivity, schema::kMeasuredAt, schema::kSd});
        MeasuredVoid v;
        v.at = check.number(check.require(point, at, schema::kAt), keyPath(at, schema::kAt), "min");
        v.volume = check.optionalNumber(point, at, schema::kVolume, "ml");
        v.activity = check.optionalNumber(point, at, schema::kActivity, "MBq");
        v.measuredAt = check.optionalNumber(point, at, schema::kMeasuredAt, "min");
        v.sd = check.optionalNumber(point, at, schema::kSd, "MBq");
        if (v.measuredAt && !v.activity)
            check.refuse(keyPath(at, schema::kMeasuredAt), "goes with \"activity\"");
        if (v.sd && !v.activity) check.refuse(keyPath(at, schema::kSd), "goes with \"activity\"");
        voids.push_back(v);
    }
    return voids;
}

bool fillRateFromVoidsAsked(const json& document) {
    const json* fill = findKey(document, schema::kFillRate);
    return fill != nullptr && fill->is_string() && *fill == schema::kFromVoids;
}

}  // namespace

bool hasFitSections(const json& document) {
    return document.is_object() &&
           (document.contains(schema::kMeasurements) || document.contains(schema::kFit));
}

Measurements readMeasurementsSection(const json& section, const std::string& file) {
    const JsonCheck check(file);
    const std::string path = schema::kMeasurements;
    check.object(section, path,
                 {schema::kVoids, schema::kCumulativeUrine, schema::kBladder, schema::kWholeBody,
                  schema::kRelativeSd});
    Measurements m;
    m.voids = readVoids(check, section, path);
    m.cumulativeUrine =
        readValues(check, section, path, schema::kCumulativeUrine, schema::kFraction, "-");
    m.bladder = readValues(check, section, path, schema::kBladder, schema::kActivity, "MBq");
    m.wholeBody = readValues(check, section, path, schema::kWholeBody, schema::kActivity, "MBq");
    if (const auto sd =
            check.optionalNumber(section, path, schema::kRelativeSd, "-", JsonSign::Positive))
        m.relativeSd = *sd;
    return m;
}

FitOptions readFitSection(const json* section, const std::string& file) {
    FitOptions o;
    if (section == nullptr) return o;
    const JsonCheck check(file);
    const std::string path = schema::kFit;
    check.object(*section, path,
                 {schema::kComponents, schema::kInterval, schema::kSamples, schema::kSeed});
    if (const json* c = findKey(*section, schema::kComponents)) {
        const std::string at = keyPath(path, schema::kComponents);
        if (c->is_string()) {
            if (*c != schema::kAuto) check.refuse(at, "expected 1, 2, 3 or \"auto\"");
            o.components = 0;
        } else {
            o.components = static_cast<int>(check.integer(*c, at, 1, kMaxFitComponents));
        }
    }
    if (const json* p = findKey(*section, schema::kInterval))
        o.interval = check.numberIn(*p, keyPath(path, schema::kInterval), 0.5, 0.999,
                                    "a probability from 0.5 to 0.999");
    if (const json* n = findKey(*section, schema::kSamples))
        o.samples = check.integer(*n, keyPath(path, schema::kSamples), 0, kMaxFitSamples);
    if (const json* s = findKey(*section, schema::kSeed))
        o.seed = check.integer(*s, keyPath(path, schema::kSeed), 0, UINT64_MAX);
    return o;
}

MeasuredScenario readMeasuredScenario(const Workbench& workbench, const json& document,
                                      const std::string& file) {
    const JsonCheck check(file);
    if (!document.is_object()) check.refuse("", "expected an object");
    if (document.contains(schema::kUncertainty))
        check.refuse(schema::kUncertainty,
                     "goes without \"measurements\": the fit gives the dose its interval");
    MeasuredScenario out;
    MeasurementSections& sections = out.sections;
    sections.fillRateFromVoids = fillRateFromVoidsAsked(document);
    json scenarioDocument = document;
    // Any valid fill rate, replaced by the one the voids give.
    if (sections.fillRateFromVoids) scenarioDocument[schema::kFillRate] = {{schema::kDay, 1.0}};
    out.input =
        workbench.readScenario(scenarioDocument, {schema::kMeasurements, schema::kFit}, file);
    sections.measurements =
        readMeasurementsSection(check.require(document, "", schema::kMeasurements), file);
    sections.options = readFitSection(findKey(document, schema::kFit), file);
    Scenario& scenario = out.input.scenario;
    checkMeasurements(sections.measurements, scenario);
    scenario = withMeasuredDiary(scenario, sections.measurements);
    if (sections.fillRateFromVoids)
        scenario.fillRate = fillRateFromVoids(scenario, sections.measurements);
    checkScenario(scenario);
    return out;
}

ScenarioFit fitScenarioDocument(const Workbench& workbench, const json& document,
                                const std::string& file, int threads) {
    MeasuredScenario measured = readMeasuredScenario(workbench, document, file);
    measured.sections.options.threads = threads;
    return fitMeasuredScenario(workbench, std::move(measured));
}

ScenarioFit fitMeasuredScenario(const Workbench& workbench, MeasuredScenario measured) {
    ScenarioFit out;
    out.input = std::move(measured.input);
    out.measurements = std::move(measured.sections.measurements);
    out.options = measured.sections.options;
    out.fillRateFromVoids = measured.sections.fillRateFromVoids;
    if (out.options.threads <= 0) out.options.threads = defaultSamplingThreads(out.options.samples);

    Scenario& scenario = out.input.scenario;
    const ModelTables& tables = workbench.data().tables;
    checkGrids(tables);
    const QuadratureRule rule{tables.quadratureNodes, tables.quadratureWeights};
    out.fit = fitScenario(scenario, out.measurements, rule, out.options);
    if (out.fit.converged) {
        scenario.radiopharmaceutical = out.fit.kinetics;
        scenario.radiopharmaceutical.name = out.fit.kinetics.name + " (fitted)";
    }
    return out;
}

std::optional<MeasurementSections> readMeasurementSections(const ScenarioDocument& document) {
    const json& d = document.json();
    const json* section = d.is_object() ? findKey(d, schema::kMeasurements) : nullptr;
    if (section == nullptr) return std::nullopt;
    MeasurementSections sections;
    sections.measurements = readMeasurementsSection(*section, document.file());
    sections.options = readFitSection(findKey(d, schema::kFit), document.file());
    sections.options.threads = 0;
    sections.fillRateFromVoids = fillRateFromVoidsAsked(d);
    return sections;
}

namespace {

void putOptional(json& point, const char* key, const std::optional<double>& value) {
    if (value) point[key] = *value;
}

json valuesJson(const std::vector<MeasuredValue>& values, const char* valueKey) {
    json list = json::array();
    for (const MeasuredValue& v : values) {
        json point = {{schema::kAt, v.at}, {valueKey, v.value}};
        putOptional(point, schema::kSd, v.sd);
        list.push_back(std::move(point));
    }
    return list;
}

}  // namespace

ScenarioDocument withMeasurementSections(const ScenarioDocument& document,
                                         const std::optional<MeasurementSections>& sections) {
    json out = document.json();
    if (!out.is_object()) out = json::object();
    out.erase(schema::kMeasurements);
    out.erase(schema::kFit);
    if (!sections) return ScenarioDocument(out, document.file());
    const Measurements& m = sections->measurements;
    json section = json::object();
    if (!m.voids.empty()) {
        json& voids = section[schema::kVoids] = json::array();
        for (const MeasuredVoid& v : m.voids) {
            json point = {{schema::kAt, v.at}};
            putOptional(point, schema::kVolume, v.volume);
            putOptional(point, schema::kActivity, v.activity);
            putOptional(point, schema::kMeasuredAt, v.measuredAt);
            putOptional(point, schema::kSd, v.sd);
            voids.push_back(std::move(point));
        }
    }
    const std::pair<const char*, const std::vector<MeasuredValue>*> lists[] = {
        {schema::kCumulativeUrine, &m.cumulativeUrine},
        {schema::kBladder, &m.bladder},
        {schema::kWholeBody, &m.wholeBody}};
    for (const auto& [key, values] : lists) {
        if (!values->empty())
            section[key] = valuesJson(
                *values, key == schema::kCumulativeUrine ? schema::kFraction : schema::kActivity);
    }
    section[schema::kRelativeSd] = m.relativeSd;
    out[schema::kMeasurements] = std::move(section);
    const FitOptions& o = sections->options;
    out[schema::kFit] = {
        {schema::kComponents, o.components == 0 ? json(schema::kAuto) : json(o.components)},
        {schema::kInterval, o.interval},
        {schema::kSamples, o.samples},
        {schema::kSeed, o.seed}};
    if (sections->fillRateFromVoids) out[schema::kFillRate] = schema::kFromVoids;
    return ScenarioDocument(out, document.file());
}

ScenarioDocument withFittedKinetics(const Scenario& scenario, const FitResult& fit) {
    Scenario fitted = scenario;
    fitted.radiopharmaceutical = fit.kinetics;
    fitted.radiopharmaceutical.name = fit.kinetics.name + " (fitted)";
    return ScenarioDocument(scenarioToJson(fitted));
}

WriteOutcome saveFittedEntry(const Workbench& workbench, const ScenarioFit& fitted) {
    const ModelParameters& p = fitted.input.scenario.radiopharmaceutical;
    LibraryEntry entry;
    StandardPharmaceutical& values = entry.values;
    values.name = p.name;
    values.fraction = p.fraction;
    values.rateConstant = p.rateConstant;
    values.biologicalHalfLife = p.biologicalHalfLife;
    values.physicalHalfLife = p.physicalHalfLife;
    values.delta = unscaleEmissionConstant(p.deltaScaled);
    values.gamma = unscaleEmissionConstant(p.gammaScaled);
    const FitResult& fit = fitted.fit;
    entry.notes = "Fitted to a patient's measurements: " + std::to_string(fit.components) +
                  " component(s), " + std::to_string(fit.residuals.size()) +
                  " points; dose with these kinetics " + formatSignificant(fit.dose, 4) +
                  " mGy/MBq for the patient's scenario.";
    std::vector<LibraryEntry> entries = workbench.userFileEntries();
    const std::optional<std::size_t> same = workbench.userFileIndex(values.name);
    if (same)
        entries[*same] = entry;
    else
        entries.push_back(entry);
    return workbench.saveUserEntries(entries);
}

void requireConverged(const FitResult& fit) {
    if (!fit.converged) throw FitError(schema::kFit, "the fit did not converge: " + fit.message);
}

bool hasFitSections(const ScenarioDocument& document) {
    return hasFitSections(document.json());
}

ScenarioFit fitScenarioDocument(const Workbench& workbench, const ScenarioDocument& document) {
    return fitScenarioDocument(workbench, document.json(), document.file());
}

}  // namespace orvane
