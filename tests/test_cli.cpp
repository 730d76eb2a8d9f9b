// orvane-cli: the same results as the window, the outputs, and its exit statuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "engine/calculation.h"
#include "engine/numtext.h"
#include "engine/version.h"
#include "library/json_reader.h"
#include "library/radiopharmaceuticals.h"
#include "library/standards.h"
#include "report/results_file.h"
#include "support.h"

using namespace orvane;
namespace fs = std::filesystem;

namespace {

using test::cli;
using test::CliRun;

const std::string kDataFile = test::shippedDataFile().string();

}  // namespace

TEST(Cli, EveryStandardGivesTheWindowsResultsFile) {
    const StandardData& data = test::shippedData();
    for (int k = 0; k < kStandardCount; ++k) {
        const CliRun run = cli({"--standard", std::to_string(k)});
        ASSERT_EQ(run.status, kCliOk) << k << run.err;
        // The window calculates from the displayed, rounded texts of the standard.
        const StandardFieldTexts texts = standardFieldTexts(data.library[k]);
        const DoseResults results = RunCalculation(texts.fields, texts.name, data.tables);
        EXPECT_EQ(run.out, resultsFileText(results)) << kStandardNames[k];
    }
    EXPECT_EQ(cli({"--standard", "Tc-99m DTPA"}).out, cli({"--standard", "1"}).out);
}

TEST(Cli, TypedFieldsOverrideTheStandardAndNameTheReport) {
    const CliRun typed =
        cli({"--f1", "1", "--k1", "4.01E-02", "--tb1", "1.73E+01", "--tp", "3.61E+02", "--delta",
             "2.60E-06", "--gamma", "5.56E-05", "--name", "My tracer"});
    ASSERT_EQ(typed.status, kCliOk) << typed.err;
    // Same numbers and name as MAG3's displayed texts renamed: the same file.
    const CliRun mag3 = cli({"--standard", "7", "--name", "My tracer"});
    EXPECT_EQ(typed.out, mag3.out);

    const CliRun edited = cli({"--standard", "7", "--tp", "6.00E+03"});
    EXPECT_NE(edited.out.find("Physical Half Life: \t6.00E+03 min"), std::string::npos);
    EXPECT_NE(edited.out.find("Radiopharmaceutical: \tTc-99m MAG3"), std::string::npos);
}

TEST(Cli, OutputsTheScheduleTheCsvAndTheEstimate) {
    const CliRun schedule = cli({"--standard", "1", "--schedule", "2"});
    EXPECT_EQ(cli({"--standard", "1", "--schedule", "1.0"}).out, schedule.out);
    EXPECT_NE(schedule.out.find("Bladder Fill Rates: 1./0.5 ml/min, day/night\r\n"),
              std::string::npos);
    EXPECT_EQ(std::count(schedule.out.begin(), schedule.out.end(), '\n'), 11 + 7);

    const StandardData& data = test::shippedData();
    const StandardFieldTexts texts = standardFieldTexts(data.library[1]);
    const DoseResults results = RunCalculation(texts.fields, texts.name, data.tables);
    std::istringstream lines(cli({"--standard", "1", "--csv"}).out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line,
              "schedule,V0_ml,T0_min,dose_mGy_per_MBq,day_rate_ml_per_min,night_rate_ml_per_min,"
              "name");
    const std::array<std::string, 3> rates{",0.5,0.25,", ",1,0.5,", ",1.5,0.75,"};
    int row = 0;
    for (; std::getline(lines, line); ++row) {
        const int s = row / 63, v = row % 63 / 9, t = row % 9;
        const std::string head = std::to_string(s + 1) + "," +
                                 formatPlain(data.tables.v0Grid[v]).substr(1) + "," +
                                 formatPlain(data.tables.t0Grid[t]).substr(1) + ",";
        ASSERT_EQ(line.substr(0, head.size()), head);
        ASSERT_EQ(line.substr(line.size() - rates[s].size() - 11), rates[s] + "Tc-99m DTPA");
        // 17 significant digits read back as the exact double.
        EXPECT_EQ(textToNumber(line.substr(head.size())), results.tables[s].at(t, v));
    }
    EXPECT_EQ(row, 189);
    // A name that holds the separator or quotes is one quoted field.
    const std::string quoted = cli({"--standard", "1", "--csv", "--name", "A, \"B\""}).out;
    EXPECT_NE(quoted.find(",0.25,\"A, \"\"B\"\"\"\n"), std::string::npos) << quoted;
    // With --schedule, the rows of that schedule only.
    const std::string third = cli({"--standard", "1", "--csv", "--schedule", "1.5"}).out;
    EXPECT_EQ(std::count(third.begin(), third.end(), '\n'), 1 + 63);
    EXPECT_EQ(third.substr(third.find('\n') + 1, 2), "3,");
    EXPECT_EQ(cli({"--standard", "1", "--estimate"}).out, "<1 minute\n");
    EXPECT_NE(cli({"--list"}).out.find("19\tSr-89 Cl\n"), std::string::npos);
}

