// The front door: a name, a damaged library and a doubtful scenario get the same answer from the
// workbench and from orvane-cli (tests/python/test_orvane.py asks the module the same).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "library/install_paths.h"
#include "library/workbench.h"
#include "report/scenario_report.h"
#include "support.h"

using namespace orvane;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using test::cli;
using test::CliRun;

json dataFile(const char* name) {
    return json::parse(test::readFile(fs::path(ORVANE_TEST_DATA) / name));
}

// A user's library of the test's own (XDG_DATA_HOME), written from the spellings file.
class FrontDoor : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("orvane-front-door-" + std::to_string(getpid()));
        fs::create_directories(folder / "orvane");
        ASSERT_EQ(setenv("XDG_DATA_HOME", folder.c_str(), 1), 0);
        const json shipped = json::parse(test::readFile(shippedFile()));
        json user = shipped;
        user["entries"] = json::array();
        const json spellings = dataFile("name-spellings.json");
        for (const json& made : spellings["user_entries"]) {
            for (json entry : shipped["entries"]) {
                if (entry["name"] != made["copy_of"]) continue;
                entry["name"] = made["name"];
                entry["aliases"] = made["aliases"];
                entry.erase("warnings");
                user["entries"].push_back(entry);
            }
        }
        std::ofstream(userFile()) << user.dump(2);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(folder);
    }
    static fs::path shippedFile() { return shippedLibraryPathFor(executableDirectory()); }
    fs::path userFile() const { return folder / "orvane" / "radiopharmaceuticals.json"; }
    Workbench workbench() const {
        return Workbench(test::shippedData(), {shippedFile(), userFile()});
    }

    fs::path folder;
};

TEST_F(FrontDoor, OneTableOfSpellingsResolvesAlikeThroughTheWorkbenchAndOrvaneCli) {
    const Workbench bench = workbench();
    const json spellings = dataFile("name-spellings.json");
    for (const json& spelling : spellings["spellings"]) {
        const json& query = spelling["query"];
        const std::string text = query.is_string() ? query.get<std::string>() : query.dump();
        SCOPED_TRACE(text);
        const CliRun run = cli({"--agent", text, "--json"});
        if (spelling.contains("refused")) {
            const std::string words = spelling["refused"];
            const auto refusal = test::thrown<NameError>([&] { bench.resolve(text); });
            ASSERT_TRUE(refusal);
            EXPECT_NE(std::string(refusal->what()).find(words), std::string::npos)
                << refusal->what();
            EXPECT_EQ(run.status, kCliRefused);
            EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
            continue;
        }
        const ResolvedEntry resolved =
            query.is_string() ? bench.resolve(text) : bench.standard(query.get<int>());
        EXPECT_EQ(resolved.entry.name(), spelling["entry"]);
        ASSERT_EQ(run.status, kCliOk) << run.err;
        const json record = json::parse(run.out);
        EXPECT_EQ(record["input"]["name"], spelling["entry"]);
        const std::vector<Warning> warnings =
            bench.tableWarnings(standardFieldTexts(resolved.entry.values).fields, &resolved);
        EXPECT_EQ(record["warnings"], warningsJson(warnings));
        const std::string warned = spelling.value("warned", "");
        EXPECT_EQ(!warned.empty(),
                  run.err.find(warned) != std::string::npos &&
                      record["warnings"].dump().find("set aside") != std::string::npos)
            << run.err;
    }
    // A scenario's {"standard": ...} in text resolves by the same rule: to the same standard,
    // to the same refusal, or to a refusal that names the library entry it found instead.
    for (const json& spelling : spellings["spellings"]) {
        const json& query = spelling["query"];
        const std::string text = query.is_string() ? query.get<std::string>() : query.dump();
        SCOPED_TRACE(text);
        json document = json::parse(R"({"initial_volume": 60, "residual_volume": 10,
            "fill_rate": {"day": 1.0, "night": 0.5, "night_from": "00:00", "night_to": "06:00"},
            "voiding": {"pattern": "regular", "first_void": 45, "interval": 120,
                        "bedtime": "23:00", "wake": "07:00"}, "end_time": 600})");
        document["radiopharmaceutical"] = {{"standard", text}};
        std::optional<ResolvedEntry> resolved;
        try {
            resolved = bench.resolve(text);
        } catch (const NameError&) {
        }
        const bool standard = resolved && resolved->origin == EntryOrigin::Standard;
        try {
            const ScenarioInput input = bench.readScenario(document);
            EXPECT_TRUE(standard);
            EXPECT_EQ(input.scenario.radiopharmaceutical.name, spelling.value("entry", ""));
        } catch (const ScenarioError& e) {
            EXPECT_FALSE(standard) << e.what();
            EXPECT_EQ(e.path(), "radiopharmaceutical.standard");
            const std::string words = resolved ? "not a standard" : spelling.value("refused", "");
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    }
    // The entry that takes a standard's name is offered nowhere, and said to be set aside.
    const std::vector<std::string> names = bench.choiceNames();
    EXPECT_EQ(names.size(), kStandardCount + bench.shipped().size() + 1);
    EXPECT_EQ(names.back(), "My tracer");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Tc-99m MAG3"), 1);
    ASSERT_EQ(bench.problems().size(), 1u);
    EXPECT_NE(bench.problems()[0].find(userFile().string()), std::string::npos);
}

