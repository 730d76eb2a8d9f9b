// The "measurements" and "fit" sections of a scenario file, refused by key path, and the fit
// through orvane-cli: it prints the library's fit of the file.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "library/measurements_file.h"
#include "support.h"

using namespace orvane;
using nlohmann::json;

namespace {

// A scenario with two measured voids (volumes and activities) and a urine and a whole-body point.
json baseDocument() {
    return json::parse(R"({
      "name": "fit",
      "radiopharmaceutical": {"standard": 0},
      "initial_volume": 50, "residual_volume": 10, "administered_activity": 400,
      "fill_rate": {"day": 1.0, "night": 0.5},
      "voiding": {"pattern": "regular", "first_void": 120, "interval": 120},
      "measurements": {
        "voids": [{"at": 120, "volume": 120, "activity": 150},
                  {"at": 240, "volume": 110, "activity": 60, "measured_at": 300}],
        "cumulative_urine": [{"at": 360, "fraction": 0.6}],
        "whole_body": [{"at": 480, "activity": 120}]
      },
      "fit": {"components": 1, "samples": 0}
    })");
}

struct Refusal {
    const char* what;
    json patch;  // a JSON merge patch of the base document
    const char* path;
    const char* reasonHas;
};

}  // namespace

TEST(MeasurementsFile, RefusalsNameTheKeyPath) {
    const Refusal cases[] = {
        {"too few points", json::parse(R"({"measurements": {"voids": null, "whole_body": null},
           "fit": {"components": 2}})"),
         "measurements", "1"},
        {"negative derived fill rate",
         json::parse(R"({"fill_rate": "from_voids", "initial_volume": 300,
           "voiding": {"pattern": "diary", "first_void": null, "interval": null,
                       "voids": [{"at": 120, "residual": 200}, 240]},
           "measurements": {"voids": [{"at": 120, "volume": 120}, {"at": 240, "volume": 50}]}})"),
         "measurements.voids[1]", "negative"},
        {"measured_at before at",
         json::parse(R"({"measurements": {"voids": [{"at": 120, "activity": 150,
           "measured_at": 60}]}})"),
         "measurements.voids[0].measured_at", ""},
        {"activities without administered_activity",
         json::parse(R"({"administered_activity": null})"), "administered_activity",
         "administered_activity"},
        {"unknown key", json::parse(R"({"measurements": {"bladder": [{"at": 5, "activty": 1}]}})"),
         "measurements.bladder[0].activty", ""},
        {"a fraction as activity", json::parse(R"({"measurements": {"cumulative_urine":
           [{"at": 360, "activity": 0.6}]}})"),
         "measurements.cumulative_urine[0].activity", ""},
        {"components", json::parse(R"({"fit": {"components": 4}})"), "fit.components", ""},
        {"components text", json::parse(R"({"fit": {"components": "two"}})"), "fit.components", ""},
        {"with uncertainty", json::parse(R"({"uncertainty": {"samples": 10}})"), "uncertainty", ""},
        {"fill rate from voids without volumes",
         json::parse(R"({"fill_rate": "from_voids", "measurements": {"voids":
           [{"at": 120, "activity": 150}]}})"),
         "measurements.voids", ""},
    };
    for (const Refusal& c : cases) {
        json document = baseDocument();
        document.merge_patch(c.patch);
        const auto e = test::thrown<ScenarioError>(
            [&] { fitScenarioDocument(test::shippedWorkbench(), document, "f.json"); });
        ASSERT_TRUE(e) << c.what << ": accepted";
        EXPECT_TRUE(e->path().starts_with(c.path)) << c.what << ": " << e->what();
        EXPECT_NE(std::string(e->what()).find(c.reasonHas), std::string::npos)
            << c.what << ": " << e->what();
    }
}

// orvane-cli prints the library's fit of the file (the recovery of known kinetics is the fit
// model's own test).
TEST(MeasurementsFile, CliPrintsTheLibrarysFitOfTheFile) {
    json document = json::parse(R"({
      "name": "known", "initial_volume": 50, "residual_volume": 10,
      "radiopharmaceutical": {"standard": 0},
      "fill_rate": {"day": 1.0, "night": 0.5},
      "voiding": {"pattern": "regular", "first_void": 120, "interval": 120},
      "fit": {"components": "auto", "samples": 200}})");
    json points = json::array();
    for (double t : {30.0, 60.0, 120.0, 240.0, 480.0, 960.0, 1440.0, 2880.0, 5760.0})
        points.push_back(
            {{"at", t},
             {"fraction", 0.55 * (1 - std::exp(-t / 130)) + 0.3 * (1 - std::exp(-t / 2164))},
             {"sd", 0.01}});
    document["measurements"] = {{"cumulative_urine", points}};
    const test::CliRun done = test::cli({"--scenario", "-", "--json"}, document.dump());
    ASSERT_EQ(done.status, kCliOk) << done.err;
    const json printed = json::parse(done.out);
    const FitResult fit = fitScenarioDocument(test::shippedWorkbench(), document).fit;
    ASSERT_TRUE(fit.converged) << fit.message;
    const json& shown = printed.at("fit");
    ASSERT_EQ(shown.at("components"), fit.components);
    for (int i = 0; i < fit.components; ++i) {
        const json& p = shown.at("parameters")[i];
        EXPECT_EQ(p.at("fraction"), fit.parameters[i].fraction) << i;
        EXPECT_EQ(p.at("rate_constant"), fit.parameters[i].rateConstant) << i;
        EXPECT_EQ(p.at("half_life"), fit.parameters[i].halfLife) << i;
    }
    EXPECT_EQ(printed.at("dose_mGy_per_MBq"), fit.dose);
    EXPECT_EQ(shown.at("dose_interval").at("50"), fit.doseInterval.median);
    EXPECT_EQ(shown.at("residuals").size(), fit.residuals.size());
}