TEST(Cli, FindsStandardsByNameAsTypedAndKeepsNamesOnTheirLine) {
    // --standard resolves as --agent does (Workbench::resolve; the spellings are the front
    // door's table): a name as typed gives the standard's table.
    EXPECT_EQ(cli({"--standard", "f18 FDG", "--csv"}).out, cli({"--standard", "0", "--csv"}).out);
    // A name with line breaks cannot add a line to the report or the results file.
    const fs::path file = fs::temp_directory_path() / ("orvane-name-" + std::to_string(::getpid()));
    for (const auto& output :
         std::vector<std::vector<std::string>>{{"--schedule", "1"}, {"--output", file.string()}}) {
        std::vector<std::string> lines;
        for (const std::string name : {"plain", "A\r\nFraction 1: 9.99E+99\r\nB"}) {
            std::vector<std::string> arguments{"--standard", "7", "--name", name};
            arguments.insert(arguments.end(), output.begin(), output.end());
            const CliRun run = cli(arguments);
            lines.push_back(output[0] == "--output" ? test::readFile(file) : run.out);
        }
        EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\n'),
                  std::count(lines[0].begin(), lines[0].end(), '\n'));
        EXPECT_NE(lines[1].find("Radiopharmaceutical: \tA  Fraction 1: 9.99E+99  B\r\n"),
                  std::string::npos);
    }
    fs::remove(file);
    // Options and values are quoted in messages with their control characters escaped.
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--bo\x1b[2Jgus"}, {"--standard", "x\x1b]0;title\a"}}) {
        const CliRun run = cli(arguments);
        EXPECT_EQ(run.status, kCliRefused);
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
        EXPECT_NE(run.err.find("\\x1b"), std::string::npos) << run.err;
    }
}

TEST(Cli, JsonRecordsEveryInputAndEveryDoseExactly) {
    const CliRun run =
        cli({"--standard", "1", "--tp", "6.01E+03", "--name", "My \"DTPA\"", "--json"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    const nlohmann::json record = nlohmann::json::parse(run.out);
    EXPECT_EQ(record["program"], "orvane-cli");
    EXPECT_EQ(record["version"], kVersion);
    EXPECT_EQ(record["calculated_utc"].get<std::string>().size(), 20u);
    EXPECT_EQ(record["data_file"], kDataFile);

    // The record reproduces the calculation: its field texts give the same doses.
    const StandardData data = LoadStandardData(kDataFile);
    FieldTexts fields;
    for (int f = 0; f < kFieldCount; ++f) fields[f] = record["input"]["fields"][kFieldKeys[f]];
    EXPECT_EQ(fields[12], "6.01E+03");
    EXPECT_EQ(fields[0], standardFieldTexts(data.library[1]).fields[0]);
    const DoseResults results = RunCalculation(fields, "My \"DTPA\"", data.tables);
    const nlohmann::json& input = record["input"];
    EXPECT_EQ(input["name"], "My \"DTPA\"");
    EXPECT_EQ(input["physical_half_life_min"], 6010.0);
    EXPECT_EQ(input["components"][1]["rate_constant_per_min"], results.parameters.rateConstant[1]);
    EXPECT_EQ(input["delta_mGy_kg_per_MBq_s"], 2.6e-06);
    EXPECT_EQ(record["grids"]["T0_min"][8], data.tables.t0Grid[8]);
    EXPECT_EQ(record["grids"]["quadrature_weights"][7], data.tables.quadratureWeights[7]);
    int doses = 0;
    for (int s = 0; s < kScheduleCount; ++s) {
        const nlohmann::json& schedule = record["schedules"][s];
        EXPECT_EQ(schedule["schedule"], s + 1);
        EXPECT_EQ(schedule["night_rate_ml_per_min"], kFillRateSchedules[s].nightRate);
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t, ++doses) {
                EXPECT_EQ(schedule["doses_mGy_per_MBq"][v][t].get<double>(),
                          results.tables[s].at(t, v));
            }
        }
    }
    EXPECT_EQ(doses, 189);
    // Bytes that are not UTF-8 cannot stop the record.
    EXPECT_EQ(cli({"--standard", "1", "--name", "\xff", "--json"}).status, kCliOk);
}

