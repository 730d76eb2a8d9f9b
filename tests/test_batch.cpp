// Cohorts: orvane-cli --batch gives each record what --scenario gives it alone, in input
// order and the same bytes for any thread count; bad records become error records; the CSV
// template's columns are checked before any row and its cells converted.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "library/batch.h"
#include "library/csv_template.h"
#include "library/json_value.h"
#include "library/scenario_file.h"
#include "support.h"

using namespace orvane;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

using test::cli;
using test::CliRun;

std::vector<json> jsonLines(const std::string& text) {
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
}

// Every example (a short uncertainty analysis or fit interval), and each with a changed volume
// and an id.
std::vector<json> exampleCohort() {
    std::vector<json> cohort;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVANE_SOURCE_DIR) / "examples")) {
        if (entry.path().extension() != ".json") continue;
        json scenario = json::parse(test::readFile(entry.path()));
        if (scenario.contains("uncertainty")) scenario["uncertainty"]["samples"] = 300;
        if (scenario.contains("measurements")) scenario["fit"]["samples"] = 300;
        cohort.push_back(scenario);
        scenario["initial_volume"] = 37.25;
        scenario["id"] = entry.path().stem().string();
        cohort.push_back(scenario);
    }
    return cohort;
}

std::string joined(const std::vector<json>& cohort) {
    std::string text;
    for (const json& scenario : cohort) text += scenario.dump() + "\n";
    return text;
}

}  // namespace

// Any thread count gives the same bytes: WindowAndThreadsDoNotChangeTheOrderOrTheBytes.
TEST(Batch, EachRecordIsWhatTheScenarioGivesAlone) {
    const std::vector<json> cohort = exampleCohort();
    ASSERT_GE(cohort.size(), 10u);
    const std::string input = joined(cohort);
    const CliRun one = cli({"--batch", "-", "--threads", "1"}, input);
    ASSERT_EQ(one.status, kCliOk) << one.err;
    EXPECT_EQ(one.err, "orvane-cli: " + std::to_string(cohort.size()) + " computed, 0 failed\n");
    const std::vector<json> records = jsonLines(one.out);
    ASSERT_EQ(records.size(), cohort.size());
    for (std::size_t i = 0; i < cohort.size(); ++i) {
        json alone = cohort[i];
        alone.erase("id");
        const CliRun single = cli({"--scenario", "-", "--json"}, alone.dump());
        ASSERT_EQ(single.status, kCliOk) << single.err;
        const json expected = json::parse(single.out);
        const json& record = records[i];
        EXPECT_EQ(record["line"], i + 1);
        EXPECT_EQ(record["id"], cohort[i].value("id", std::to_string(i + 1)));
        // Compared as doubles: equal to the last bit.
        EXPECT_EQ(record["dose_mGy_per_MBq"].get<double>(),
                  expected["dose_mGy_per_MBq"].get<double>());
        // The summaries: the uncertainty's, and the fit's without the residuals.
        json fit = expected.value("fit", json());
        if (fit.is_object()) fit.erase("residuals");
        for (const auto& [key, summary] :
             {std::pair{"uncertainty", expected.value("uncertainty", json())},
              std::pair{"fit", fit}}) {
            EXPECT_EQ(record.contains(key), !summary.is_null()) << key;
            if (!summary.is_null()) {
                EXPECT_EQ(record[key], summary) << key;
            }
        }
    }
    EXPECT_GE(std::count_if(records.begin(), records.end(),
                            [](const json& r) { return r.contains("fit"); }),
              2);

    // --csv: the same doses to 17 digits, and the median of the uncertainty or fit interval.
    const CliRun table = cli({"--batch", "-", "--csv", "--threads", "2"}, input);
    ASSERT_EQ(table.status, kCliOk) << table.err;
    std::istringstream rows(table.out);
    std::string row;
    std::getline(rows, row);
    EXPECT_EQ(row, "line,id,dose_mGy_per_MBq,p2.5,p50,p97.5,warnings,error");
    for (const json& record : records) {
        std::getline(rows, row);
        std::vector<std::string> cells;
        std::stringstream split(row);
        for (std::string cell; std::getline(split, cell, ',');) cells.push_back(cell);
        ASSERT_GE(cells.size(), 7u) << row;
        EXPECT_EQ(std::stod(cells[2]), record["dose_mGy_per_MBq"].get<double>());
        const json median = record.contains("fit")
                                ? record["fit"]["dose_interval"]["50"]
                                : record.value("/uncertainty/percentiles/50"_json_pointer, json());
        EXPECT_EQ(cells[4].empty(), median.is_null()) << row;
        if (!median.is_null()) {
            EXPECT_EQ(std::stod(cells[4]), median.get<double>());
        }
    }
}