TEST_F(FrontDoor, AUserEntryCannotBeSavedUnderATakenName) {
    const Workbench bench = workbench();
    const std::string before = test::readFile(userFile());
    const LibraryEntry tracer = bench.user().front();
    for (const char* taken : {"99mTc mag3", "PLUVICTO", "tracy"}) {
        LibraryEntry entry = tracer;
        entry.values.name = "Another";
        entry.aliases = {taken};
        std::vector<LibraryEntry> entries = bench.userFileEntries();
        entries.push_back(entry);
        const WriteOutcome outcome = bench.saveUserEntries(entries);
        EXPECT_FALSE(outcome.ok) << taken;
        EXPECT_EQ(test::readFile(userFile()), before);
    }
    // The window's rename check asks the same.
    EXPECT_NE(bench.refusedUserName("99mTc-MAG3"), "");
    EXPECT_NE(bench.refusedUserName("Tracy", "Another"), "");
    EXPECT_EQ(bench.refusedUserName("my tracer", "My tracer"), "");
    // The entries already there are written back as they were, the new one with them.
    LibraryEntry fresh = tracer;
    fresh.values.name = "Another";
    fresh.aliases.clear();
    std::vector<LibraryEntry> entries = bench.userFileEntries();
    entries.push_back(fresh);
    ASSERT_TRUE(bench.saveUserEntries(entries).ok);
    EXPECT_EQ(loadLibraryFile(userFile()), entries);
}

TEST_F(FrontDoor, ADamagedUserLibraryIsNamedByEveryMiss) {
    // Without a folder for it, nothing was set aside, and "library" is said once.
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    const CliRun homeless = cli({"--agent", "my tracer", "--estimate"});
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
    ASSERT_EQ(setenv("XDG_DATA_HOME", folder.c_str(), 1), 0);
    EXPECT_NE(homeless.err.find("; your library is not read: it has no folder: neither "
                                "XDG_DATA_HOME nor HOME is set\n"),
              std::string::npos)
        << homeless.err;

    std::ofstream(userFile()) << "{\"format\": ";
    const Workbench bench = workbench();
    EXPECT_EQ(bench.resolve("pluvicto").entry.name(), "Lu-177 PSMA-617");
    const CliRun run = cli({"--agent", "my tracer", "--estimate"});
    EXPECT_EQ(run.status, kCliRefused);
    const auto miss = test::thrown<NameError>([&] { bench.resolve("my tracer"); });
    ASSERT_TRUE(miss);
    for (const std::string& said : {std::string(miss->what()), run.err}) {
        EXPECT_NE(said.find("your library was set aside: " + userFile().string()),
                  std::string::npos)
            << said;
    }
}