TEST(Cli, SavesThroughTheAtomicWriterAndReportsFailures) {
    const test::ScratchFolder scratch;
    const fs::path& folder = scratch.path;
    // --output takes whatever would have been printed.
    for (const auto& mode : std::vector<std::vector<std::string>>{
             {"--standard", "1", "--csv"}, {"--list"}, {"--version"}}) {
        std::vector<std::string> arguments = mode;
        arguments.insert(arguments.end(), {"--output", (folder / "out.txt").string()});
        const CliRun saved = cli(arguments);
        EXPECT_EQ(saved.status, kCliOk) << saved.err;
        EXPECT_EQ(saved.out, "");
        EXPECT_EQ(test::readFile(folder / "out.txt"), cli(mode).out) << mode.back();
    }

    const CliRun intoFolder = cli({"--standard", "1", "--output", folder.string()});
    EXPECT_EQ(intoFolder.status, kCliFileError);
    EXPECT_NE(intoFolder.err.find(folder.string()), std::string::npos) << intoFolder.err;

    const CliRun noData =
        cli({"--data", (folder / "missing.dat").string(), "--standard", "1"}, {}, false);
    EXPECT_EQ(noData.status, kCliFileError);
    EXPECT_NE(noData.err.find("missing.dat"), std::string::npos);

    // A grid of the data file that the model cannot use is a file problem too.
    std::string numbers = test::readFile(kDataFile);
    numbers.replace(numbers.find("\n10, 50, 100"), 12, "\n0, 50, 100");
    std::ofstream(folder / "zero-volume.dat", std::ios::binary) << numbers;
    const CliRun badGrid =
        cli({"--data", (folder / "zero-volume.dat").string(), "--standard", "1"}, {}, false);
    EXPECT_EQ(badGrid.status, kCliFileError);
    EXPECT_NE(badGrid.err.find("V0"), std::string::npos) << badGrid.err;
}

TEST(Cli, RefusesBadUsageAndUndefinedInputWithStatusTwo) {
    // The arguments, and what the message must say.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--bogus"}, "--bogus"},
        {{"--standard"}, "--standard"},
        {{"--standard", "20"}, "no standard \"20\""},
        {{"--standard", "Tc-99"}, "no standard"},
        {{"--schedule", "0"}, "--schedule: schedules are numbered from 1, not 0"},
        {{"--schedule", "4"}, "give 1, 2 or 3, or the day rate 0.5, 1.0 or 1.5"},
        {{"--schedule", "2.0"}, "--schedule"},
        {{"stray"}, "stray"},
        {{"--csv", "--estimate"}, "exclude each other"},
        {{"--list", "--schedule", "1"}, "exclude each other"},
        {{"--list=yes"}, "--list takes no value"},
        {{"--list", "--list"}, "--list: given more than once"},
        {{"--standard", "1", "--k1=2", "--k1", "3"}, "--k1: given more than once"},
        {{"--standard", "1", "--output", ""}, "--output: the value is empty"},
        {{"--standard", "1", "--name="}, "--name: the value is empty"},
        {{"--data", "", "--list"}, "--data: the value is empty"},
        {{"--all"}, "--all goes with --list"},
        {{"--standard", "1", "--agent", "Pluvicto"}, "exclude each other"},
        {{"--agent", "Tc-99m MAG"},
         "--agent: no standard or library entry \"Tc-99m MAG\"; did "
         "you mean Tc-99m MAG3?"},
        {{"--standard", "Pluvicto"}, "names the library entry \"Lu-177 PSMA-617\" (use --agent)"},
    };
    for (const auto& [arguments, message] : cases) {
        const CliRun run = cli(arguments);
        EXPECT_EQ(run.status, kCliRefused) << arguments[0];
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    const CliRun empty = cli({});
    EXPECT_EQ(empty.status, kCliRefused);
    EXPECT_NE(empty.err.find("Physical Half-Life (min)"), std::string::npos) << empty.err;

    const CliRun negative = cli({"--standard", "1", "--k2", "-1"});
    EXPECT_EQ(negative.status, kCliRefused);
    EXPECT_NE(negative.err.find("Biological Rate Constant (min^-1), component 2"),
              std::string::npos);

    EXPECT_EQ(cli({"--help"}).status, kCliOk);
    EXPECT_EQ(cli({"--version"}, {}, false).out.rfind("orvane-cli ", 0), 0u);
}

