// The fit to a patient's measurements: recovery of known kinetics from what the engine predicts,
// the closed form of cumulative urine, the dose interval's coverage over synthetic patients, the
// choice of the number of components, the fill rate derived from the voids, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "engine/distribution.h"
#include "engine/fit.h"
#include "support.h"

using namespace orvane;

namespace {

ModelParameters kinetics(std::vector<double> fractions, std::vector<double> halfLives) {
    ModelParameters p;
    for (std::size_t c = 0; c < fractions.size(); ++c) {
        p.fraction[c] = fractions[c];
        p.biologicalHalfLife[c] = halfLives[c];
        p.rateConstant[c] = kDecayNumerator / halfLives[c];
    }
    p.physicalHalfLife = 360.6;
    p.physicalDecayConstant = kDecayNumerator / p.physicalHalfLife;
    p.deltaScaled = scaleEmissionConstant(2.6e-6);
    p.gammaScaled = scaleEmissionConstant(5.56e-5);
    return p;
}

const ModelParameters kTwo = kinetics({0.55, 0.3}, {45, 700});

// Twenty voids over two days with changing hydration, so that the volumes vary.
Scenario patient(const ModelParameters& p) {
    Scenario s;
    s.radiopharmaceutical = p;
    s.administeredActivity = 740;
    s.initialVolume = 50;
    s.fillRate.steps = {{0, 1.6}, {200, 0.9}, {600, 0.5}, {1300, 1.1}, {2000, 0.6}};
    s.voiding.kind = VoidingKind::Diary;
    double t = 0;
    for (int j = 0; j < 20; ++j) s.voiding.voids.push_back({t += 60 + (j * 53) % 170});
    s.voiding.voids[5].residual = 40;
    return s;
}

// The bladder activity (MBq) at a multiple of 5 min, from the engine's own time course.
double bladderAt(const Scenario& s, double t) {
    for (const TimePoint& p : computeScenario(s, test::shippedRule(), 5.0).timeCourse)
        if (p.time == t) return *s.administeredActivity * p.activity;
    ADD_FAILURE() << "no time-course point at " << t;
    return 0;
}

// What the patient of scenario s would give: every void counted (the even ones a day later),
// two scans, two whole-body counts (what has not reached the urine, plus the bladder).
Measurements measure(const Scenario& s) {
    const ModelParameters& p = s.radiopharmaceutical;
    const double a = *s.administeredActivity, lp = p.physicalDecayConstant;
    Measurements m;
    int j = 0;
    for (const ScenarioVoid& v : computeScenario(s, test::shippedRule()).voids) {
        MeasuredVoid measured{v.time, v.volume - v.residual, a * v.voided};
        if (j++ % 2 == 0) {
            measured.measuredAt = v.time + 1440;
            *measured.activity *= std::exp(-lp * 1440);
        }
        m.voids.push_back(measured);
    }
    for (double t : {300.0, 1000.0}) {
        m.bladder.push_back({t, bladderAt(s, t)});
        double unexcreted = 1;
        for (int c = 0; c < kComponentCount; ++c)
            unexcreted -= p.fraction[c] * -std::expm1(-p.rateConstant[c] * t);
        m.wholeBody.push_back({t, a * std::exp(-lp * t) * unexcreted + bladderAt(s, t)});
    }
    return m;
}

// Each measured value times (1 + relative z), z standard normal from the seed.
void addNoise(Measurements& m, double relative, std::uint64_t seed) {
    std::mt19937_64 generator(seed);
    auto noisy = [&](double& value) {
        const double u = (static_cast<double>(generator() >> 11) + 0.5) * 0x1.0p-53;
        value *= 1 + relative * standardNormalQuantile(u);
    };
    for (MeasuredVoid& v : m.voids) noisy(*v.activity);
    for (auto* list : {&m.cumulativeUrine, &m.bladder, &m.wholeBody})
        for (MeasuredValue& v : *list) noisy(v.value);
}

double trueDose(const Scenario& s) {
    ScenarioWorkspace workspace;
    return scenarioDose(s, test::shippedRule(), workspace);
}

FitOptions fixed(int components, std::uint64_t samples = 0) {
    FitOptions o;
    o.components = components;
    o.samples = samples;
    return o;
}

TEST(Fit, RecoversTwoComponentsFromNoiselessMeasurements) {
    const Scenario truth = patient(kTwo);
    Measurements m = measure(truth);
    m.voids[10].activity.reset();  // not counted, but voided: it stays in the diary
    m.voids[10].measuredAt.reset();
    // Started from other kinetics of the radiopharmaceutical, and from none (spread starts).
    for (const ModelParameters& start : {kinetics({0.3, 0.3}, {20, 2000}), kinetics({}, {})}) {
        Scenario s = truth;
        s.radiopharmaceutical = start;
        const FitResult r = fitScenario(s, m, test::shippedRule(), fixed(2));
        ASSERT_TRUE(r.converged) << r.message;
        ASSERT_EQ(r.parameters.size(), 2u);
        for (int c = 0; c < 2; ++c) {
            EXPECT_NEAR(r.parameters[c].fraction, kTwo.fraction[c], 1e-4 * kTwo.fraction[c]);
            EXPECT_NEAR(r.parameters[c].halfLife, kTwo.biologicalHalfLife[c],
                        1e-4 * kTwo.biologicalHalfLife[c]);
            EXPECT_NEAR(r.parameters[c].rateConstant, kTwo.rateConstant[c],
                        1e-4 * kTwo.rateConstant[c]);
            EXPECT_GT(r.parameters[c].fractionSe, 0);
        }
        EXPECT_NEAR(r.dose, trueDose(truth), 1e-6 * trueDose(truth));
        EXPECT_LT(r.models.at(0).chiSquare, 1e-12);
        EXPECT_EQ(r.models[0].dof, static_cast<int>(r.residuals.size()) - 4);
        ASSERT_EQ(r.residuals.size(), 23u);
        EXPECT_EQ(r.residuals[10].index, 11);
        for (const FitResidual& e : r.residuals)
            EXPECT_NEAR(e.model, e.measured, 1e-6 * e.measured) << measurementKindName(e.kind);
        EXPECT_TRUE(r.flags.empty());
    }
}

TEST(Fit, CumulativeUrineAloneGivesTheClosedForm) {
    const double f = 0.8, k = kDecayNumerator / 240;
    Scenario s = patient(kinetics({0.5}, {60}));
    s.administeredActivity.reset();  // fractions need no activity
    Measurements m;
    for (double t : {30., 60., 120., 240., 480., 1000., 1440.})
        m.cumulativeUrine.push_back({t, -f * std::expm1(-k * t)});
    const FitResult r = fitScenario(s, m, test::shippedRule(), fixed(1));
    ASSERT_TRUE(r.converged) << r.message;
    EXPECT_NEAR(r.parameters.at(0).fraction, f, 1e-6 * f);
    EXPECT_NEAR(r.parameters[0].rateConstant, k, 1e-6 * k);
}

TEST(Fit, DoseIntervalCoversTheTrueDoseOfNoisyPatients) {
    // 200 patients, 5 % noise, 400 parameter sets per interval (enough for its 2.5 and 97.5
    // percentiles here; the interval's own sampling error widens the spread of coverage a bit).
    // The standard errors match the spread of the fitted values over the patients.
    const Scenario truth = patient(kTwo);
    const double dose = trueDose(truth);
    const Measurements exact = measure(truth);
    Scenario s = truth;
    s.radiopharmaceutical = kinetics({0.4, 0.4}, {30, 1000});
    int covered = 0, fitted = 0;
    std::vector<std::vector<double>> values(4), errors(4);
    for (std::uint64_t patient = 0; patient < 200; ++patient) {
        Measurements m = exact;
        addNoise(m, 0.05, 1000 + patient);
        const FitResult r = fitScenario(s, m, test::shippedRule(), fixed(2, 400));
        if (!r.converged || !r.hasInterval) continue;
        ++fitted;
        covered += r.doseInterval.low <= dose && dose <= r.doseInterval.high;
        for (int c = 0; c < 2; ++c) {
            values[2 * c].push_back(r.parameters[c].fraction);
            errors[2 * c].push_back(r.parameters[c].fractionSe);
            values[2 * c + 1].push_back(r.parameters[c].halfLife);
            errors[2 * c + 1].push_back(r.parameters[c].halfLifeSe);
        }
    }
    EXPECT_EQ(fitted, 200);
    EXPECT_GE(covered, 180);
    EXPECT_LE(covered, 198);
    std::printf("coverage of the 95 %% interval: %d of %d\n", covered, fitted);
    for (int q = 0; q < 4; ++q) {
        const auto n = static_cast<double>(values[q].size());
        double mean = 0, squares = 0, se = 0;
        for (double v : values[q]) mean += v / n;
        for (double v : values[q]) squares += (v - mean) * (v - mean);
        for (double e : errors[q]) se += e / n;
        const double ratio = std::sqrt(squares / (n - 1)) / se;
        EXPECT_GT(ratio, 0.8) << q;
        EXPECT_LT(ratio, 1.25) << q;
        std::printf("parameter %d: spread / standard error %.3f\n", q, ratio);
    }
}

TEST(Fit, AutoChoosesTheNumberOfComponentsTheDataCameFrom) {
    const struct {
        ModelParameters kinetics;
        double noise;
        int expected;
    } cases[] = {{kTwo, 0, 2}, {kTwo, 0.05, 2}, {kinetics({0.7}, {120}), 0, 1}};
    for (const auto& c : cases) {
        const Scenario truth = patient(c.kinetics);
        Measurements m = measure(truth);
        if (c.noise > 0) addNoise(m, c.noise, 7);
        Scenario s = truth;
        s.radiopharmaceutical = kinetics({}, {});
        const FitResult r = fitScenario(s, m, test::shippedRule(), fixed(0, 200));
        ASSERT_TRUE(r.converged) << r.message;
        EXPECT_EQ(r.components, c.expected) << c.noise;
        ASSERT_EQ(r.models.size(), 3u);
        for (int n = 0; n < 3; ++n) EXPECT_EQ(r.models[n].components, n + 1);
        // Each model nests the one before: its chi-square is no larger.
        for (int n = 1; n < 3; ++n)
            EXPECT_LE(r.models[n].chiSquare, r.models[n - 1].chiSquare * (1 + 1e-9) + 1e-12);
        if (c.expected == 2) {
            EXPECT_GT(r.models[0].chiSquare, 100 * r.models[1].chiSquare);
        }
        ASSERT_TRUE(r.hasInterval);
        EXPECT_LT(r.doseInterval.low, r.doseInterval.high);
    }
}

TEST(Fit, IntervalIsTheSameForAnyNumberOfThreads) {
    Measurements m = measure(patient(kTwo));
    addNoise(m, 0.05, 3);
    FitOptions o = fixed(2, 1000);
    const FitResult one = fitScenario(patient(kTwo), m, test::shippedRule(), o);
    o.threads = 2;
    const FitResult two = fitScenario(patient(kTwo), m, test::shippedRule(), o);
    ASSERT_TRUE(one.hasInterval);
    EXPECT_EQ(one.doseInterval.low, two.doseInterval.low);
    EXPECT_EQ(one.doseInterval.high, two.doseInterval.high);
    EXPECT_LT(one.doseInterval.low, one.dose);
    EXPECT_GT(one.doseInterval.high, one.dose);
}

TEST(Fit, FractionsAtTheirBoundAreFlagged) {
    // All of it excreted: the fractions add up to 1.
    const Scenario truth = patient(kinetics({0.7, 0.3}, {45, 700}));
    const FitResult r = fitScenario(truth, measure(truth), test::shippedRule(), fixed(2));
    ASSERT_TRUE(r.converged) << r.message;
    ASSERT_FALSE(r.flags.empty());
    EXPECT_EQ(r.flags[0].kind, FitFlagKind::TotalAtBound);
    EXPECT_NEAR(r.parameters[0].fraction + r.parameters[1].fraction, 1, 1e-12);
}

TEST(Fit, NonConvergenceIsNoResult) {
    const Scenario truth = patient(kTwo);
    Scenario s = truth;
    s.radiopharmaceutical = kinetics({0.1, 0.1}, {5, 20000});
    FitOptions o = fixed(2);
    o.maxIterations = 1;
    const FitResult r = fitScenario(s, measure(truth), test::shippedRule(), o);
    EXPECT_FALSE(r.converged);
    EXPECT_FALSE(r.message.empty());
    EXPECT_TRUE(r.parameters.empty());
    EXPECT_FALSE(r.hasInterval);
    ASSERT_EQ(r.models.size(), 1u);
    EXPECT_FALSE(r.models[0].converged);
}

TEST(Fit, FillRateFromVoidsGivesTheRatesBetweenThem) {
    // Rates that change at void times only come back exactly; a void without a volume, and the
    // time after the last, take the mean weighted by the volumes voided.
    Scenario s = patient(kTwo);
    s.fillRate.steps = {{0, 1.5}};
    std::vector<double> rates;
    for (std::size_t j = 1; j < s.voiding.voids.size(); ++j) {
        rates.push_back(0.4 + 0.1 * static_cast<double>(j % 7));
        s.fillRate.steps.push_back({s.voiding.voids[j - 1].at, rates.back()});
    }
    Measurements m = measure(s);
    m.voids[3].volume.reset();
    const FillRatePattern derived = fillRateFromVoids(s, m);
    ASSERT_EQ(derived.steps.size(), s.fillRate.steps.size() + 1);
    double weighted = 0, volume = 0;
    for (std::size_t j = 0; j < m.voids.size(); ++j) {
        EXPECT_EQ(derived.steps[j].from, s.fillRate.steps[j].from);
        if (j == 3) continue;
        EXPECT_NEAR(derived.steps[j].rate, s.fillRate.steps[j].rate, 1e-12) << j;
        weighted += s.fillRate.steps[j].rate * *m.voids[j].volume;
        volume += *m.voids[j].volume;
    }
    EXPECT_NEAR(derived.steps[3].rate, weighted / volume, 1e-12);
    EXPECT_EQ(derived.steps.back().from, m.voids.back().at);
    EXPECT_NEAR(derived.steps.back().rate, weighted / volume, 1e-12);
}

TEST(Fit, MeasuredVoidsBecomeTheDiary) {
    Scenario regular = patient(kTwo);
    regular.voiding = VoidingPattern{};
    const Measurements m = measure(patient(kTwo));
    const Scenario s = withMeasuredDiary(regular, m);
    EXPECT_EQ(s.voiding.kind, VoidingKind::Diary);
    EXPECT_TRUE(s.voiding.then);
    ASSERT_EQ(s.voiding.voids.size(), m.voids.size());
    EXPECT_EQ(s.voiding.voids[7].at, m.voids[7].at);
    EXPECT_EQ(withMeasuredDiary(patient(kTwo), m).voiding.voids, patient(kTwo).voiding.voids);
}

TEST(Fit, RefusesWhatCannotBeFitted) {
    const Scenario base = patient(kTwo);
    const Measurements all = measure(base);
    const struct {
        const char* path;
        const char* reason;
        std::function<void(Scenario&, Measurements&, FitOptions&)> change;
    } cases[] = {
        {"measurements", "4 measured points are too few for the 4 unknowns",
         [](Scenario&, Measurements& m, FitOptions&) {
             m.voids.resize(2);
             m.wholeBody.clear();
         }},
        {"measurements", "3 measured points are too few to choose",
         [](Scenario&, Measurements& m, FitOptions& o) {
             m.voids.resize(1);
             m.wholeBody.clear();
             o.components = 0;
         }},
        {"measurements.voids[1].measured_at", "at or after",
         [](Scenario&, Measurements& m, FitOptions&) {
             m.voids[1].measuredAt = m.voids[1].at - 1;
         }},
        {"administered_activity", "activities in MBq",
         [](Scenario& s, Measurements&, FitOptions&) { s.administeredActivity.reset(); }},
        {"measurements.voids[4].at", "no void at",
         [](Scenario&, Measurements& m, FitOptions&) { m.voids[4].at += 1; }},
        {"measurements.bladder[0].sd", "needs its own sd",
         [](Scenario&, Measurements& m, FitOptions&) { m.bladder[0].value = 0; }},
        {"measurements.relative_sd", "positive",
         [](Scenario&, Measurements& m, FitOptions&) { m.relativeSd = 0; }},
        {"fit.components", "1, 2 or 3",
         [](Scenario&, Measurements&, FitOptions& o) { o.components = 4; }},
    };
    for (const auto& c : cases) {
        Scenario s = base;
        Measurements m = all;
        FitOptions o = fixed(2);
        c.change(s, m, o);
        const auto e =
            test::thrown<ScenarioError>([&] { fitScenario(s, m, test::shippedRule(), o); });
        ASSERT_TRUE(e) << c.path << " accepted";
        EXPECT_EQ(e->path(), c.path);
        EXPECT_NE(e->reason().find(c.reason), std::string::npos) << e->reason();
    }
    // A void that holds less than the 40 ml left by the one before it.
    Measurements m = all;
    m.voids[6].volume = 1;
    const auto e = test::thrown<ScenarioError>([&] { fillRateFromVoids(base, m); });
    ASSERT_TRUE(e) << "negative fill rate accepted";
    EXPECT_EQ(e->path(), "measurements.voids[6].volume");
    EXPECT_NE(e->reason().find("negative"), std::string::npos) << e->reason();
}

}  // namespace