// Each warned scenario warns alike through the workbench, orvane-cli's standard error (every
// form) and its --json.
TEST_F(FrontDoor, WarnedScenariosWarnInEveryFormAndInTheJson) {
    const Workbench bench = workbench();
    const QuadratureRule& rule = test::shippedRule();
    const json scenarios = dataFile("warned-scenarios.json");
    for (const json& item : scenarios["scenarios"]) {
        SCOPED_TRACE(item["scenario"]["name"].get<std::string>());
        const ScenarioInput input = bench.readScenario(item["scenario"]);
        const std::vector<Warning> warnings =
            bench.scenarioWarnings(input, computeScenario(input.scenario, rule));
        std::vector<std::string> paths;
        for (const Warning& w : warnings) paths.push_back(w.path);
        EXPECT_EQ(json(paths), item["warned"]);

        const fs::path file = folder / "scenario.json";
        std::ofstream(file) << item["scenario"].dump();
        std::string told;
        for (const Warning& w : warnings) told += "orvane-cli: warning: " + w.message + "\n";
        for (const char* form : {"--json", "--csv", "--scenario"}) {
            std::vector<std::string> arguments{"--scenario", file.string()};
            if (std::string(form) != "--scenario") arguments.push_back(form);
            const CliRun run = cli(arguments);
            ASSERT_EQ(run.status, kCliOk) << run.err;
            EXPECT_EQ(run.err, told) << form;
            if (std::string(form) == "--json") {
                EXPECT_EQ(json::parse(run.out)["warnings"], warningsJson(warnings));
            }
        }
    }
}

// A name with line breaks cannot forge a report line on any path: the scenario's name, a
// typed-in radiopharmaceutical's, the library-name override, and the user library's names,
// aliases and warnings in --list --all.
TEST_F(FrontDoor, NamesOnEveryPathKeepToOneLine) {
    const std::string forged = "X\nBladder wall dose: 9.99E+99\r";
    const json example = json::parse(test::readFile(fs::path(ORVANE_SOURCE_DIR) / "examples" /
                                                    "two-hour-voiding-lu177-psma.json"));
    json typedIn = example, override = example, named = example;
    named["name"] = forged;
    typedIn["radiopharmaceutical"]["name"] = forged;
    override["radiopharmaceutical"] = {{"library", "Lu-177 PSMA-617"}, {"name", forged}};
    const fs::path file = folder / "scenario.json";
    for (const json& scenario : {named, typedIn, override}) {
        std::ofstream(file, std::ios::trunc) << scenario.dump();
        for (const char* form : {"--scenario", "--json"}) {
            std::vector<std::string> arguments{"--scenario", file.string()};
            if (std::string(form) == "--json") arguments.push_back(form);
            const CliRun run = cli(arguments);
            ASSERT_EQ(run.status, kCliOk) << run.err;
            EXPECT_EQ(run.out.find("\nBladder wall dose: 9.99E+99"), std::string::npos);
            EXPECT_EQ(run.out.find("\\nBladder"), std::string::npos) << "JSON escapes";
        }
    }
    json user = json::parse(test::readFile(userFile()));
    user["entries"][0]["name"] = forged;
    user["entries"][0]["aliases"] = {"alias\rBladder wall dose: 1"};
    user["entries"][0]["warnings"] = {"careful\nBladder wall dose: 9.99E+99"};
    std::ofstream(userFile(), std::ios::trunc) << user.dump();
    const CliRun list = cli({"--list", "--all"});
    ASSERT_EQ(list.status, kCliOk) << list.err;
    EXPECT_EQ(list.out.find("\nBladder"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("yours\tX Bladder wall dose: 9.99E+99 \t"), std::string::npos);
    EXPECT_EQ(workbench().resolve("alias Bladder wall dose: 1").entry.name(),
              "X Bladder wall dose: 9.99E+99 ");
}

}  // namespace