// --agent calculates a library entry as the window shows it once chosen; the field options
// override it, and an entry's warnings go to standard error.
TEST(Cli, LibraryEntriesByNameOrAliasAndInTheList) {
    const StandardData data = LoadStandardData(kDataFile);
    const std::vector<LibraryEntry> shipped =
        loadLibraryFile(fs::path(ORVANE_SOURCE_DIR) / "data" / "radiopharmaceuticals.json");
    const LibraryEntry& lutetium = *findEntry(shipped, "Lu-177 PSMA-617");
    StandardFieldTexts texts = standardFieldTexts(lutetium.values);
    const CliRun byAlias = cli({"--agent", "pluvicto"});
    ASSERT_EQ(byAlias.status, kCliOk) << byAlias.err;
    EXPECT_EQ(byAlias.out, resultsFileText(RunCalculation(texts.fields, texts.name, data.tables)));
    EXPECT_TRUE(byAlias.err.empty()) << byAlias.err;

    texts.fields[0] = "0.5";
    EXPECT_EQ(cli({"--agent", "177Lu-PSMA-617", "--f1", "0.5", "--name", "x"}).out,
              resultsFileText(RunCalculation(texts.fields, "x", data.tables)));

    const CliRun actinium = cli({"--agent", "Ac-225 PSMA-617", "--estimate"});
    EXPECT_EQ(actinium.status, kCliOk);
    EXPECT_NE(actinium.err.find("warning: Ac-225 PSMA-617: Alpha emitter"), std::string::npos)
        << actinium.err;

    const std::string list = cli({"--list", "--all"}).out;
    EXPECT_NE(list.find("19\tSr-89 Cl\tconfidence L-M\n"), std::string::npos);
    EXPECT_NE(list.find("library\tF-18 fluoroestradiol\tconfidence L, recalled, inverted\n"),
              std::string::npos)
        << list;

    // A scenario file names the entry; one the library lacks is refused by its key path.
    nlohmann::json scenario = nlohmann::json::parse(test::readFile(
        fs::path(ORVANE_SOURCE_DIR) / "examples" / "two-hour-voiding-lu177-psma.json"));
    scenario["radiopharmaceutical"] = {{"library", "Lu-177 PSMA-617"}};
    const CliRun fromLibrary = cli({"--scenario", "-"}, scenario.dump());
    EXPECT_EQ(fromLibrary.status, kCliOk) << fromLibrary.err;
    EXPECT_NE(fromLibrary.out.find("Lu-177 PSMA-617"), std::string::npos);
    scenario["radiopharmaceutical"] = {{"library", "Lu-178 PSMA"}};
    const CliRun missing = cli({"--scenario", "-"}, scenario.dump());
    EXPECT_EQ(missing.status, kCliRefused);
    EXPECT_NE(missing.err.find("radiopharmaceutical.library"), std::string::npos) << missing.err;
}

// --scenario: every shipped example as text and CSV (its JSON is the examples' golden test).
TEST(Cli, ScenarioEveryExampleInEveryForm) {
    int examples = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVANE_SOURCE_DIR) / "examples")) {
        if (entry.path().extension() != ".json") continue;
        ++examples;
        const std::string file = entry.path().string();
        const CliRun text = cli({"--scenario", file});
        ASSERT_EQ(text.status, kCliOk) << file << text.err;
        EXPECT_NE(text.out.find("Bladder wall dose: "), std::string::npos);

        // With an uncertainty section, --csv prints the samples instead of the time course; with
        // measurements, the fit's residuals.
        const CliRun csv = cli({"--scenario", file, "--csv"});
        ASSERT_EQ(csv.status, kCliOk) << file << csv.err;
        const nlohmann::json document = nlohmann::json::parse(test::readFile(file));
        const char* header = document.contains("uncertainty") ? "sample,"
                             : document.contains("fit")       ? "kind,index,at_min,"
                                                              : "time_min,clock,";
        EXPECT_EQ(csv.out.rfind(header, 0), 0u) << file;
    }
    EXPECT_EQ(examples, 7);
}

