// Every examples/*.json as orvane-cli --json computes it: the dose, the number of voids, the
// time of the last one and, for a file with an "uncertainty" section, the 5th, 50th and 95th
// percentiles with the file's seed, for one with measurements the fit's dose interval; against
// tests/data/expected-examples.json (compared at a relative 1e-10). A change to the model, the data
// or an example shows here; ORVANE_REGENERATE_GOLDEN=1 rewrites the file on purpose.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "cli/cli.h"
#include "support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const fs::path kExpectedFile = fs::path(ORVANE_TEST_DATA) / "expected-examples.json";
const fs::path kExamples = fs::path(ORVANE_SOURCE_DIR) / "examples";
constexpr double kTolerance = 1e-10;

std::vector<fs::path> exampleFiles() {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(kExamples))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// What the regression file keeps of one example, from the CLI's JSON; the record checked
// against itself on the way: the time course ends at the dose, the inputs as the engine took
// them, and no warning that the dose is cut (each example runs until under 1 % is left).
nlohmann::json summaryOf(const fs::path& example) {
    const test::CliRun done =
        test::cli({"--scenario", example.string(), "--json", "--time-course", "30"});
    EXPECT_EQ(done.status, kCliOk) << example << ": " << done.err;
    if (done.status != kCliOk) return nullptr;
    EXPECT_EQ(done.err.find("still in the bladder"), std::string::npos) << example;
    const nlohmann::json run = nlohmann::json::parse(done.out);
    EXPECT_EQ(run["time_course"].back()["cumulative_dose_mGy_per_MBq"], run["dose_mGy_per_MBq"]);
    EXPECT_EQ(run["voids"][0].contains("voided_MBq"), run.contains("administered_MBq"));
    EXPECT_EQ(run["data_file"], test::shippedDataFile().string());
    const nlohmann::json& input = run["input"];
    EXPECT_EQ(input["radiopharmaceutical"]["name"], run["radiopharmaceutical"]);
    EXPECT_GT(input["radiopharmaceutical"]["physical_half_life_min"].get<double>(), 0);
    EXPECT_EQ(input["end_min"], run["voids"].back()["time_min"]);
    EXPECT_EQ(input["initial_volume_ml"], run["intervals"][0]["start_volume_ml"]) << example;
    nlohmann::json summary = {
        {"dose_mGy_per_MBq", run.at("dose_mGy_per_MBq")},
        {"voids", run.at("voids").size()},
        {"last_void_min", run.at("voids").empty() ? nlohmann::json(nullptr)
                                                  : run.at("voids").back().at("time_min")}};
    if (run.contains("uncertainty")) {
        const nlohmann::json& percentiles = run.at("uncertainty").at("percentiles");
        for (const char* p : {"5", "50", "95"}) summary[std::string("P") + p] = percentiles.at(p);
    }
    if (run.contains("fit")) {  // the fit's dose interval, with the file's seed
        const nlohmann::json& interval = run.at("fit").at("dose_interval");
        for (const char* p : {"2.5", "50", "97.5"})
            summary[std::string("fit ") + p] = interval.at(p);
    }
    return summary;
}

TEST(Examples, EveryExampleAsCommitted) {
    nlohmann::json computed = nlohmann::json::object();
    for (const fs::path& example : exampleFiles())
        computed[example.filename().string()] = summaryOf(example);
    ASSERT_FALSE(computed.empty()) << "no example in " << kExamples;
    if (test::regeneratingExpectedFiles()) {
        std::ofstream(kExpectedFile, std::ios::binary | std::ios::trunc)
            << computed.dump(2) << "\n";
        GTEST_SKIP() << "rewrote " << kExpectedFile;
    }
    const nlohmann::json expected = nlohmann::json::parse(test::readFile(kExpectedFile));
    for (const auto& [name, values] : expected.items())
        EXPECT_TRUE(computed.contains(name)) << name << " is expected but no longer an example";
    for (const auto& [name, values] : computed.items()) {
        ASSERT_TRUE(expected.contains(name))
            << name << " has no expected values (ORVANE_REGENERATE_GOLDEN=1 adds them)";
        const nlohmann::json& want = expected.at(name);
        std::vector<std::string> keys;
        for (const auto& [key, value] : want.items()) keys.push_back(key);
        for (const auto& [key, value] : values.items()) keys.push_back(key);
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (const std::string& key : keys) {
            ASSERT_TRUE(values.contains(key) && want.contains(key)) << name << ": " << key;
            const nlohmann::json &got = values.at(key), &was = want.at(key);
            if (was.is_number_float() && got.is_number()) {
                EXPECT_LE(std::fabs(got.get<double>() - was.get<double>()),
                          kTolerance * std::fabs(was.get<double>()))
                    << name << ": " << key << " is " << got << ", expected " << was;
            } else {
                EXPECT_EQ(got, was) << name << ": " << key;
            }
        }
    }
}

}  // namespace
}  // namespace orvane
