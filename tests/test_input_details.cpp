// Details at the doors: names that cannot forge report lines, refusals that name the right
// key, --output for every output, and a user's library that loads with its duplicate names
// found.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "library/radiopharmaceuticals.h"
#include "library/workbench.h"
#include "support.h"

using namespace orvane;
namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("orvane-details-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

nlohmann::json exampleScenario() {
    std::ifstream in(ORVANE_SOURCE_DIR "/examples/two-hour-voiding-lu177-psma.json");
    return nlohmann::json::parse(in);
}

struct CliOutcome {
    int status;
    std::string out, err;
};

CliOutcome cliWith(const nlohmann::json& scenario, std::vector<std::string> more = {}) {
    const fs::path file = scratch("scenario.json");
    std::ofstream(file) << scenario.dump();
    std::vector<std::string> arguments{"--data", test::shippedDataFile().string(), "--scenario",
                                       file.string()};
    arguments.insert(arguments.end(), more.begin(), more.end());
    std::ostringstream out, err;
    const int status = runCli(arguments, out, err, nullptr);
    return {status, out.str(), err.str()};
}

}  // namespace

TEST(InputDetails, NamesOnEveryPathKeepToOneLine) {
    const std::string forged = "X\nBladder wall dose: 9.99E+99";
    struct Case {
        const char* what;
        void (*plant)(nlohmann::json&, const std::string&);
    };
    const Case cases[] = {
        {"scenario name", [](nlohmann::json& s, const std::string& n) { s["name"] = n; }},
        {"typed-in name",
         [](nlohmann::json& s, const std::string& n) { s["radiopharmaceutical"]["name"] = n; }},
        {"library-name override",
         [](nlohmann::json& s, const std::string& n) {
             s["radiopharmaceutical"] = {{"library", "Lu-177 PSMA-617"}, {"name", n}};
         }},
    };
    for (const Case& c : cases) {
        for (const char* format : {"", "--json"}) {
            nlohmann::json scenario = exampleScenario();
            c.plant(scenario, forged);
            const CliOutcome run = cliWith(scenario, *format ? std::vector<std::string>{format}
                                                      : std::vector<std::string>{});
            ASSERT_EQ(run.status, kCliOk) << c.what << run.err;
            EXPECT_EQ(run.out.find("\nBladder wall dose: 9.99E+99"), std::string::npos) << c.what;
            EXPECT_EQ(run.out.find("\\nBladder wall dose: 9.99E+99"), std::string::npos)
                << c.what;
        }
    }
    // A user's library entry and its aliases.
    LibraryEntry entry = entryFromFields(standardFieldTexts(test::shippedData().library[0]).fields,
                                         "Tc-99m own");
    entry.values.name = forged;
    entry.aliases = {"alias\rBladder"};
    const std::vector<LibraryEntry> read = parseLibraryFile(libraryFileText({entry}), "own.json");
    EXPECT_EQ(read.at(0).name(), "X Bladder wall dose: 9.99E+99");
    EXPECT_EQ(read.at(0).aliases.at(0), "alias Bladder");
}

TEST(InputDetails, RefusalsNameTheKeyAtFault) {
    struct Case {
        const char* what;
        void (*plant)(nlohmann::json&);
        const char* key;
    };
    const Case cases[] = {
        {"rate constant too small for a half-life",
         [](nlohmann::json& s) {
             auto& c = s["radiopharmaceutical"]["components"][0];
             c["rate_constant"] = 1e-320;
             c.erase("half_life");
         },
         "radiopharmaceutical.components[0].rate_constant:"},
        {"a dose in mGy beyond any number",
         [](nlohmann::json& s) {
             s["radiopharmaceutical"]["delta"] = 1.0;
             s["administered_activity"] = 1.7e308;
         },
         "administered_activity:"},
    };
    for (const Case& c : cases) {
        for (const char* format : {"", "--json"}) {
            nlohmann::json scenario = exampleScenario();
            c.plant(scenario);
            const CliOutcome run = cliWith(scenario, *format ? std::vector<std::string>{format}
                                                      : std::vector<std::string>{});
            EXPECT_EQ(run.status, kCliRefused) << c.what << run.out;
            EXPECT_NE(run.err.find(c.key), std::string::npos) << c.what << ": " << run.err;
            EXPECT_EQ(run.out.find("inf"), std::string::npos) << c.what;
        }
    }
}

TEST(InputDetails, OutputFileTakesHelpAndVersionToo) {
    for (const char* option : {"--help", "--version"}) {
        const fs::path file = scratch(std::string(option + 2) + ".txt");
        std::ostringstream out, err;
        ASSERT_EQ(runCli({option, "--output", file.string()}, out, err, nullptr), kCliOk);
        EXPECT_EQ(out.str(), "") << option;
        EXPECT_NE(test::readFile(file).find("orvane-cli"), std::string::npos) << option;
    }
}

TEST(InputDetails, DuplicateNamesInALargeUserLibraryAreFound) {
    // The index that keeps loading linear must find a name however it is written.
    std::vector<LibraryEntry> entries(300);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i] = entryFromFields(standardFieldTexts(test::shippedData().library[0]).fields,
                                     "Tc-99m own " + std::to_string(i));
        entries[i].aliases = {"alias " + std::to_string(i)};
    }
    entries.back().aliases = {"99mTc OWN 17"};
    EXPECT_THROW(parseLibraryFile(libraryFileText(entries), "own.json"), DataFileError);
    entries.back().aliases = {"Tc-99m DTPA"};  // a standard's name
    const fs::path file = scratch("library.json");
    fs::remove(file);
    ASSERT_TRUE(writeUserLibrary(file, entries).ok);
    const Workbench bench(test::shippedData(),
                          {ORVANE_SOURCE_DIR "/data/radiopharmaceuticals.json", file});
    EXPECT_EQ(bench.user().size(), entries.size() - 1);
    EXPECT_EQ(bench.resolve("tc99m own 42").entry.name(), "Tc-99m own 42");
    EXPECT_EQ(bench.resolve("ALIAS 7").entry.name(), "Tc-99m own 7");
    EXPECT_NE(bench.refusedUserName("alias 3"), "");
    EXPECT_EQ(bench.refusedUserName("alias 3", "Tc-99m own 3"), "");
    std::vector<LibraryEntry> clash = bench.user();
    clash[1].values.name = "ALIAS 0";
    const WriteOutcome refused = bench.saveUserEntries(clash);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("names both"), std::string::npos) << refused.message;
}