TEST(Batch, BadLinesBecomeErrorRecordsWithTheirKeyPathAndTheRestCompute) {
    const std::string good =
        test::readFile(fs::path(ORVANE_SOURCE_DIR) / "examples/diary-with-hydration.json");
    json scenario = json::parse(good);
    const json fitted = json::parse(
        test::readFile(fs::path(ORVANE_SOURCE_DIR) / "examples/fit-lu177-psma617.json"));
    auto with = [&](const std::string& path, const json& value, const json& base = nullptr) {
        json changed = base.is_null() ? scenario : base;
        changed[json::json_pointer(path)] = value;
        return changed.dump();
    };
    const struct {
        std::string line;
        std::string path;  // of the error; "-" when the line computes
    } cases[] = {
        {scenario.dump(), "-"},
        {"{not json", "column 3"},
        {with("/voiding/voids/1", -3), "voiding.voids[1]"},
        {with("/fill_rate/steps/0/rat", 1), "fill_rate.steps[0].rat"},
        {with("/id", json::array()), "id"},
        {"[1, 2]", ""},
        {with("/radiopharmaceutical", {{"standard", 99}}), "radiopharmaceutical.standard"},
        {"   ", "blank"},
        // A fit's refusals: too few points for three components, measured_at before at.
        {with("/fit/components", 3, fitted), "measurements"},
        {with("/measurements/voids", {{{"at", 120}, {"activity", 5}, {"measured_at", 60}}}, fitted),
         "measurements.voids[0].measured_at"},
        {with("/id", 12), "-"},
    };
    std::string input;
    for (const auto& c : cases) input += c.line + "\r\n";
    const CliRun run = cli({"--batch", "-"}, input);
    EXPECT_EQ(run.status, kCliSomeFailed);
    EXPECT_EQ(run.err, "orvane-cli: 2 computed, 8 failed\n");
    const std::vector<json> records = jsonLines(run.out);
    std::size_t r = 0;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].path == "blank") continue;  // no record, but the line counts
        ASSERT_LT(r, records.size());
        const json& record = records[r++];
        EXPECT_EQ(record["line"], i + 1);
        if (cases[i].path == "-") {
            EXPECT_TRUE(record.contains("dose_mGy_per_MBq")) << record;
        } else {
            EXPECT_EQ(record["error"]["path"], cases[i].path) << record;
            EXPECT_FALSE(record["error"]["message"].get<std::string>().empty());
        }
    }
    EXPECT_EQ(records.back()["id"], "12");
    EXPECT_EQ(r, records.size());
}

TEST(Batch, WindowAndThreadsDoNotChangeTheOrderOrTheBytes) {
    const std::string input = joined(exampleCohort());
    const BatchCompute compute = scenarioBatchCompute(test::shippedWorkbench(), nullptr);
    auto run = [&](unsigned threads, std::size_t window) {
        std::istringstream in(input);
        JsonLinesSource source(in, "cohort");
        std::string out;
        std::size_t lastLine = 0;
        BatchOptions options;
        options.threads = threads;
        options.window = window;
        runBatch(
            source, compute,
            [&](BatchOutput&& o) {
                EXPECT_GT(o.line, lastLine);
                lastLine = o.line;
                out += o.text;
            },
            options);
        return out;
    };
    const std::string reference = run(1, 1);
    for (const auto& [threads, window] :
         {std::pair{2u, std::size_t{1}}, {3u, std::size_t{2}}, {7u, std::size_t{0}}})
        EXPECT_EQ(run(threads, window), reference) << threads << " threads, window " << window;
}

