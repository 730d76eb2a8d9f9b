// The "measurements" and "fit" sections of a scenario file, refused by key path, and the fit
// through orvane-cli: the known kinetics come back from measurements the model made.
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

// Cumulative urine made from known two-component kinetics: the CLI's "fit" gives them back, and
// the top-level dose is the dose of the scenario with those kinetics.
TEST(MeasurementsFile, CliFitGivesTheKnownKineticsBack) {
    const double f[] = {0.55, 0.3}, halfLife[] = {90.0, 1500.0};
    json scenario = json::parse(R"({
      "name": "known", "initial_volume": 50, "residual_volume": 10,
      "fill_rate": {"day": 1.0, "night": 0.5},
      "voiding": {"pattern": "regular", "first_void": 120, "interval": 120}})");
    scenario["radiopharmaceutical"] = {
        {"name", "known"},
        {"components",
         {{{"fraction", f[0]}, {"rate_constant", std::log(2) / halfLife[0]}},
          {{"fraction", f[1]}, {"rate_constant", std::log(2) / halfLife[1]}}}},
        {"physical_half_life", 9571.68},
        {"delta", 2.3746e-5},
        {"gamma", 1.4471e-5}};
    json points = json::array();
    for (double t : {30.0, 60.0, 120.0, 240.0, 480.0, 960.0, 1440.0, 2880.0, 5760.0}) {
        double fraction = 0.0;
        for (int i = 0; i < 2; ++i)
            fraction += f[i] * (1 - std::exp(-std::log(2) / halfLife[i] * t));
        points.push_back({{"at", t}, {"fraction", fraction}, {"sd", 0.01}});
    }
    json withFit = scenario;
    withFit["measurements"] = {{"cumulative_urine", points}};
    withFit["fit"] = {{"components", "auto"}, {"samples", 200}};
    auto run = [](const json& document) {
        const test::CliRun done = test::cli({"--scenario", "-", "--json"}, document.dump());
        EXPECT_EQ(done.status, kCliOk) << done.err;
        return json::parse(done.out);
    };
    const json fitted = run(withFit), known = run(scenario);
    const json& fit = fitted.at("fit");
    ASSERT_EQ(fit.at("components"), 2);
    for (int i = 0; i < 2; ++i) {
        const json& p = fit.at("parameters")[i];
        EXPECT_NEAR(p.at("fraction").get<double>() / f[i], 1.0, 1e-4) << i;
        // The half-life is 0.693 / k, as everywhere in the program.
        EXPECT_NEAR(p.at("rate_constant").get<double>() * halfLife[i] / std::log(2), 1.0, 1e-4)
            << i;
        EXPECT_NEAR(p.at("half_life").get<double>() * p.at("rate_constant").get<double>(), 0.693,
                    1e-12);
    }
    const double dose = known.at("dose_mGy_per_MBq").get<double>();
    EXPECT_NEAR(fitted.at("dose_mGy_per_MBq").get<double>() / dose, 1.0, 1e-6);
    const json& interval = fit.at("dose_interval");
    EXPECT_LE(interval.at("2.5").get<double>(), interval.at("50").get<double>());
    EXPECT_LE(interval.at("50").get<double>(), interval.at("97.5").get<double>());
    for (const json& model : fit.at("models")) {
        EXPECT_TRUE(model.at("aicc").is_null() || model.at("aicc").is_number()) << model;
    }
    EXPECT_EQ(fit.at("residuals").size(), points.size());
}
