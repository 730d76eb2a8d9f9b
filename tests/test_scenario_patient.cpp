// "patient" and "capacity" in a scenario file; the capacity warnings; orvane-cli --patient.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "engine/clock.h"
#include "library/scenario_file.h"
#include "library/warnings.h"
#include "library/workbench.h"
#include "support.h"

namespace orvane {
namespace {

using nlohmann::json;

const json kMag3 = {{"standard", "Tc-99m MAG3"}};

ScenarioInput read(const json& document) {
    return test::shippedWorkbench().readScenario(document);
}

// The 5-year-old girl's MAG3 scenario written out by hand from her reference values.
json byHand(const ReferencePatient& p) {
    return {{"radiopharmaceutical", kMag3},
            {"initial_volume", p.initialVolume.value},
            {"residual_volume", p.residualVolume.value},
            {"fill_rate",
             {{"day", p.fillRateDay.value},
              {"night", p.fillRateNight.value},
              {"night_from", clockText(p.night->bedtime)},
              {"night_to", clockText(p.night->wake)}}},
            {"voiding",
             {{"pattern", "regular"},
              {"first_void", p.dayInterval.value},
              {"interval", p.dayInterval.value},
              {"bedtime", clockText(p.night->bedtime)},
              {"wake", clockText(p.night->wake)},
              {"capacity", p.capacity.value}}}};
}

TEST(ScenarioPatient, AgeAloneEqualsTheScenarioWrittenByHandAndReadsBack) {
    const ReferencePatient p = test::shippedWorkbench().referencePatient(5, Sex::Female);
    const ScenarioInput byAge =
        read({{"radiopharmaceutical", kMag3}, {"patient", {{"age", 5}, {"sex", "female"}}}});
    EXPECT_EQ(byAge.scenario, read(byHand(p)).scenario);
    ASSERT_TRUE(byAge.patient);
    EXPECT_EQ(byAge.patient->patient, p);
    EXPECT_EQ(byAge.patient->values.size(), 12u);  // byHand's keys but two, and night_voids
    EXPECT_EQ(read(scenarioToJson(byAge.scenario)).scenario, byAge.scenario);
}

TEST(ScenarioPatient, AKeyInTheFileOverridesThePatient) {
    const ReferencePatient p = test::shippedWorkbench().referencePatient(10, std::nullopt);
    const ScenarioInput in = read({{"radiopharmaceutical", kMag3},
                                   {"patient", {{"age", 10}}},
                                   {"initial_volume", 42},
                                   {"fill_rate", {{"day", 2.0}}},
                                   {"voiding", {{"pattern", "regular"}, {"interval", 77}}}});
    const Scenario& s = in.scenario;
    EXPECT_EQ(s.initialVolume, 42);
    EXPECT_EQ(s.fillRate.dayRate, 2.0);
    EXPECT_EQ(s.fillRate.nightRate, p.fillRateNight.value);
    EXPECT_EQ(s.voiding.regular.interval, 77);
    EXPECT_EQ(s.voiding.firstVoid, p.dayInterval.value);
    EXPECT_EQ(s.voiding.capacity, p.capacity.value);
    EXPECT_EQ(s.residualVolume, p.residualVolume.value);
    for (const PatientValue& v : in.patient->values) {
        EXPECT_NE(v.path, "initial_volume");
        EXPECT_NE(v.path, "voiding.interval");
        EXPECT_FALSE(v.provenance.sources.empty()) << v.path;
    }
}

TEST(ScenarioPatient, ANewbornVoidsByNightAsByDay) {
    const ScenarioInput in = read({{"radiopharmaceutical", kMag3}, {"patient", {{"age", 0}}}});
    const Scenario& s = in.scenario;
    EXPECT_TRUE(s.voiding.regular.nightVoids);
    EXPECT_EQ(s.fillRate.nightRate, s.fillRate.dayRate);
    const ScenarioResult r = computeScenario(
        s, {test::shippedTables().quadratureNodes, test::shippedTables().quadratureWeights});
    ASSERT_GT(r.voids.size(), 20u);
    for (std::size_t i = 1; i < r.voids.size(); ++i) {
        // Every void comes an interval after the one before, or earlier when full.
        EXPECT_LE(r.voids[i].time - r.voids[i - 1].time, s.voiding.regular.interval + 1e-9);
    }
}

TEST(ScenarioPatient, RefusedPatientsAndCapacities) {
    const struct {
        json change;
        const char* path;
    } cases[] = {
        {{{"patient", {{"age", 101}}}}, "patient.age"},
        {{{"patient", {{"age", -1}}}}, "patient.age"},
        {{{"patient", {{"age", 5}, {"sex", "other"}}}}, "patient.sex"},
        {{{"patient", {{"age", 5}, {"height", 1}}}}, "patient.height"},
        {{{"patient", 5}}, "patient"},
        {{{"voiding", {{"pattern", "capacity"}}}}, "voiding.capacity"},
        {{{"voiding", {{"pattern", "capacity"}, {"capacity", -3}}}}, "voiding.capacity"},
        {{{"voiding", {{"pattern", "table"}, {"first_void", 60}, {"capacity", 300}}}},
         "voiding.capacity"},
        {{{"voiding",
           {{"pattern", "regular"}, {"first_void", 60}, {"interval", 60}, {"night_voids", "yes"}}}},
         "voiding.night_voids"},
    };
    for (const auto& c : cases) {
        json document = {
            {"radiopharmaceutical", kMag3}, {"initial_volume", 10}, {"fill_rate", {{"day", 1}}}};
        document.update(c.change);
        try {
            read(document);
            ADD_FAILURE() << c.change.dump() << " was read";
        } catch (const ScenarioError& e) {
            EXPECT_EQ(e.path(), c.path) << c.change.dump() << ": " << e.what();
        }
    }
}

TEST(ScenarioPatient, CapacityWarnings) {
    const QuadratureRule rule{test::shippedTables().quadratureNodes,
                              test::shippedTables().quadratureWeights};
    const struct {
        json document;
        bool warned;
    } cases[] = {
        // An adult filling 1.5 ml/min for 8 h: 730 ml, above 600 ml.
        {{{"initial_volume", 10},
          {"fill_rate", {{"day", 1.5}, {"night", 1.5}}},
          {"voiding", {{"pattern", "regular"}, {"first_void", 480}, {"interval", 480}}}},
         true},
        {{{"initial_volume", 10},
          {"fill_rate", {{"day", 1.0}, {"night", 1.0}}},
          {"voiding", {{"pattern", "regular"}, {"first_void", 240}, {"interval", 240}}}},
         false},
        // A 5-year-old (180 ml) voiding every 6 h: above her capacity, not an adult's.
        {{{"patient", {{"age", 5}}},
          {"voiding", {{"pattern", "regular"}, {"first_void", 360}, {"interval", 360}}}},
         true},
        // Her own voiding, and voiding only when full, stay at or below it.
        {{{"patient", {{"age", 5}}}}, false},
        {{{"patient", {{"age", 5}}}, {"voiding", {{"pattern", "capacity"}}}}, false},
    };
    for (const auto& c : cases) {
        json document = c.document;
        document["radiopharmaceutical"] = kMag3;
        const ScenarioInput in = read(document);
        const ScenarioResult r = computeScenario(in.scenario, rule, 5.0);
        bool warned = false;
        for (const Warning& w : test::shippedWorkbench().scenarioWarnings(in, r)) {
            warned = warned || w.message.find("capacity of") != std::string::npos;
        }
        EXPECT_EQ(warned, c.warned) << c.document.dump();
    }
    // The tables' first interval: 500 ml + 1.5 ml/min x 180 min.
    const std::vector<Warning> table = tableCapacityWarnings();
    ASSERT_EQ(table.size(), 1u);
    EXPECT_NE(table[0].message.find("770 ml"), std::string::npos) << table[0].message;
}

TEST(ScenarioPatient, CliPrintsThePatientAsAFragmentThatReadsBack) {
    std::ostringstream out, err;
    const int status = runCli(
        {"--data", test::shippedDataFile().string(), "--patient", "5,female", "--json"}, out, err);
    ASSERT_EQ(status, 0) << err.str();
    json printed = json::parse(out.str());
    json fragment = printed["scenario"];
    fragment["radiopharmaceutical"] = kMag3;
    EXPECT_EQ(read(fragment).scenario,
              read({{"radiopharmaceutical", kMag3}, {"patient", {{"age", 5}, {"sex", "female"}}}})
                  .scenario);
    EXPECT_EQ(printed["patient"]["values"].size(), 12u);
    for (const char* bad : {"abc", "5,other", "101"}) {
        std::ostringstream o, e;
        EXPECT_EQ(runCli({"--data", test::shippedDataFile().string(), "--patient", bad}, o, e), 2)
            << bad;
    }
}

}  // namespace
}  // namespace orvane
