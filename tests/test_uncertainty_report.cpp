// The uncertainty analysis as text, JSON and CSV: the fixed JSON keys scripts read, null for
// what does not exist, rejected samples marked, and numbers that read back exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/scenario.h"
#include "report/csv.h"
#include "report/plot_state.h"
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
    EXPECT_EQ(keys, (std::vector<std::string>{"mean", "percentiles", "rank_correlation",
                                              "samples_clamped", "samples_rejected", "samples_used",
                                              "sd", "tornado"}));
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

namespace {

// The doses drawn, in equal bins from the least to a top percentile; the rest counted apart.
TEST(DoseHistogram, BinsCountEveryNumberOnceAndSkipNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> ramp;
    for (int i = 1; i <= 1000; ++i) ramp.push_back(i);
    ramp.push_back(nan);
    struct Case {
        const char* what;
        std::vector<double> values;
        int bins;
        double top;
        std::vector<int> counts;  // empty: not checked bin by bin
        std::size_t beyond;
    };
    const std::vector<Case> cases = {
        {"no values", {nan, nan}, 4, 99.5, {}, 0},
        {"the top value lands in the last bin", {0, 1, 2, 3, 4}, 4, 100, {1, 1, 1, 2}, 0},
        {"equal values share the first bin", {7, 7, 7}, 3, 100, {3, 0, 0}, 0},
        {"a long tail is counted, not binned", {0, 1, 2, 3, 1e9}, 3, 75, {1, 1, 2}, 1},
        {"a ramp of 1000 up to its 99.5th percentile", ramp, 40, 99.5, {}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Histogram h = histogramOf(c.values, c.bins, c.top);
        std::size_t numbers = 0;
        for (double v : c.values) numbers += std::isnan(v) ? 0 : 1;
        if (numbers == 0) {
            EXPECT_TRUE(h.counts.empty());
            continue;
        }
        ASSERT_EQ(h.counts.size(), static_cast<std::size_t>(c.bins));
        if (!c.counts.empty()) {
            EXPECT_EQ(h.counts, c.counts);
        }
        EXPECT_EQ(h.beyond, c.beyond);
        std::size_t binned = 0;
        for (int count : h.counts) binned += static_cast<std::size_t>(count);
        EXPECT_EQ(binned + h.beyond, numbers);
        EXPECT_EQ(h.tallest, *std::max_element(h.counts.begin(), h.counts.end()));
        EXPECT_GT(h.top, h.low);
        EXPECT_NEAR(h.edge(h.counts.size()), h.top, 1e-12 * std::abs(h.top));
    }
}

// Under a decimal-comma locale (as a window's QApplication may set it) every number the
// reports and the engine's messages write keeps its full stop.
TEST(DecimalCommaLocale, ReportsAndMessagesKeepTheFullStop) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 (locales-all)";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5");  // the locale does write a comma

    const Fixture f = analysis();
    const std::string text = uncertaintyText(f.inputs, {200, 4, 1}, f.result);
    const std::string csv = uncertaintySamplesCsv(f.inputs, f.result);

    Scenario s;
    s.radiopharmaceutical.fraction = {1, 0, 0, 0};
    s.radiopharmaceutical.rateConstant = {0.01, 0, 0, 0};
    s.radiopharmaceutical.biologicalHalfLife = {69.3, 0, 0, 0};
    setPhysicalHalfLife(s.radiopharmaceutical, 360);
    s.initialVolume = -2.5;
    std::string refusal;
    try {
        checkScenario(s);
    } catch (const ScenarioError& e) {
        refusal = e.what();
    }

    DoseResults tables;
    tables.grids.v0Grid = kLabelledV0Grid;
    tables.grids.t0Grid = kLabelledT0Grid;
    tables.tables[0].at(0, 0) = 0.125;
    const std::string doses = doseTablesCsv(tables);
    std::setlocale(LC_ALL, before.c_str());

    EXPECT_NE(text.find("0.05"), std::string::npos) << text;
    EXPECT_EQ(refusal, "initial_volume: expected a positive number of ml, got -2.5");
    EXPECT_NE(csv.find(",0.4"), std::string::npos) << csv.substr(0, 200);
    EXPECT_NE(doses.find("1,10,20,1.25"), std::string::npos) << doses.substr(0, 200);
    EXPECT_NE(doses.find(",0.5,0.25,"), std::string::npos) << doses;
    // In the text a comma between two digits is a decimal comma; in a CSV one adds a field.
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        EXPECT_FALSE(text[i] == ',' && std::isdigit(static_cast<unsigned char>(text[i - 1])) &&
                     std::isdigit(static_cast<unsigned char>(text[i + 1])))
            << text.substr(i - 1);
    }
    for (const std::string* written : {&csv, &doses}) {
        std::istringstream lines(*written);
        std::string header, line;
        std::getline(lines, header);
        const auto fields = std::count(header.begin(), header.end(), ',');
        while (std::getline(lines, line)) {
            // Field values here never hold a comma of their own.
            EXPECT_EQ(std::count(line.begin(), line.end(), ','), fields) << line;
        }
    }
}

}  // namespace