TEST(Cli, ScenarioRefusedUnreadableAndMisusedExitAsDocumented) {
    const std::string good = R"({"radiopharmaceutical": {"standard": 1}, "initial_volume": 50,
        "fill_rate": {"day": 1}, "voiding": {"voids": [60, 200]}})";
    const fs::path output = fs::temp_directory_path() / "orvane-cli-scenario-output.json";
    fs::remove(output);
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--scenario", "-"},
         R"({"radiopharmaceutical": {"standard": 1}, "initial_volume": -5})",
         kCliRefused,
         "initial_volume: expected a positive"},
        {{"--scenario", "-"}, "{", kCliRefused, "line 1"},
        {{"--scenario", "-"},
         good + std::string("\0 {", 3),
         kCliRefused,
         "standard input: line 2, column 66: a NUL byte"},
        {{"--scenario", "-"}, good + "{}", kCliRefused, "content after the end"},
        {{"--scenario", "-"},
         std::string(kMaxJsonFileBytes + 1, ' '),
         kCliFileError,
         "standard input: cannot read: the file is larger than 16 MB"},
        {{"--scenario", "/nonexistent/scenario.json"},
         "",
         kCliFileError,
         "/nonexistent/scenario.json: cannot read: "},
        // What else is no file is JsonReader's; the status is one.
        {{"--scenario", "-", "--standard", "3"}, good, kCliRefused, "--scenario"},
        {{"--scenario", "-", "--time-course", "5"}, good, kCliRefused, "--time-course"},
        {{"--scenario", "-", "--csv", "--time-course", "0"}, good, kCliRefused, "--time-course"},
        {{"--standard", "1", "--time-course", "5"}, "", kCliRefused, "--scenario"},
        {{"--scenario", "-", "--json", "--output", output.string()}, good, kCliOk, ""},
        // A dose in mGy beyond any double, not "inf mGy"; a half-life beyond any double,
        // blamed on the rate constant it comes from.
        {{"--scenario", "-", "--json"},
         R"({"radiopharmaceutical": {"components": [{"fraction": 1, "rate_constant": 0.01}],
             "physical_half_life": 6000, "delta": 1, "gamma": 0}, "initial_volume": 50,
             "administered_activity": 1.7e308, "fill_rate": {"day": 1},
             "voiding": {"voids": [60, 200]}})",
         kCliRefused,
         "administered_activity: the dose in mGy for this activity is too large"},
        {{"--scenario", "-"},
         R"({"radiopharmaceutical": {"components": [{"fraction": 1, "rate_constant": 1e-320}],
             "physical_half_life": 6000, "delta": 1, "gamma": 0}, "initial_volume": 50,
             "fill_rate": {"day": 1}, "voiding": {"voids": [60, 200]}})",
         kCliRefused,
         "radiopharmaceutical.components[0].rate_constant: too small"},
    };
    for (const Case& c : cases) {
        const CliRun run = cli(c.arguments, c.input);
        EXPECT_EQ(run.status, c.status) << c.arguments[0] << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    std::ifstream written(output);
    EXPECT_EQ(nlohmann::json::parse(written)["voids"].size(), 2u);
    fs::remove(output);
    // A folder given as standard input is a read error, not an empty document.
    std::ifstream folder(ORVANE_SOURCE_DIR);
    std::ostringstream out, err;
    EXPECT_EQ(runCli({"--data", kDataFile, "--scenario", "-"}, out, err, &folder), kCliFileError);
    EXPECT_NE(err.str().find(std::string("standard input: cannot read: ") + std::strerror(EISDIR)),
              std::string::npos)
        << err.str();
}

// An uncertainty section: the analysis in the report and under "uncertainty" in the JSON,
// the samples as CSV, and its refusals with the key path.
TEST(Cli, ScenarioUncertainty) {
    const std::string scenario = R"({"radiopharmaceutical": {"standard": "Tc-99m MAG3"},
        "initial_volume": 50, "fill_rate": {"day": 1.0},
        "voiding": {"pattern": "regular", "first_void": 60, "interval": 150},
        "uncertainty": {"samples": 300, "seed": 2, "vary": )";
    const std::string population = scenario + R"("population"}})";
    const CliRun text = cli({"--scenario", "-"}, population);
    ASSERT_EQ(text.status, kCliOk) << text.err;
    EXPECT_NE(text.out.find("Uncertainty (300 samples, seed 2)"), std::string::npos);

    const CliRun json = cli({"--scenario", "-", "--json"}, population);
    ASSERT_EQ(json.status, kCliOk) << json.err;
    const nlohmann::json result = nlohmann::json::parse(json.out);
    const nlohmann::json& u = result["uncertainty"];
    EXPECT_EQ(u["samples_used"].get<int>() + u["samples_rejected"].get<int>(), 300);

    const CliRun csv = cli({"--scenario", "-", "--csv"}, population);
    ASSERT_EQ(csv.status, kCliOk) << csv.err;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 301);

    // The section's refusals are UncertaintySection's; here their exit status.
    const CliRun refused =
        cli({"--scenario", "-"}, scenario + R"({"voiding.voids[0]": {"uniform": [1, 2]}}}})");
    EXPECT_EQ(refused.status, kCliRefused);
    EXPECT_NE(refused.err.find(R"(uncertainty.vary["voiding.voids[0]"])"), std::string::npos)
        << refused.err;
    EXPECT_EQ(cli({"--scenario", "-", "--csv", "--time-course", "5"}, population).status,
              kCliRefused);
}