TEST(Batch, FailuresOfTheInputOrOutputAreNotRecords) {
    const std::string input = joined(exampleCohort());
    // An output that cannot be written: status 1 and no file.
    const test::ScratchFolder scratch;
    const fs::path& folder = scratch.path;
    const CliRun missing =
        cli({"--batch", "-", "--output", (folder / "no/out.jsonl").string()}, input);
    EXPECT_EQ(missing.status, kCliFileError);
    EXPECT_NE(missing.err.find("Cannot write the output file"), std::string::npos) << missing.err;
    const CliRun saved = cli({"--batch", "-", "--output", (folder / "out.jsonl").string()}, input);
    EXPECT_EQ(saved.status, kCliOk) << saved.err;
    EXPECT_EQ(test::readFile(folder / "out.jsonl"), cli({"--batch", "-"}, input).out);
    EXPECT_EQ(cli({"--batch", (folder / "none.jsonl").string()}).status, kCliFileError);
    EXPECT_EQ(cli({"--batch", "-", "--threads", "0"}).status, kCliRefused);
}

TEST(CsvTemplate, ColumnsAreCheckedBeforeAnyRowAndCellsConverted) {
    const json base = json::parse(
        test::readFile(fs::path(ORVANE_SOURCE_DIR) / "examples/diary-with-hydration.json"));
    const struct {
        std::string header;
        std::string refusal;  // empty: accepted
    } headers[] = {
        {"initial_volume,fill_rate.steps[3].rate,voiding.voids[2].residual,id", ""},
        {"radiopharmaceutical.library,voiding.then.interval,measurements_x", "measurements_x"},
        {"fill_rat.day", "fill_rat.day"},
        {"voiding", "voiding"},
        {"initial_volume, initial_volume", "initial_volume"},
        {"voiding.voids[x]", "voiding.voids[x]"},
        {"a..b", "a..b"},
        {"initial_volume,", "column 2"},
    };
    for (const auto& h : headers) {
        std::istringstream in(h.header + "\n1,2,3,4\n");
        std::atomic<int> computed = 0;
        const BatchCompute count = [&](const json&, std::size_t) {
            ++computed;
            return BatchRecord{};
        };
        try {
            CsvTemplateSource source(in, "table", base);
            runBatch(source, count, [](BatchOutput&&) {}, {});
            EXPECT_TRUE(h.refusal.empty()) << h.header;
        } catch (const ScenarioError& e) {
            EXPECT_EQ(e.path(), h.refusal) << h.header;
            EXPECT_EQ(computed, 0);
        }
    }

    // Types, empty cells, quoting, a list entry added, a gap refused.
    const std::vector<CsvColumn> columns = csvColumns(
        {"id", "initial_volume", "radiopharmaceutical.standard", "name", "fill_rate.steps[4].from",
         "fill_rate.steps[4].rate", "voiding.voids[1].residual", "uncertainty.samples"},
        base);
    const json row = applyCsvRow(base, columns, {"007", " 1e2 ", "3", "12", "", "", "5", "20"});
    EXPECT_EQ(row["id"], "007");
    EXPECT_EQ(row["initial_volume"].get<double>(), 100.0);
    EXPECT_TRUE(row["radiopharmaceutical"]["standard"].is_number_integer());
    EXPECT_EQ(row["name"], "12");
    EXPECT_EQ(row["fill_rate"], base["fill_rate"]);
    EXPECT_EQ(row["voiding"]["voids"][1], (json{{"at", 150}, {"residual", 5}}));
    EXPECT_TRUE(row["uncertainty"]["samples"].is_number_integer());
    const json added =
        applyCsvRow(base, columns, {"", "", "Tc-99m MAG3", "", "1500", "0.5", "", ""});
    EXPECT_EQ(added["radiopharmaceutical"]["standard"], "Tc-99m MAG3");
    EXPECT_EQ(added["fill_rate"]["steps"][4], (json{{"from", 1500}, {"rate", 0.5}}));
    for (const auto& [cells, path] :
         {std::pair{std::vector<std::string>{"", "ten", "", "", "", "", "", ""}, "initial_volume"},
          {std::vector<std::string>{"", "", "", "", "", "", "", "1.5.2"}, "uncertainty.samples"},
          {std::vector<std::string>{"", ""}, ""}}) {
        EXPECT_EQ(test::refusedAt([&, &row = cells] { applyCsvRow(base, columns, row); }), path);
    }
    const std::vector<CsvColumn> gap = csvColumns({"fill_rate.steps[5].rate"}, base);
    EXPECT_THROW(applyCsvRow(base, gap, {"1"}), ScenarioError);
}

