// The uncertainty section of a scenario file: which keys can vary and the refusals that name
// the key path, a half-life that moves its rate constant, and analyses of whole scenarios.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/scenario.h"
#include "engine/scenario_uncertainty.h"
#include "library/standards.h"
#include "library/uncertainty_file.h"
#include "library/uncertainty_form.h"
#include "support.h"

using namespace orvane;
using Json = nlohmann::json;

namespace {

const StandardData data = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
const QuadratureRule rule{data.tables.quadratureNodes, data.tables.quadratureWeights};

// One component of 120 min, Tc-99m-like decay, regular voiding every 180 min from 60 min.
Scenario regularScenario(double gamma = 5.56e-5) {
    Scenario s;
    ModelParameters& p = s.radiopharmaceutical;
    p.fraction = {0.9, 0, 0, 0};
    p.rateConstant = {0.00578, 0, 0, 0};
    p.biologicalHalfLife = {120, 0, 0, 0};
    p.physicalHalfLife = 360.6;
    p.physicalDecayConstant = kDecayNumerator / p.physicalHalfLife;
    p.deltaScaled = scaleEmissionConstant(2.6e-6);
    p.gammaScaled = scaleEmissionConstant(gamma);
    s.initialVolume = 60;
    s.voiding.firstVoid = 60;
    s.voiding.regular.interval = 180;
    return s;
}

Scenario diaryScenario() {
    Scenario s = regularScenario();
    s.voiding.kind = VoidingKind::Diary;
    s.voiding.voids = {{45, {}}, {150, 30.0}, {300, {}}};
    return s;
}

TEST(UncertaintySection, RefusesWithTheKeyPath) {
    const Json file = Json::parse(R"({"fill_rate": {"day": 1.0}})");
    Scenario stepped = regularScenario();
    stepped.fillRate.steps = {{0, 2.0}, {120, 1.0}};
    struct Case {
        const char* section;
        bool diary;
        std::string path;
        std::string reason;
    };
    const std::vector<Case> cases{
        {R"({"vary": {"administration_time": {"normal": {"sd": 1}}}})", false,
         R"(vary["administration_time"])", "not a numeric key"},
        {R"({"vary": {"radiopharmaceutical.components[1].fraction": {"normal": {"sd": 1}}}})",
         false, "components[1].fraction\"]", "no component 1"},
        {R"({"vary": {"radiopharmaceutical.components[9999999].fraction": {"normal": {"sd": 1}}}})",
         false, "9999999", "not a numeric key"},
        {R"({"vary": {"fill_rate.steps[0].rate": {"normal": {"sd": 1}}}})", false, "steps[0].rate",
         "has 0 steps"},
        {R"({"vary": {"voiding.then.interval": {"uniform": [100, 200]}}})", false, "then.interval",
         "continued by \"then\""},
        {R"({"vary": {"voiding.interval": {"uniform": [100, 200]}}})", true,
         R"(vary["voiding.interval"])", "only the regular pattern"},
        {R"({"vary": {"voiding.voids[3]": {"uniform": [100, 200]}}})", true, "voids[3]",
         "has 3 voids"},
        {R"({"vary": {"voiding.first_void": {"uniform": [100, 200]}}})", true, "first_void",
         "diary has no first_void"},
        {R"({"vary": {"initial_volume": {"normal": {"sd": 10}}}})", false, "initial_volume",
         "below 0"},
        {R"({"vary": {"initial_volume": {"uniform": [-5, 10]}}})", false, "initial_volume",
         "below 0"},
        {R"({"vary": {"initial_volume": {"lognormal": {"gsd": 0.5}}}})", false,
         R"(["initial_volume"].lognormal)", "gsd above 1"},
        {R"({"vary": {"initial_volume": {"lognormal": {"median": 10}}}})", false, "lognormal.gsd",
         "missing"},
        {R"({"vary": {"initial_volume": {"lognormal": {"gsd": 2, "mode": 3}}}})", false,
         "lognormal.mode", "unknown key"},
        {R"({"vary": {"initial_volume": {"triangular": {"low": 1, "high": 3}}}})", false,
         "triangular.mode", "missing"},
        {R"({"vary": {"initial_volume": {"uniform": [1, 2], "max": 3}}})", false,
         R"(vary["initial_volume"])", "expected one of"},
        {R"({"vary": {"initial_volume": {"poisson": {"mean": 3}}}})", false, "poisson",
         "unknown distribution"},
        {R"({"vary": {"initial_volume": {"uniform": [10, 20]}}, "samples": 0})", false,
         "uncertainty.samples", "whole number from 1"},
        {R"({"vary": {"initial_volume": {"uniform": [10, 20]}}, "samples": 1.5})", false,
         "uncertainty.samples", "whole number"},
        {R"({"vary": {"initial_volume": {"uniform": [10, 20]}}, "seed": -1})", false,
         "uncertainty.seed", "whole number"},
        {R"({"vary": {"initial_volume": {"uniform": [10, 20]}}, "runs": 3})", false,
         "uncertainty.runs", "unknown key"},
        {R"({"vary": "populace"})", false, "uncertainty.vary", "\"population\""},
        {R"({"samples": 10})", false, "uncertainty.vary", "missing"},
        {R"({"vary": {"voiding.voids[1]": {"uniform": [100, 200]},
                      "voiding.voids[1].at": {"uniform": [100, 200]}}})",
         true, "voids[1].at", "varies already"},
        {R"({"vary": {"radiopharmaceutical.components[0].half_life": {"lognormal": {"gsd": 2}},
                      "radiopharmaceutical.components[0].rate_constant": {"lognormal": {"gsd": 2}}}})",
         false, "rate_constant", "varies already"}};
    for (const Case& c : cases) {
        const Scenario s = c.diary ? diaryScenario() : regularScenario();
        const auto e = test::thrown<ScenarioError>(
            [&] { readUncertaintySection(Json::parse(c.section), file, s); });
        ASSERT_TRUE(e) << "accepted " << c.section;
        EXPECT_NE(e->path().find(c.path), std::string::npos) << c.section << ": " << e->path();
        EXPECT_NE(e->reason().find(c.reason), std::string::npos)
            << c.section << ": " << e->reason();
    }
    // A million samples of 21 diary voids would keep more values than the limit.
    Scenario many = diaryScenario();
    Json vary = Json::object();
    many.voiding.voids.clear();
    for (int v = 0; v < 21; ++v) {
        many.voiding.voids.push_back({100.0 * (v + 1), {}});
        vary["voiding.voids[" + std::to_string(v) + "]"] = {{"normal", {{"sd", 1}, {"min", 0}}}};
    }
    EXPECT_THROW(readUncertaintySection({{"samples", 1'000'000}, {"vary", vary}}, file, many),
                 ScenarioError);
    EXPECT_NO_THROW(readUncertaintySection({{"samples", 900'000}, {"vary", vary}}, file, many));
    // The "table" pattern has no end_time to vary.
    Scenario table = regularScenario();
    table.voiding.kind = VoidingKind::Table;
    const auto e = test::thrown<ScenarioError>([&] {
        readUncertaintySection(Json::parse(R"({"vary": {"end_time": {"uniform": [200, 400]}}})"),
                               file, table);
    });
    ASSERT_TRUE(e) << "a varied end_time of the table pattern was accepted";
    EXPECT_EQ(e->path(), R"(uncertainty.vary["end_time"])");
    EXPECT_NE(e->reason().find("voiding.intervals"), std::string::npos) << e->reason();
    EXPECT_THROW(readUncertaintySection(Json::parse(R"({"vary": {"fill_rate.day": )"
                                                    R"({"lognormal": {"gsd": 1.5}}}})"),
                                        file, stepped),
                 ScenarioError);
}

TEST(UncertaintySection, ReadsDistributionsAroundTheScenariosOwnValues) {
    const Json file = Json::parse(R"({"fill_rate": {"day": 1.0}})");
    const Json section = Json::parse(R"({
      "samples": 500, "seed": 18446744073709551615,
      "vary": {
        "radiopharmaceutical.components[0].half_life": {"lognormal": {"gsd": 1.3}},
        "radiopharmaceutical.components[0].fraction": {"normal": {"sd": 0.05, "min": 0, "max": 1}},
        "fill_rate.day": {"lognormal": {"median": 1.0, "gsd": 1.5}},
        "residual_volume": {"lognormal": {"median": 9.5, "gsd": 3.0, "max": 150}},
        "voiding.interval": {"uniform": [120, 240]},
        "initial_volume": {"triangular": [20, 100, 300]}}})");
    const UncertaintyPlan plan = readUncertaintySection(section, file, regularScenario());
    EXPECT_EQ(plan.options.seed, 18446744073709551615ULL);
    ASSERT_EQ(plan.inputs.size(), 6u);
    for (std::size_t i = 0; i < plan.inputs.size(); ++i) {
        const UncertainInput& in = plan.inputs[i];
        // Without a median, the scenario's own half-life is the centre.
        if (in.path.ends_with("half_life")) {
            EXPECT_EQ(in.distribution.a, 120);
        } else if (in.path == "fill_rate.day") {
            EXPECT_TRUE(plan.keys[i].nightFollowsDay);
        } else if (in.path == "residual_volume") {
            EXPECT_EQ(in.nominal, 10);
        }
    }
    // Same file, night rate given: it no longer follows the day's.
    const UncertaintyPlan own = readUncertaintySection(
        section, Json::parse(R"({"fill_rate": {"day": 1.0, "night": 0.3}})"), regularScenario());
    for (std::size_t i = 0; i < own.inputs.size(); ++i) {
        if (own.inputs[i].path == "fill_rate.day") {
            EXPECT_FALSE(own.keys[i].nightFollowsDay);
        }
    }
}

// The Uncertainty tab's form of a section writes it back unchanged: every distribution's form,
// min and max, numbers to the last bit, and a seed up to 2^64-1.
TEST(UncertaintySection, TheTabsFormWritesTheSectionBack) {
    const Json section = Json::parse(R"({"samples": 500, "seed": 18446744073709551615,
        "vary": {"residual_volume": {"lognormal": {"gsd": 2.0, "max": 150}},
                 "voiding.interval": {"uniform": [120, 240]},
                 "initial_volume": {"triangular": {"low": 20, "mode": 50, "high": 300, "min": 25}},
                 "fill_rate.day": {"normal": {"mean": 0.1, "sd": 0.3333333333333333}}}})");
    for (const Json& given :
         {section, Json{{"samples", 10}, {"seed", 3}, {"vary", "population"}}}) {
        const ScenarioDocument document(Json{{"uncertainty", given}});
        EXPECT_EQ(uncertaintySection(uncertaintyForm(document)).json(), given);
    }
    EXPECT_TRUE(uncertaintySection(uncertaintyForm(ScenarioDocument())).isNull());
}

TEST(ScenarioValues, AHalfLifeMovesItsRateConstantAndTheNominalChangesNothing) {
    const Scenario s = regularScenario();
    using Q = ScenarioQuantity;
    Scenario moved = s;
    setScenarioValue(moved, {Q::HalfLife, 0}, 240);
    EXPECT_DOUBLE_EQ(moved.radiopharmaceutical.rateConstant[0], 0.00578 / 2);
    EXPECT_EQ(moved.radiopharmaceutical.biologicalHalfLife[0], 240);
    // Every quantity set to its own value leaves the scenario as it was, bit for bit.
    for (int q = 0; q <= static_cast<int>(Q::DiaryResidual); ++q) {
        Scenario same = q >= static_cast<int>(Q::DiaryTime) ? diaryScenario() : s;
        if (q == static_cast<int>(Q::StepFrom) || q == static_cast<int>(Q::StepRate))
            same.fillRate.steps = {{0, 2.0}, {120, 1.0}};
        const Scenario before = same;
        const ScenarioKey key{static_cast<Q>(q), 0};
        setScenarioValue(same, key, scenarioValue(same, key));
        EXPECT_EQ(same, before) << q;
    }
}

TEST(ScenarioUncertainty, DeltaMapsLinearlyAndRejectionsAreCounted) {
    // With Gamma 0 the dose is proportional to Delta: each dose percentile is the same
    // multiple of the sampled Delta's percentile.
    const Scenario s = regularScenario(0);
    const Json file = Json::object();
    const UncertaintyPlan plan = readUncertaintySection(
        Json::parse(R"({"samples": 2000, "vary": {"radiopharmaceutical.delta": )"
                    R"({"uniform": [1e-6, 5e-6]}}})"),
        file, s);
    const UncertaintyResult r =
        runScenarioUncertainty(s, rule, plan.keys, plan.inputs, plan.options);
    const double slope = r.nominal / 2.6e-6;
    std::vector<double> deltas = r.values;
    std::sort(deltas.begin(), deltas.end());
    for (std::size_t k = 0; k < kReportedPercentiles.size(); ++k)
        EXPECT_NEAR(r.percentiles[k], slope * percentileOfSorted(deltas, kReportedPercentiles[k]),
                    1e-9 * r.percentiles[k]);

    // A fill-rate factor scales the varied day rate too, whatever the order of the keys.
    const UncertaintyPlan both =
        readUncertaintySection(Json::parse(R"({"vary": {"fill_rate": {"uniform": [0.5, 2]},)"
                                           R"( "fill_rate.day": {"uniform": [0.5, 2]}}})"),
                               file, s);
    const UncertaintyResult scaled =
        runScenarioUncertainty(s, rule, both.keys, both.inputs, {3, 1, 1});
    for (std::size_t k = 0; k < 3; ++k) {
        Scenario expected = s;
        expected.fillRate.dayRate = scaled.values[2 * k] * scaled.values[2 * k + 1];
        expected.fillRate.nightRate = expected.fillRate.dayRate / 2;
        ScenarioWorkspace workspace;
        EXPECT_DOUBLE_EQ(scaled.doses[k], scenarioDose(expected, rule, workspace));
    }

    // A diary void moved before the one ahead of it is refused by the engine: rejected.
    const Scenario d = diaryScenario();
    const UncertaintyPlan moved = readUncertaintySection(
        Json::parse(R"({"samples": 1000, "vary": {"voiding.voids[1]": {"uniform": [0, 200]}}})"),
        file, d);
    const UncertaintyResult m =
        runScenarioUncertainty(d, rule, moved.keys, moved.inputs, {1000, 5, 2});
    // 45 of 200 minutes lie before the first void: rejected. In the 20 min after it the
    // bladder (10 ml left, 1 ml/min) holds less than that void's 30 ml residual: the void
    // leaves what there is, and the sample is used and counted as clamped.
    EXPECT_NEAR(m.rejected / 1000.0, 0.225, 0.04);
    EXPECT_NEAR(m.clamped / 1000.0, 0.1, 0.03);
    EXPECT_EQ(m.used + m.rejected, 1000u);

    // A fraction drawn below 0 would be refused in a scenario file: rejected and counted,
    // never used (normal around 0.05, sd 0.1: 31 % below 0).
    const UncertaintyPlan negative = readUncertaintySection(
        Json::parse(R"({"samples": 2000, "vary": {"radiopharmaceutical.components[0].fraction": )"
                    R"({"normal": {"mean": 0.05, "sd": 0.1}}}})"),
        file, s);
    const UncertaintyResult n =
        runScenarioUncertainty(s, rule, negative.keys, negative.inputs, negative.options);
    EXPECT_NEAR(n.rejected / 2000.0, 0.3085, 0.04);
    for (std::size_t i = 0; i < n.doses.size(); ++i)
        EXPECT_EQ(std::isnan(n.doses[i]), n.values[i] < 0) << n.values[i];
}

TEST(ScenarioUncertainty, PopulationPresetVariesTheHabits) {
    const Scenario s = regularScenario();
    const UncertaintyPlan plan = readUncertaintySection(
        Json::parse(R"({"samples": 3000, "vary": "population"})"), Json::object(), s);
    ASSERT_EQ(plan.inputs.size(), 3u);
    EXPECT_EQ(plan.inputs[0].path, "residual_volume");
    EXPECT_EQ(plan.inputs[1].path, "fill_rate");
    EXPECT_EQ(plan.inputs[2].path, "voiding.interval");
    // The residual's quartiles around the scenario's 10 ml.
    EXPECT_NEAR(quantile(plan.inputs[0].distribution, 0.75), 28.7, 0.1);
    const UncertaintyResult r =
        runScenarioUncertainty(s, rule, plan.keys, plan.inputs, plan.options);
    // Residuals above the volume at a void void nothing: counted, and kept, so the highest
    // residuals stay in the high tail of the doses (their mean above the 75th percentile). A
    // slower filling bladder doses more.
    EXPECT_EQ(r.rejected, 0u);
    EXPECT_GT(r.clamped, 30u);
    std::vector<std::pair<double, double>> byResidual;  // residual, dose
    for (std::size_t i = 0; i < r.doses.size(); ++i)
        byResidual.emplace_back(r.values[3 * i], r.doses[i]);
    std::sort(byResidual.rbegin(), byResidual.rend());
    double highest = 0;  // mean dose of the 30 highest residuals
    for (std::size_t i = 0; i < 30; ++i) highest += byResidual[i].second / 30;
    EXPECT_GT(highest, r.percentiles[4]);
    EXPECT_LT(r.rankCorrelation[1], -0.3);
    EXPECT_GT(r.rankCorrelation[2], 0.05);
}

}  // namespace
