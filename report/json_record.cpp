#include "report/json_record.h"

#include <ctime>
#include <nlohmann/json.hpp>

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

nlohmann::ordered_json inputJson(const FieldTexts& fields, const ModelParameters& p) {
    nlohmann::ordered_json texts = nlohmann::ordered_json::object();
    for (int f = 0; f < kFieldCount; ++f) texts[kFieldKeys[f]] = fields[f];
    nlohmann::ordered_json components = nlohmann::ordered_json::array();
    for (int c = 0; c < kComponentCount; ++c) {
        components.push_back({{"fraction", p.fraction[c]},
                              {"rate_constant_per_min", p.rateConstant[c]},
                              {"biological_half_life_min", p.biologicalHalfLife[c]}});
    }
    return {{"name", p.name},
            {"fields", texts},
            {"components", components},
            {"physical_half_life_min", p.physicalHalfLife},
            {"delta_mGy_kg_per_MBq_s", unscaleEmissionConstant(p.deltaScaled)},
            {"gamma_mGy_cm2_per_MBq_s", unscaleEmissionConstant(p.gammaScaled)}};
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
    nlohmann::ordered_json record{
        {"program", origin.program},
        {"version", kVersion},
        {"calculated_utc", utcText(origin.time)},
        {"data_file", origin.dataFile.string()},
        {"input", inputJson(fields, results.parameters)},
        {"grids",
         {{"V0_ml", array(results.grids.v0Grid)},
          {"T0_min", array(results.grids.t0Grid)},
          {"quadrature_nodes", array(results.grids.quadratureNodes)},
          {"quadrature_weights", array(results.grids.quadratureWeights)}}},
        {"schedules", schedules}};
    nlohmann::ordered_json warningList = nlohmann::ordered_json::array();
    for (const Warning& w : warnings) {
        warningList.push_back({{"path", w.path}, {"message", w.message}});
    }
    record["warnings"] = warningList;
    return record.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string scenarioResultJsonText(const Scenario& scenario, const ScenarioResult& result,
                                   const std::vector<Warning>& warnings,
                                   const std::vector<UncertainInput>* inputs,
                                   const UncertaintyResult* analysis) {
    nlohmann::json json = scenarioResultJson(scenario, result, &warnings);
    if (inputs && analysis) json["uncertainty"] = uncertaintyJson(*inputs, *analysis);
    return json.dump(2) + "\n";
}

}  // namespace orvane