TEST(CsvTemplate, ReadsQuotedFieldsAndNumbersRecordsByTheirFirstLine) {
    std::istringstream in(
        "\xEF\xBB\xBF"
        "id,name\r\n\"a,1\",\"say \"\"hi\"\"\r\nagain\"\r\n\r\nb,\"open");
    CsvRecordReader reader(in);
    std::vector<std::string> fields;
    std::size_t line = 0;
    std::string problem;
    const struct {
        std::vector<std::string> fields;
        std::size_t line;
        bool problem;
    } expected[] = {{{"id", "name"}, 1, false},
                    {{"a,1", "say \"hi\"\r\nagain"}, 2, false},
                    {{"b", "open"}, 5, true}};
    for (const auto& e : expected) {
        ASSERT_TRUE(reader.next(fields, line, problem));
        EXPECT_EQ(fields, e.fields);
        EXPECT_EQ(line, e.line);
        EXPECT_EQ(problem.empty(), !e.problem) << problem;
    }
    EXPECT_FALSE(reader.next(fields, line, problem));

    // Through orvane-cli: the id of a refused row is its id cell.
    const std::string base =
        (fs::path(ORVANE_SOURCE_DIR) / "examples/diary-with-hydration.json").string();
    const CliRun run =
        cli({"--batch", "-", "--template", base}, "id,initial_volume\np1,\np2,zz\n,60\n");
    EXPECT_EQ(run.status, kCliSomeFailed);
    const std::vector<json> records = jsonLines(run.out);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1]["id"], "p2");
    EXPECT_EQ(records[1]["error"]["path"], "initial_volume");
    EXPECT_EQ(records[2]["id"], "4");
    EXPECT_EQ(records[0]["dose_mGy_per_MBq"],
              json::parse(cli({"--scenario", base, "--json"}).out)["dose_mGy_per_MBq"]);
    EXPECT_EQ(cli({"--batch", "-", "--template", base}, "id,volume\n1,2\n").status, kCliRefused);
}

// orvane.batch hands each dict to the workers as JSON text, to be read there: the text reads back
// as the value the builder would have made, every double to the last bit and still a number
// with a fraction, a key given twice refused as by the builder.
TEST(Batch, ADocumentHandedOverAsTextReadsBackAsTheSameValue) {
    const std::vector<double> doubles{0.1, -0.0, 5e-324, 1.7976931348623157e308, 2.0, 1.0 / 3};
    auto build = [&](auto& out) {
        out.beginObject();
        EXPECT_TRUE(out.key("id"));
        out.text("p \"1\"\\\n\x01 \xC3\xBC");
        out.key("numbers");
        out.beginList();
        for (const double v : doubles) out.number(v);
        out.integer(std::numeric_limits<std::int64_t>::min());
        out.unsignedInteger(std::numeric_limits<std::uint64_t>::max());
        out.end();
        out.key("nested");
        out.beginObject();
        out.key("flag");
        out.flag(true);
        out.key("none");
        out.null();
        out.key("empty");
        out.beginList();
        out.end();
        out.end();
        EXPECT_FALSE(out.key("id"));
        EXPECT_TRUE(out.key("last"));
        out.flag(false);
        out.end();
    };
    JsonBuilder tree;
    build(tree);
    JsonTextBuilder text;
    build(text);
    const json read = parseScenarioJson(text.take());
    EXPECT_EQ(read, tree.take().json());
    for (std::size_t i = 0; i < doubles.size(); ++i) {
        const json& number = read["numbers"][i];
        EXPECT_TRUE(number.is_number_float()) << i;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(number.get<double>()),
                  std::bit_cast<std::uint64_t>(doubles[i]))
            << i;
    }
}
