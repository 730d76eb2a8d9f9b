// The uncertainty analysis as text, JSON and CSV: the fixed JSON keys scripts read, null for
// what does not exist, rejected samples marked, and numbers that read back exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "report/uncertainty_report.h"

using namespace orvane;

namespace {

struct Fixture {
    std::vector<UncertainInput> inputs;
    UncertaintyResult result;
};

Fixture analysis() {
    Distribution bounded;
    bounded.kind = DistributionKind::Normal;
    bounded.a = 0.5;
    bounded.b = 0.05;
    bounded.min = 0;
    bounded.max = 1;
    Distribution flat{DistributionKind::Uniform, 120, 240};
    Fixture f{{{"radiopharmaceutical.components[0].fraction", bounded, 0.5},
               {"voiding.interval", flat, 180}},
              {}};
    const DoseFunction dose = [](const std::vector<double>& v) -> std::optional<double> {
        if (v[1] > 230) return std::nullopt;
        return 0.1 * v[0];  // the interval does nothing: its rho is ~0
    };
    f.result = runUncertainty(f.inputs, dose, {200, 4, 1});
    return f;
}

TEST(UncertaintyReport, JsonHasTheFixedKeys) {
    const Fixture f = analysis();
    const nlohmann::json j = uncertaintyJson(f.inputs, f.result);
    // Keys as scripts read them (the object lists them sorted).
    std::vector<std::string> keys;
    for (const auto& [key, value] : j.items()) keys.push_back(key);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"mean", "percentiles", "rank_correlation",
                                        "samples_rejected", "samples_used", "sd", "tornado"}));
    std::vector<std::string> percentiles;
    for (const auto& [key, value] : j["percentiles"].items()) percentiles.push_back(key);
    EXPECT_EQ(percentiles, (std::vector<std::string>{"2.5", "25", "5", "50", "75", "95", "97.5"}));
    EXPECT_EQ(j["percentiles"]["50"].get<double>(), f.result.percentiles[3]);
    EXPECT_EQ(j["samples_used"].get<std::uint64_t>() + j["samples_rejected"].get<std::uint64_t>(),
              200u);
    EXPECT_GT(j["samples_rejected"].get<int>(), 0);
    EXPECT_EQ(j["tornado"][0]["path"], "radiopharmaceutical.components[0].fraction");
    // The interval's 95th percentile (234 min) is refused by the model: null, not a number.
    EXPECT_TRUE(nlohmann::json::parse(j.dump())["tornado"][1]["high"].is_null());
}

TEST(UncertaintyReport, TextAndCsv) {
    const Fixture f = analysis();
    const std::string text = uncertaintyText(f.inputs, {200, 4, 1}, f.result);
    for (const char* part :
         {"200 samples, seed 4", "rejected (a value outside its min/max", "97.5 % ",
          "normal, mean 0.5, sd 0.05, min 0, max 1", "uniform, 120 to 240", "n/a"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;

    const std::string csv = uncertaintySamplesCsv(f.inputs, f.result);
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line,
              "sample,\"radiopharmaceutical.components[0].fraction\",\"voiding.interval\","
              "dose_mGy_per_MBq,status");
    std::size_t rows = 0, rejected = 0;
    while (std::getline(lines, line)) {
        const bool refused = line.ends_with(",,rejected");
        rejected += refused;
        if (!refused) {
            // Every number reads back to the same double.
            const std::size_t last = line.rfind(','), before = line.rfind(',', last - 1);
            EXPECT_EQ(std::stod(line.substr(before + 1, last - before - 1)), f.result.doses[rows]);
        }
        ++rows;
    }
    EXPECT_EQ(rows, 200u);
    EXPECT_EQ(rejected, f.result.rejected);
}

}  // namespace
