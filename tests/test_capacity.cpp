// Voiding when the bladder is full: the void times against the closed form and against hand
// calculation across changes of fill rate, the dose against the same voids written as a diary,
// the refusals of a capacity, and the warnings of a bladder above its capacity.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/calculation.h"
#include "engine/capacity.h"
#include "engine/scenario.h"
#include "library/warnings.h"
#include "library/workbench.h"
#include "support.h"

using namespace orvane;

namespace {

// Tc-99m with a fast and a slow urinary component.
const ModelParameters kRadiopharmaceutical{"two components",
                                           {0.7, 0.3, 0, 0},
                                           {0.693 / 40, 0.693 / 600, 0, 0},
                                           {40, 600, 0, 0},
                                           360.6,
                                           kDecayNumerator / 360.6,
                                           scaleEmissionConstant(2.6e-6),
                                           scaleEmissionConstant(5.56e-5)};

// Day 1 ml/min, night 0.5 ml/min from 22:00 to 06:00; administration at 09:00.
Scenario dayAndNight(double initial, double residual, double capacity, double end) {
    Scenario s;
    s.radiopharmaceutical = kRadiopharmaceutical;
    s.administrationClock = 9 * 60;
    s.initialVolume = initial;
    s.residualVolume = residual;
    s.fillRate = {1.0, 0.5, 22 * 60, 6 * 60, {}};
    s.voiding.kind = VoidingKind::Capacity;
    s.voiding.capacity = capacity;
    s.endTime = end;
    return s;
}

std::vector<double> voidTimes(const ScenarioResult& r) {
    std::vector<double> times;
    for (const ScenarioVoid& v : r.voids) times.push_back(v.time);
    return times;
}

// The voids of r must be at `expected`, and the dose that of the same voids as a diary.
void expectVoidsAndDiaryDose(const Scenario& s, const std::vector<double>& expected) {
    const ScenarioResult r = computeScenario(s, test::shippedRule());
    const std::vector<double> times = voidTimes(r);
    ASSERT_EQ(times.size(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        EXPECT_NEAR(times[j], expected[j], 1e-9 * expected[j]) << "void " << j;
    }
    Scenario diary = s;
    diary.voiding = {};
    diary.voiding.kind = VoidingKind::Diary;
    for (double t : expected) diary.voiding.voids.push_back({t});
    const double dose = computeScenario(diary, test::shippedRule()).dose;
    EXPECT_NEAR(r.dose, dose, 1e-12 * dose);
}

TEST(Capacity, ConstantFillVoidsAtTheClosedFormTimes) {
    // Fill rate r: voids at (C - V0) / r, then every (C - R) / r, until one at or after the end.
    const double r = 0.8, v0 = 30, residual = 10, capacity = 250, end = 2000;
    FillRatePattern steps;
    steps.steps = {{0, r}};
    const FillRatePattern sameDayAndNight{r, r, 22 * 60, 6 * 60, {}};  // pieces at 22:00, 06:00
    for (const FillRatePattern& fill : {steps, sameDayAndNight}) {
        Scenario s = dayAndNight(v0, residual, capacity, end);
        s.fillRate = fill;
        std::vector<double> expected{(capacity - v0) / r};
        while (expected.back() < end)
            expected.push_back(expected.back() + (capacity - residual) / r);
        expectVoidsAndDiaryDose(s, expected);
        for (const ScenarioVoid& v : computeScenario(s, test::shippedRule()).voids) {
            EXPECT_NEAR(v.volume, capacity, 1e-9);
        }
    }
}

TEST(Capacity, VoidTimesAreSolvedAcrossTheNight) {
    // C 250, V0 50, R 10 (240 ml between voids): 12:20, 16:20, 20:20; then 100 min of day to
    // 22:00 (110 ml) and 140 ml at 0.5 ml/min, 280 min: 02:40, a void at night; then 200 min
    // of night to 06:00 (110 ml) and 140 min of day: 08:20; then 12:20 again.
    const Scenario s = dayAndNight(50, 10, 250, 1500);
    expectVoidsAndDiaryDose(s, {200, 440, 680, 1060, 1400, 1640});
    EXPECT_DOUBLE_EQ(computeScenario(s, test::shippedRule()).voids[3].clock, 2 * 60 + 40);
}

TEST(Capacity, RegularVoidingAlsoVoidsWhenFull) {
    // Regular: first at 11:00, every 250 min, bedtime 22:00, wake 06:00; capacity 240 ml
    // (230 ml between voids at 1 ml/min). 11:00 by the clock (170 ml); 14:50 and 18:40 full;
    // 22:00 at bedtime (210 ml); 05:40 full at night (230 ml at 0.5 ml/min); 06:00 at wake;
    // 09:50 full, before the clock's 10:10.
    Scenario s = dayAndNight(50, 10, 240, 1400);
    s.voiding.kind = VoidingKind::Regular;
    s.voiding.firstVoid = 120;
    s.voiding.regular = {250, 22 * 60, 6 * 60};
    expectVoidsAndDiaryDose(s, {120, 350, 580, 780, 1240, 1260, 1490});
    const ScenarioResult r = computeScenario(s, test::shippedRule());
    const std::vector<double> volumes{170, 240, 240, 210, 240, 20, 240};
    for (std::size_t j = 0; j < volumes.size(); ++j) {
        EXPECT_NEAR(r.voids[j].volume, volumes[j], 1e-9) << "void " << j;
    }
}

TEST(Capacity, ADiaryContinuesFromItsLastResidual) {
    // Constant 1 ml/min; the diary's last void leaves 30 ml, so the bladder is full 170 min
    // later (17:50); then 190 min later (21:00); then at bedtime, 23:00, before it is full;
    // then full again at night, 190 min later.
    Scenario s = dayAndNight(50, 10, 200, 900);
    s.fillRate = {};
    s.fillRate.steps = {{0, 1.0}};
    s.voiding.kind = VoidingKind::Diary;
    s.voiding.voids = {{100}, {300, 30.0}};
    s.voiding.then = true;
    s.voiding.regular = {400, 23 * 60, 7 * 60};
    EXPECT_EQ(voidTimes(computeScenario(s, test::shippedRule())),
              (std::vector<double>{100, 300, 470, 660, 840, 1030}));
}

TEST(Capacity, RefusedCapacities) {
    struct Case {
        const char* what;
        void (*change)(Scenario&);
        const char* path;
    };
    const Case cases[] = {
        {"missing", [](Scenario& s) { s.voiding.capacity.reset(); }, "voiding.capacity"},
        {"not a number", [](Scenario& s) { s.voiding.capacity = NAN; }, "voiding.capacity"},
        {"zero", [](Scenario& s) { s.voiding.capacity = 0.0; }, "voiding.capacity"},
        {"at the residual", [](Scenario& s) { s.voiding.capacity = 10.0; }, "voiding.capacity"},
        {"below the initial volume", [](Scenario& s) { s.initialVolume = 300; },
         "voiding.capacity"},
        {"with the tables' clock",
         [](Scenario& s) {
             s.fillRate.nightFrom = 0;
             s.fillRate.nightTo = 360;
             s.voiding.kind = VoidingKind::Table;
             s.endTime.reset();  // the table pattern takes no end of its own
         },
         "voiding.capacity"},
        {"in a diary without then",
         [](Scenario& s) {
             s.voiding.kind = VoidingKind::Diary;
             s.voiding.voids = {{100}};
             s.endTime.reset();  // a diary without then ends at its last void
         },
         "voiding.then.capacity"},
        {"below the diary's last residual",
         [](Scenario& s) {
             s.voiding.kind = VoidingKind::Diary;
             s.voiding.voids = {{100, 260.0}};
             s.voiding.then = true;
         },
         "voiding.then.capacity"},
        {"never reached",
         [](Scenario& s) {
             s.fillRate.steps = {{0, 1.0}, {400, 0.0}};
         },
         "voiding.capacity"},
    };
    for (const Case& c : cases) {
        Scenario s = dayAndNight(50, 10, 250, 1500);
        c.change(s);
        EXPECT_EQ(test::refusedAt([&] { computeScenario(s, test::shippedRule()); }), c.path)
            << c.what;
    }
}

TEST(Capacity, CrossingStopsAtTheLimitAndAtTooManyPieces) {
    // Pieces of 10 min at 2 ml/min: from 0 ml, 25 ml is reached at 12.5 min.
    const FillPieceAt pieces = [](double t) {
        return FillPiece{2.0, 10 * std::floor(t / 10) + 10};
    };
    EXPECT_DOUBLE_EQ(*capacityCrossing(0, 0, 25, INFINITY, pieces, 10, "c"), 12.5);
    EXPECT_FALSE(capacityCrossing(0, 0, 25, 12.5, pieces, 10, "c"));
    EXPECT_THROW(capacityCrossing(0, 0, 25, INFINITY, pieces, 1, "c"), ScenarioError);
}

TEST(Capacity, WarningsOfABladderAboveItsCapacity) {
    const struct {
        nlohmann::json document;
        bool warned;
    } cases[] = {
        // An adult filling 1.5 ml/min for 8 h: 730 ml, above 600 ml.
        {{{"initial_volume", 10},
          {"fill_rate", {{"day", 1.5}, {"night", 1.5}}},
          {"voiding", {{"pattern", "regular"}, {"first_void", 480}, {"interval", 480}}}},
         true},
        {{{"initial_volume", 10},
          {"fill_rate", {{"day", 1.0}, {"night", 1.0}}},
          {"voiding", {{"pattern", "regular"}, {"first_void", 240}, {"interval", 240}}}},
         false},
        // A 5-year-old (180 ml, 0.43 ml/min) voiding every 8 h or at 400 ml: above her
        // capacity, not an adult's; at her own capacity she voids when full.
        {{{"patient", {{"age", 5}}},
          {"voiding",
           {{"pattern", "regular"}, {"first_void", 480}, {"interval", 480}, {"capacity", 400}}}},
         true},
        {{{"patient", {{"age", 5}}},
          {"voiding", {{"pattern", "regular"}, {"first_void", 480}, {"interval", 480}}}},
         false},
        // Her own voiding, and voiding only when full, stay at or below it.
        {{{"patient", {{"age", 5}}}}, false},
        {{{"patient", {{"age", 5}}}, {"voiding", {{"pattern", "capacity"}}}}, false},
    };
    const Workbench& workbench = test::shippedWorkbench();
    for (const auto& c : cases) {
        nlohmann::json document = c.document;
        document["radiopharmaceutical"] = {{"standard", "Tc-99m MAG3"}};
        const ScenarioInput in = workbench.readScenario(document);
        const ScenarioResult r = computeScenario(in.scenario, test::shippedRule(), 5.0);
        bool warned = false;
        for (const Warning& w : workbench.scenarioWarnings(in, r)) {
            warned = warned || w.message.find("capacity of") != std::string::npos;
        }
        EXPECT_EQ(warned, c.warned) << c.document.dump();
    }
}

TEST(Capacity, TableWarningsNameTheCellsAboveAnAdultsCapacity) {
    // In every table only the first interval can pass 600 ml (a day interval adds at most
    // 1.5 x 240 ml): the cells with V0 + rate x T0 above it.
    int tables = 0;
    for (int s = 0; s < kScheduleCount; ++s) {
        int cells = 0;
        for (double v0 : kLabelledV0Grid) {
            for (double t0 : kLabelledT0Grid)
                cells += v0 + kFillRateSchedules[s].dayRate * t0 > 600;
        }
        const std::vector<Warning> warnings = tableCapacityWarnings(s);
        ASSERT_EQ(warnings.size(), cells ? 1u : 0u) << s;
        tables += cells > 0;
        if (cells) {
            EXPECT_NE(warnings[0].message.find(std::to_string(cells) + " of its 63 cells"),
                      std::string::npos)
                << warnings[0].message;
        }
    }
    EXPECT_EQ(tables, 2);
    // The largest, 500 ml + 1.5 ml/min x 180 min; and none without a table chosen.
    EXPECT_NE(tableCapacityWarnings(2)[0].message.find("up to 770 ml"), std::string::npos);
    EXPECT_TRUE(tableCapacityWarnings().empty());
}

}  // namespace
