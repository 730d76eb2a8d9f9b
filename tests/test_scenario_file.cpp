// Scenario files: every refusal names its key path; a standard's table cell and its scenario
// agree; a written scenario reads back.
#include <gtest/gtest.h>

#include <string>

#include "engine/calculation.h"
#include "library/scenario_file.h"

using namespace orvane;
using nlohmann::json;

namespace {

const StandardData data = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
const QuadratureRule rule{data.tables.quadratureNodes, data.tables.quadratureWeights};

const json base = json::parse(R"({
  "name": "Patient 17",
  "radiopharmaceutical": {"standard": "Tc-99m MAG3"},
  "administration_time": "14:30",
  "initial_volume": 60,
  "residual_volume": 10,
  "administered_activity": 370,
  "fill_rate": {"day": 1.0, "night": 0.5, "night_from": "00:00", "night_to": "06:00"},
  "voiding": {"pattern": "regular", "first_void": 45, "interval": 120,
              "bedtime": "23:00", "wake": "07:00"},
  "end_time": 2880
})");

// The base scenario with a JSON merge patch applied (null removes a key).
std::string patched(const char* patch) {
    json document = base;
    document.merge_patch(json::parse(patch));
    return document.dump();
}

TEST(ScenarioFile, RefusalsNameTheKeyPath) {
    const char* const ownValues =
        R"({"radiopharmaceutical": {"standard": null, "physical_half_life": 360.6, "delta": 0.0026,
            "gamma": 0.0556, "components": [{"fraction": 1, "rate_constant": 0.01}]}})";
    struct Case {
        std::string text;
        std::string path;
    };
    const std::vector<Case> cases = {
        {patched(R"({"colour": "red"})"), "colour"},
        {patched(R"({"initial_volume": "60"})"), "initial_volume"},
        {patched(R"({"initial_volume": null})"), "initial_volume"},
        {patched(R"({"residual_volume": -1})"), "residual_volume"},
        {[] {
             std::string t = patched(R"({"end_time": 12345})");
             return t.replace(t.find("12345"), 5, "1e999");
         }(),
         "end_time"},
        {patched(R"({"administration_time": "9:30"})"), "administration_time"},
        {patched(R"({"administration_time": "24:00"})"), "administration_time"},
        {patched(R"({"voiding": {"wake": "23:00"}})"), "voiding.wake"},
        {patched(R"({"voiding": {"interval": 0}})"), "voiding.interval"},
        {patched(R"({"voiding": {"interval": 1, "bedtime": "00:00", "wake": "00:01"},
                     "end_time": 1000000})"),
         "end_time"},
        {patched(R"({"voiding": {"pattern": "weekly"}})"), "voiding.pattern"},
        {patched(R"({"voiding": {"pattern": null, "first_void": null, "interval": null,
                     "bedtime": null, "wake": null, "voids": [45, 150, 120]}})"),
         "voiding.voids[2]"},
        {patched(R"({"voiding": {"pattern": null, "first_void": null, "interval": null,
                     "bedtime": null, "wake": null,
                     "voids": [45, 150, {"at": 260, "residual": 500}]}})"),
         "voiding.voids[2].residual"},
        {patched(R"({"voiding": {"pattern": null, "first_void": null, "interval": null,
                     "bedtime": null, "wake": null, "voids": [45], "then": {"every": 3}}})"),
         "voiding.then.every"},
        {patched(R"({"voiding": {"pattern": "table", "interval": null, "bedtime": null,
                     "wake": null}})"),
         "administration_time"},
        {patched(R"({"administration_time": null, "residual_volume": 300, "voiding":
                     {"pattern": "table", "interval": null, "bedtime": null, "wake": null}})"),
         "residual_volume"},
        {patched(R"({"fill_rate": {"day": null, "night": null, "night_from": null,
                     "night_to": null, "steps": [{"from": 10, "rate": 1}]}})"),
         "fill_rate.steps[0].from"},
        {patched(R"({"fill_rate": {"steps": [{"from": 0, "rate": 1}]}})"), "fill_rate.day"},
        {patched(R"({"radiopharmaceutical": {"standard": "Tc-99m MAG4"}})"),
         "radiopharmaceutical.standard"},
        {patched(R"({"radiopharmaceutical": {"standard": 20}})"), "radiopharmaceutical.standard"},
        {patched(R"({"radiopharmaceutical": {"standard": null, "library": "Lu-177 PSMA"}})"),
         "radiopharmaceutical.library"},
        {patched(ownValues), ""},
        {[&] {
             json d = json::parse(patched(ownValues));
             d["radiopharmaceutical"]["components"][0]["speed"] = 1;
             return d.dump();
         }(),
         "radiopharmaceutical.components[0].speed"},
        {[&] {
             json d = json::parse(patched(ownValues));
             d["radiopharmaceutical"]["physical_half_life"] = 0;
             return d.dump();
         }(),
         "radiopharmaceutical.physical_half_life"},
        {[&] {
             json d = json::parse(patched(ownValues));
             for (int i = 0; i < 4; ++i)
                 d["radiopharmaceutical"]["components"].push_back(
                     d["radiopharmaceutical"]["components"][0]);
             return d.dump();
         }(),
         "radiopharmaceutical.components"},
        {R"({"fill_rate": {"day": 1, "day": 2}})", "fill_rate.day"},
        {"{\"initial_volume\": 60,\n \"name\": }", "line 2, column 10"},
        {"[]", ""},
    };
    for (const Case& c : cases) {
        try {
            const Scenario s = parseScenario(c.text, data);
            EXPECT_TRUE(c.path.empty()) << c.text << " was accepted";
            EXPECT_GT(computeScenario(s, rule).dose, 0);
        } catch (const ScenarioError& e) {
            EXPECT_EQ(e.path(), c.path) << e.what();
            EXPECT_FALSE(e.reason().empty());
        }
    }
}

TEST(ScenarioFile, AStandardsTableCellAndItsScenarioAgree) {
    const int mag3 = 7;
    const StandardFieldTexts texts = standardFieldTexts(data.library[mag3]);
    const DoseResults tables =
        computeDoseResults(readModelParameters(texts.fields, texts.name), data.tables);
    const Scenario s = parseScenario(R"({
      "radiopharmaceutical": {"standard": 7},
      "initial_volume": 200,
      "fill_rate": {"day": 1.5},
      "voiding": {"pattern": "table", "first_void": 60}})",
                                     data);
    EXPECT_EQ(computeScenario(s, rule).dose, tables.tables[2].at(2, 3));
}

TEST(ScenarioFile, AWrittenScenarioReadsBack) {
    const Scenario s = parseScenario(patched(R"({"voiding": {"pattern": null, "first_void": null,
        "interval": null, "bedtime": null, "wake": null, "voids": [45, {"at": 150, "residual": 30}],
        "then": {"interval": 150, "bedtime": "22:30"}}, "fill_rate": {"day": null, "night": null,
        "night_from": null, "night_to": null, "steps": [{"from": 0, "rate": 2}, {"from": 90,
        "rate": 0.7}]}})"),
                                     data);
    const Scenario back = scenarioFromJson(scenarioToJson(s), data);
    EXPECT_EQ(back.voiding, s.voiding);
    EXPECT_EQ(back.fillRate, s.fillRate);
    EXPECT_DOUBLE_EQ(computeScenario(back, rule).dose, computeScenario(s, rule).dose);
}

}  // namespace
