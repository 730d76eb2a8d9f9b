// The reference patients: the shipped file's sources, interpolation between the listed ages,
// the adult by sex and without one, the refusals of the file and of an age or sex; and
// "patient" in a scenario file, the report of its values, and orvane-cli --patient.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/cli.h"
#include "engine/scenario.h"
#include "library/patients.h"
#include "library/scenario_file.h"
#include "library/standards.h"
#include "report/scenario_report.h"
#include "support.h"

using namespace orvane;
using nlohmann::json;

namespace {

const std::filesystem::path kFile = std::filesystem::path(ORVANE_SOURCE_DIR) / "data/patients.json";

const ReferencePatients& shipped() {
    static const ReferencePatients patients = loadPatientsFile(kFile);
    return patients;
}

// The listed row of an age ("adult" rows by sex).
const ReferencePatient& row(double age, std::optional<Sex> sex = std::nullopt) {
    for (const ReferencePatient& p : shipped().listed) {
        if (p.age == age && p.sex == sex) return p;
    }
    throw std::logic_error("no listed patient of age " + std::to_string(age));
}

TEST(Patients, EveryValueAtEveryAgeCitesListedSources) {
    std::set<std::string> cited;
    for (double age : {0.0, 0.5, 1.0, 3.0, 7.5, 10.0, 12.0, 15.0, 16.5, 18.0, 40.0, 100.0}) {
        for (std::optional<Sex> sex :
             {std::optional<Sex>(), std::optional(Sex::Female), std::optional(Sex::Male)}) {
            const ReferencePatient p = referencePatient(shipped(), age, sex);
            const bool listed =
                age == 0 || age == 1 || age == 10 || age == 15 || (age >= kAdultAge && sex);
            for (const auto& [key, provenance] : provenances(p)) {
                const std::string where = key + " at " + std::to_string(age);
                EXPECT_FALSE(provenance->sources.empty()) << where;
                for (const std::string& source : provenance->sources) {
                    EXPECT_TRUE(shipped().sources.contains(source)) << where << ": " << source;
                    cited.insert(source);
                }
                EXPECT_TRUE(provenance->confidence == "H" || provenance->confidence == "M" ||
                            provenance->confidence == "L")
                    << where;
                EXPECT_FALSE(provenance->basis.empty()) << where;
                // A made value says how; a listed one does not, but for a clock taken over.
                if (key != "night") {
                    EXPECT_EQ(provenance->interpolated.empty(), listed) << where;
                }
            }
        }
    }
    // Every source the file lists is cited by some value, and the data notes list it.
    const std::string notes = test::readFile(kFile.parent_path() / "patients.md");
    for (const auto& [key, citation] : shipped().sources) {
        EXPECT_TRUE(cited.contains(key)) << key;
        EXPECT_NE(notes.find("* `" + key + "`: "), std::string::npos) << key;
    }
}

TEST(Patients, SevenAndAHalfYearsLieHalfwayBetweenFiveAndTen) {
    const ReferencePatient& a = row(5);
    const ReferencePatient& b = row(10);
    const ReferencePatient p = referencePatient(shipped(), 7.5, Sex::Female);
    EXPECT_FALSE(p.sex);  // a child's values are for both
    const std::pair<const Sourced<double>*, double> values[] = {
        {&p.fillRateDay, (a.fillRateDay.value + b.fillRateDay.value) / 2},
        {&p.fillRateNight, (a.fillRateNight.value + b.fillRateNight.value) / 2},
        {&p.capacity, (a.capacity.value + b.capacity.value) / 2},
        {&p.dayInterval, (a.dayInterval.value + b.dayInterval.value) / 2},
        {&p.residualVolume, (a.residualVolume.value + b.residualVolume.value) / 2},
        {&p.initialVolume, (a.initialVolume.value + b.initialVolume.value) / 2}};
    for (const auto& [value, expected] : values) {
        EXPECT_NEAR(value->value, expected, 1e-12);
        EXPECT_EQ(value->provenance.interpolated,
                  "interpolated linearly at 7.5 years between 5 years and 10 years");
    }
    EXPECT_DOUBLE_EQ(p.capacity.value, 255);  // the expected capacity 30 + 30 x age
    ASSERT_TRUE(p.night);
    EXPECT_DOUBLE_EQ(p.night->bedtime, (a.night->bedtime + b.night->bedtime) / 2);
    EXPECT_DOUBLE_EQ(p.night->hours(), (a.night->hours() + b.night->hours()) / 2);
    // Sources of both, the lower confidence.
    EXPECT_EQ(p.residualVolume.provenance.sources,
              (std::vector<std::string>{"JAN05", "CHY09", "CHA13", "MEI21"}));
    EXPECT_EQ(p.residualVolume.provenance.confidence, "L");
}

TEST(Patients, YesNoValuesAndNightsBetweenAges) {
    // 1 year voids at night and has no night; 5 years is dry at night with one.
    const struct {
        double age;
        bool nightVoids;
    } cases[] = {{2, true}, {3, false}, {4, false}};
    for (const auto& c : cases) {
        const ReferencePatient p = referencePatient(shipped(), c.age, std::nullopt);
        EXPECT_EQ(p.nightVoids.value, c.nightVoids) << c.age;
        ASSERT_TRUE(p.night) << c.age;
        EXPECT_EQ(p.night->bedtime, row(5).night->bedtime);
        EXPECT_NE(p.night->provenance.interpolated.find("has no night"), std::string::npos);
    }
    EXPECT_FALSE(referencePatient(shipped(), 0.5, std::nullopt).night);
}

TEST(Patients, AdultsBySexAndWithoutOne) {
    const ReferencePatient& woman = row(kAdultAge, Sex::Female);
    const ReferencePatient& man = row(kAdultAge, Sex::Male);
    ReferencePatient p = referencePatient(shipped(), 40, Sex::Female);
    EXPECT_EQ(p.age, 40);
    p.age = kAdultAge;
    EXPECT_EQ(p, woman);

    const ReferencePatient mean = referencePatient(shipped(), 40, std::nullopt);
    EXPECT_FALSE(mean.sex);
    EXPECT_DOUBLE_EQ(mean.fillRateDay.value, (woman.fillRateDay.value + man.fillRateDay.value) / 2);
    EXPECT_DOUBLE_EQ(mean.capacity.value, (woman.capacity.value + man.capacity.value) / 2);
    EXPECT_EQ(mean.capacity.provenance.interpolated, "mean of the adult woman and man");

    // Between the oldest child and the adult, towards the adult of the sex.
    const ReferencePatient teen = referencePatient(shipped(), 16.5, Sex::Male);
    EXPECT_EQ(teen.sex, Sex::Male);
    EXPECT_DOUBLE_EQ(teen.capacity.value, (row(15).capacity.value + man.capacity.value) / 2);
    EXPECT_NE(teen.capacity.provenance.interpolated.find("adult man (from 18 years)"),
              std::string::npos);
}

TEST(Patients, RefusedAgesAndSexes) {
    for (double age : {-1.0, 101.0, double(NAN), double(INFINITY)})
        EXPECT_EQ(test::refusedAt([&] { referencePatient(shipped(), age, std::nullopt); }),
                  "patient.age")
            << age;
    for (const char* sex : {"x", "Female", "", "both"})
        EXPECT_EQ(test::refusedAt([&] { sexFromText(sex); }), "patient.sex") << sex;
    EXPECT_EQ(sexFromText("male"), Sex::Male);
}

TEST(Patients, RefusedFiles) {
    const std::string text = test::readFile(kFile);
    struct Case {
        const char* change;
        std::string position;
        void (*edit)(json&);
    };
    const Case cases[] = {
        {"uncited source", "patients[2].capacity.sources[0]",
         [](json& d) { d["patients"][2]["capacity"]["sources"][0] = "NOPE"; }},
        {"missing basis", "patients[0].capacity.basis",
         [](json& d) { d["patients"][0]["capacity"].erase("basis"); }},
        {"unknown key", "patients[1].extra", [](json& d) { d["patients"][1]["extra"] = 1; }},
        {"hours off the clock", "patients[2].night.hours",
         [](json& d) { d["patients"][2]["night"]["hours"] = 12; }},
        {"bad clock", "patients[2].night.wake",
         [](json& d) { d["patients"][2]["night"]["wake"] = "7:00"; }},
        {"stray colon", "patients[3].night.bedtime",
         [](json& d) { d["patients"][3]["night"]["bedtime"] = ":1:00"; }},
        {"residual at capacity", "patients[0].residual_volume.value",
         [](json& d) { d["patients"][0]["residual_volume"]["value"] = 38; }},
        {"two rates without a night", "patients[0].fill_rate_night.value",
         [](json& d) { d["patients"][0]["fill_rate_night"]["value"] = 0.1; }},
        {"negative rate", "patients[3].fill_rate_day.value",
         [](json& d) { d["patients"][3]["fill_rate_day"]["value"] = -1; }},
        {"a child by sex", "patients[1].sex", [](json& d) { d["patients"][1]["sex"] = "female"; }},
        {"ages out of order", "patients[2].age", [](json& d) { d["patients"][2]["age"] = 1; }},
        {"two women", "patients[6].sex", [](json& d) { d["patients"][5]["sex"] = "female"; }},
        {"no newborn", "patients[0].age", [](json& d) { d["patients"][0]["age"] = 0.5; }},
        {"confidence", "patients[4].capacity.confidence",
         [](json& d) { d["patients"][4]["capacity"]["confidence"] = "X"; }},
        {"version", "version", [](json& d) { d["version"] = 2; }},
    };
    for (const Case& c : cases) {
        json document = json::parse(text);
        c.edit(document);
        const auto e = test::thrown<DataFileError>(
            [&] { parsePatientsFile(document.dump(2), "patients.json"); });
        EXPECT_EQ(e ? e->position() : "(accepted)", c.position) << c.change;
    }
    // Faults that only the text can hold.
    std::string twice = text;
    twice.replace(twice.find("\"label\": \"5 years\""), 18,
                  "\"label\": \"5 years\", \"label\": \"x\"");
    std::string commas = text;
    commas.replace(commas.find("\"version\": 1,"), 13, "\"version\": 1,,");
    const std::pair<std::string, std::string> texts[] = {{twice, "patients[2].label"},
                                                         {commas, "line 3, column 16"}};
    for (const auto& [faulty, position] : texts) {
        const auto e = test::thrown<DataFileError>(
            [&text = faulty] { parsePatientsFile(text, "patients.json"); });
        EXPECT_EQ(e ? e->position() : "(accepted)", position);
    }
}

TEST(Patients, TheBuildTreeHoldsTheShippedFile) {
    const auto built = patientsFilePathFor(std::filesystem::path(ORVANE_BUILD_DIR) / "bin");
    EXPECT_EQ(test::readFile(built), test::readFile(kFile));
}

// ---- "patient" in a scenario file

const json kMag3 = {{"standard", "Tc-99m MAG3"}};

ScenarioInput read(const json& document) {
    return test::shippedWorkbench().readScenario(document);
}

TEST(ScenarioPatient, AgeAloneEqualsTheScenarioWrittenByHandAndShowsItsSources) {
    const ReferencePatient p = test::shippedWorkbench().referencePatient(5, Sex::Female);
    const json byHand = {{"radiopharmaceutical", kMag3},
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
    const Scenario byAge =
        read({{"radiopharmaceutical", kMag3}, {"patient", {{"age", 5}, {"sex", "female"}}}})
            .scenario;
    EXPECT_EQ(byAge, read(byHand).scenario);
    EXPECT_EQ(read(scenarioToJson(byAge)).scenario, byAge);
    ASSERT_TRUE(byAge.origin.patient);
    const PatientOrigin& origin = *byAge.origin.patient;
    EXPECT_EQ(origin.capacity, p.capacity.value);
    EXPECT_EQ(origin.values.size(), 12u);  // byHand's keys but two, and night_voids
    // The report and the --json give each value taken, with its sources.
    const ScenarioResult r = computeScenario(byAge, test::shippedRule());
    const std::string report = scenarioReportText(byAge, r);
    const json out = scenarioResultJson(byAge, r);
    ASSERT_EQ(out["patient"]["values"].size(), origin.values.size());
    for (std::size_t i = 0; i < origin.values.size(); ++i) {
        const SourcedInput& v = origin.values[i];
        EXPECT_NE(report.find("  " + v.path + " = " + v.shown + "  (" + v.provenance.sources[0]),
                  std::string::npos)
            << v.path;
        EXPECT_EQ(out["patient"]["values"][i]["key"], v.path);
        EXPECT_EQ(out["patient"]["values"][i]["sources"], v.provenance.sources);
    }
}

TEST(ScenarioPatient, AKeyInTheFileOverridesThePatient) {
    const ReferencePatient p = test::shippedWorkbench().referencePatient(10, std::nullopt);
    const Scenario s = read({{"radiopharmaceutical", kMag3},
                             {"patient", {{"age", 10}}},
                             {"initial_volume", 42},
                             {"fill_rate", {{"day", 2.0}}},
                             {"voiding", {{"pattern", "regular"}, {"interval", 77}}}})
                           .scenario;
    EXPECT_EQ(s.initialVolume, 42);
    EXPECT_EQ(s.fillRate.dayRate, 2.0);
    EXPECT_EQ(s.fillRate.nightRate, p.fillRateNight.value);
    EXPECT_EQ(s.voiding.regular.interval, 77);
    EXPECT_EQ(s.voiding.firstVoid, p.dayInterval.value);
    EXPECT_EQ(s.voiding.capacity, p.capacity.value);
    EXPECT_EQ(s.residualVolume, p.residualVolume.value);
    std::set<std::string> taken;
    for (const SourcedInput& v : s.origin.patient->values) taken.insert(v.path);
    for (const char* own : {"initial_volume", "fill_rate.day", "voiding.interval"}) {
        EXPECT_FALSE(taken.contains(own)) << own;
    }
}

TEST(ScenarioPatient, TheTablesClockTakesThePatientsRatesAndVolumesOnly) {
    const ReferencePatient p = test::shippedWorkbench().referencePatient(10, std::nullopt);
    const Scenario s = read({{"radiopharmaceutical", kMag3},
                             {"patient", {{"age", 10}}},
                             {"voiding", {{"pattern", "table"}, {"first_void", 120}}}})
                           .scenario;
    EXPECT_EQ(s.fillRate.dayRate, p.fillRateDay.value);
    EXPECT_EQ(s.fillRate.nightFrom, FillRatePattern{}.nightFrom);
    EXPECT_EQ(s.initialVolume, p.initialVolume.value);
    EXPECT_FALSE(s.voiding.capacity);
}

TEST(ScenarioPatient, ANewbornVoidsByNightAsByDay) {
    const Scenario s =
        read({{"radiopharmaceutical", kMag3}, {"patient", {{"age", 0}}}, {"end_time", 1440}})
            .scenario;
    EXPECT_TRUE(s.voiding.regular.nightVoids);
    EXPECT_EQ(s.fillRate.nightRate, s.fillRate.dayRate);
    const ScenarioResult r = computeScenario(s, test::shippedRule());
    // From 09:00 through the night: a void every interval, or earlier when full.
    ASSERT_GE(r.voids.back().time, 1440);
    EXPECT_LE(r.voids[0].time, s.voiding.firstVoid);
    for (std::size_t i = 1; i < r.voids.size(); ++i) {
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
        {{{"patient", {{"sex", "female"}}}}, "patient.age"},
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
        EXPECT_EQ(test::refusedAt([&] { read(document); }), c.path) << c.change.dump();
    }
}

TEST(ScenarioPatient, CliPrintsThePatientAsAFragmentThatReadsBack) {
    const test::CliRun run = test::cli({"--patient", "5,female", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json printed = json::parse(run.out);
    json fragment = printed["scenario"];
    fragment["radiopharmaceutical"] = kMag3;
    EXPECT_EQ(read(fragment).scenario,
              read({{"radiopharmaceutical", kMag3}, {"patient", {{"age", 5}, {"sex", "female"}}}})
                  .scenario);
    EXPECT_EQ(printed["patient"]["values"].size(), 12u);
    for (const auto& value : printed["patient"]["values"]) {
        for (const auto& key : value["sources"]) EXPECT_TRUE(printed["sources"].contains(key));
    }
    for (const char* bad : {"abc", "5,other", "101", "5,"})
        EXPECT_EQ(test::cli({"--patient", bad}).status, 2) << bad;
}

}  // namespace
