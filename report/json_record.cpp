#include "report/json_record.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "engine/clock.h"
#include "engine/version.h"
#include "report/scenario_report.h"
#include "report/uncertainty_report.h"

namespace orvane {
namespace {

std::string utcText(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

template <std::size_t N>
nlohmann::ordered_json array(const std::array<double, N>& values) {
    return nlohmann::ordered_json(std::vector<double>(values.begin(), values.end()));
}

// The numbers the model used for a radiopharmaceutical.
nlohmann::ordered_json parametersJson(const ModelParameters& p) {
    nlohmann::ordered_json components = nlohmann::ordered_json::array();
    for (int c = 0; c < kComponentCount; ++c) {
        components.push_back({{"fraction", p.fraction[c]},
                              {"rate_constant_per_min", p.rateConstant[c]},
                              {"biological_half_life_min", p.biologicalHalfLife[c]}});
    }
    return {{"name", p.name},
            {"components", components},
            {"physical_half_life_min", p.physicalHalfLife},
            {"delta_mGy_kg_per_MBq_s", unscaleEmissionConstant(p.deltaScaled)},
            {"gamma_mGy_cm2_per_MBq_s", unscaleEmissionConstant(p.gammaScaled)}};
}

nlohmann::ordered_json inputJson(const FieldTexts& fields, const ModelParameters& p) {
    nlohmann::ordered_json texts = nlohmann::ordered_json::object();
    for (int f = 0; f < kFieldCount; ++f) texts[kFieldKeys[f]] = fields[f];
    nlohmann::ordered_json input{{"name", p.name}, {"fields", texts}};
    nlohmann::ordered_json parameters = parametersJson(p);
    for (auto& [key, value] : parameters.items()) {
        if (key != "name") input[key] = std::move(value);
    }
    return input;
}

// Program, version, time and data file, in the order every record starts with.
nlohmann::ordered_json originJson(const CalculationOrigin& origin) {
    return {{"program", origin.program},
            {"version", kVersion},
            {"calculated_utc", utcText(origin.time)},
            {"data_file", origin.dataFile.string()}};
}

// A scenario's inputs as the engine took them: names resolved, defaults filled in.
nlohmann::ordered_json scenarioInputJson(const Scenario& s, const ScenarioResult& r) {
    nlohmann::ordered_json input{{"radiopharmaceutical", parametersJson(s.radiopharmaceutical)},
                                 {"administration_clock", clockText(s.administrationClock)},
                                 {"initial_volume_ml", s.initialVolume},
                                 {"residual_volume_ml", s.residualVolume}};
    if (s.administeredActivity) input["administered_MBq"] = *s.administeredActivity;
    input["end_min"] = r.voids.empty() ? 0.0 : r.voids.back().time;
    return input;
}

}  // namespace

std::string tableCalculationJson(const FieldTexts& fields, const DoseResults& results,
                                 const CalculationOrigin& origin,
                                 const std::vector<Warning>& warnings) {
    nlohmann::ordered_json schedules = nlohmann::ordered_json::array();
    for (int s = 0; s < kScheduleCount; ++s) {
        nlohmann::ordered_json rows = nlohmann::ordered_json::array();
        for (const auto& row : results.tables[static_cast<std::size_t>(s)].dose) {
            rows.push_back(array(row));
        }
        schedules.push_back({{"schedule", s + 1},
                             {"day_rate_ml_per_min", kFillRateSchedules[s].dayRate},
                             {"night_rate_ml_per_min", kFillRateSchedules[s].nightRate},
                             {"doses_mGy_per_MBq", rows}});
    }
    nlohmann::ordered_json record = originJson(origin);
    record["input"] = inputJson(fields, results.parameters);
    record["grids"] = {{"V0_ml", array(results.grids.v0Grid)},
                       {"T0_min", array(results.grids.t0Grid)},
                       {"quadrature_nodes", array(results.grids.quadratureNodes)},
                       {"quadrature_weights", array(results.grids.quadratureWeights)}};
    record["schedules"] = schedules;
    nlohmann::ordered_json warningList = nlohmann::ordered_json::array();
    for (const Warning& w : warnings) {
        warningList.push_back({{"path", w.path}, {"message", w.message}});
    }
    record["warnings"] = warningList;
    return record.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string scenarioRecordText(const Scenario& scenario, const ScenarioResult& result,
                               const CalculationOrigin& origin, nlohmann::json sections) {
    nlohmann::ordered_json record = originJson(origin);
    record["input"] = scenarioInputJson(scenario, result);
    for (auto& [key, value] : sections.items()) record[key] = std::move(value);
    return record.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string scenarioResultJsonText(const Scenario& scenario, const ScenarioResult& result,
                                   const std::vector<Warning>& warnings,
                                   const CalculationOrigin& origin,
                                   const std::vector<UncertainInput>* inputs,
                                   const UncertaintyResult* analysis) {
    nlohmann::json json = scenarioResultJson(scenario, result, &warnings);
    if (inputs && analysis) json["uncertainty"] = uncertaintyJson(*inputs, *analysis);
    return scenarioRecordText(scenario, result, origin, std::move(json));
}

}  // namespace orvane
