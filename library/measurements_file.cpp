#include "library/measurements_file.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "engine/calculation.h"
#include "engine/sampling.h"
#include "library/json_reader.h"
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

ScenarioFit fitScenarioDocument(const Workbench& workbench, const json& document,
                                const std::string& file) {
    const JsonCheck check(file);
    if (!document.is_object()) check.refuse("", "expected an object");
    if (document.contains(schema::kUncertainty))
        check.refuse(schema::kUncertainty,
                     "goes without \"measurements\": the fit gives the dose its interval");
    ScenarioFit out;
    out.fillRateFromVoids = fillRateFromVoidsAsked(document);
    json scenarioDocument = document;
    // Any valid fill rate, replaced below by the one the voids give.
    if (out.fillRateFromVoids) scenarioDocument[schema::kFillRate] = {{schema::kDay, 1.0}};
    out.input =
        workbench.readScenario(scenarioDocument, {schema::kMeasurements, schema::kFit}, file);
    out.measurements =
        readMeasurementsSection(check.require(document, "", schema::kMeasurements), file);
    out.options = readFitSection(findKey(document, schema::kFit), file);
    out.options.threads = defaultSamplingThreads(out.options.samples);

    Scenario& scenario = out.input.scenario;
    checkMeasurements(out.measurements, scenario);
    scenario = withMeasuredDiary(scenario, out.measurements);
    if (out.fillRateFromVoids) scenario.fillRate = fillRateFromVoids(scenario, out.measurements);
    checkScenario(scenario);
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
