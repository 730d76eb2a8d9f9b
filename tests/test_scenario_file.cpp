// Scenario files: every refusal names its key path; a standard's table cell and its scenario
// agree; a written scenario reads back. The one JSON reader: what is no file is refused without
// waiting, and every file kind refuses a damaged text in the same words.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/calculation.h"
#include "library/json_reader.h"
#include "library/radiopharmaceuticals.h"
#include "library/scenario_file.h"
#include "library/scenario_form.h"
#include "support.h"

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
        {patched(R"({"end_time": null, "voiding": {"pattern": null, "first_void": null,
                     "interval": null, "bedtime": null, "wake": null,
                     "voids": [45, 150, {"at": 260, "residual": 500}]}})"),
         "voiding.voids[2].residual"},
        // An end that the voiding would ignore: after a diary's last void without "then",
        // and any end of the "table" pattern (its end is voiding.intervals).
        {patched(R"({"voiding": {"pattern": null, "first_void": null, "interval": null,
                     "bedtime": null, "wake": null, "voids": [45, 150, 260]}})"),
         "end_time"},
        {patched(R"({"administration_time": null, "voiding": {"pattern": "table",
                     "interval": null, "bedtime": null, "wake": null}})"),
         "end_time"},
        {patched(R"({"voiding": {"pattern": null, "first_void": null, "interval": null,
                     "bedtime": null, "wake": null, "voids": [45], "then": {"every": 3}}})"),
         "voiding.then.every"},
        {patched(R"({"voiding": {"pattern": "table", "interval": null, "bedtime": null,
                      "administration_time": null,
                     "wake": null}})"),
         "administration_time"},
        {patched(R"({"administration_time": null, "residual_volume": 300, "end_time": null,
                     "voiding":
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
    const std::string diary = patched(R"({"voiding": {"pattern": null, "first_void": null,
        "interval": null, "bedtime": null, "wake": null, "voids": [45, {"at": 150, "residual": 30}],
        "then": {"interval": 150, "bedtime": "22:30"}}, "fill_rate": {"day": null, "night": null,
        "night_from": null, "night_to": null, "steps": [{"from": 0, "rate": 2}, {"from": 90,
        "rate": 0.7}]}})");
    const Scenario s = parseScenario(diary, data);
    const Scenario back = scenarioFromJson(scenarioToJson(s), data);
    EXPECT_EQ(back.voiding, s.voiding);
    EXPECT_EQ(back.fillRate, s.fillRate);
    EXPECT_DOUBLE_EQ(computeScenario(back, rule).dose, computeScenario(s, rule).dose);

    // The scenario window's form of a file (every pattern, a standard or its own values)
    // writes it back as the same scenario.
    for (const std::string& text :
         {base.dump(), diary, scenarioToJson(s).dump(),
          patched(R"({"voiding": {"pattern": "table", "interval": null, "bedtime": null,
                      "wake": null}, "end_time": null, "administration_time": null})")}) {
        const ScenarioDocument document = ScenarioDocument::parse(text);
        const ScenarioDocument again = scenarioDocument(scenarioForm(document));
        EXPECT_TRUE(scenarioFromJson(again.json(), data) == scenarioFromJson(document.json(), data))
            << text;
    }
}

// A pipe (which would wait for a writer), a device that never ends, a file over the cap, a
// folder and a missing file: refused at once, as a read error, by the scenario and the
// library reader alike.
TEST(JsonReader, WhatIsNoFileIsRefusedAtOnce) {
    namespace fs = std::filesystem;
    const test::ScratchFolder scratch;
    const fs::path& folder = scratch.path;
    ASSERT_EQ(::mkfifo((folder / "pipe.json").c_str(), 0644), 0);
    { std::ofstream large(folder / "large.json"); }
    fs::resize_file(folder / "large.json", kMaxJsonFileBytes + 1);
    const std::pair<fs::path, std::string> cases[] = {
        {folder / "pipe.json", "not a regular file"},     {"/dev/zero", "not a regular file"},
        {folder / "large.json", "larger than 16 MB"},     {folder, std::strerror(EISDIR)},
        {folder / "missing.json", std::strerror(ENOENT)},
    };
    for (const auto& [file, reason] : cases) {
        const auto start = std::chrono::steady_clock::now();
        try {
            readScenarioText(file);
            ADD_FAILURE() << file << " was read";
        } catch (const FileReadError& e) {
            EXPECT_EQ(e.file(), file.string());
            EXPECT_EQ(e.reason().rfind("cannot read: ", 0), 0u) << e.what();
            EXPECT_NE(e.reason().find(reason), std::string::npos) << e.what();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << file;
        try {
            loadLibraryFile(file);
            ADD_FAILURE() << file << " was read";
        } catch (const DataFileError& e) {
            EXPECT_NE(e.reason().find(reason), std::string::npos) << e.what();
        }
    }
}

// A NUL byte (with text after it, which the parser would ignore), content after the document
// and a key given twice: the scenario, its uncertainty section and a library file name the
// place and the reason in the same words.
TEST(JsonReader, EveryFileKindRefusesADamagedTextInOneWording) {
    const std::string scenario = base.dump();
    const std::string section =
        scenario.substr(0, scenario.size() - 1) +
        R"(,"uncertainty": {"samples": 10, "samples": 20, "vary": "population"}})";
    const std::string library =
        R"({"format": "orvane radiopharmaceutical library", "version": 1, "entries": [
            {"name": "A", "physicalHalfLife": 100, "delta": 0, "gamma": 0}]})";
    const std::string twice = R"({"format": "orvane radiopharmaceutical library", "version": 1,
        "entries": [{"name": "A", "physicalHalfLife": 100, "delta": 0, "delta": 1, "gamma": 0}]})";
    // The column of the byte at `offset` on the document's last line.
    const auto column = [](const std::string& text, std::size_t offset) {
        return "line 2, column " + std::to_string(offset - text.rfind('\n'));
    };
    const std::string nul = "a NUL byte; a JSON file is text and holds none";
    const std::string after = "content after the end of the JSON document";
    const std::string given = "the key is given twice in one object";
    struct Case {
        std::string text;
        std::string position;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {scenario + std::string("\0{\"x\": 1}", 9),
         "line 1, column " + std::to_string(scenario.size() + 1), nul},
        {library + std::string("\0", 1), column(library, library.size()), nul},
        {scenario + "\n{}", "line 2, column 1", after},
        {library + " x", column(library, library.size() + 1), after},
        {section, "uncertainty.samples", given},
        {twice, "entries[0].delta", given},
    };
    for (const Case& c : cases) {
        std::string position, reason, message;
        try {
            if (c.text.find("orvane radiopharmaceutical library") != std::string::npos) {
                parseLibraryFile(c.text, "f.json");
            } else {
                ScenarioReadOptions options;
                options.file = "f.json";
                options.sections = {"uncertainty"};
                parseScenario(c.text, data, options);
            }
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const DataFileError& e) {
            std::tie(position, reason, message) = std::tuple(e.position(), e.reason(), e.what());
        } catch (const JsonError& e) {
            std::tie(position, reason, message) = std::tuple(e.position(), e.reason(), e.what());
        }
        EXPECT_EQ(position, c.position) << message;
        EXPECT_EQ(reason, c.reason) << message;
        EXPECT_EQ(message, "f.json: " + c.position + ": " + c.reason);
    }
}

}  // namespace
