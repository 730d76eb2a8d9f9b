// The scenario engine: the tables' cells as scenarios, accuracy against an independent
// extended-precision integration, the void list by hand, and the real-clock patterns.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/calculation.h"
#include "engine/scenario.h"
#include "engine/scenario_events.h"
#include "engine/simulation.h"
#include "library/standards.h"
#include "report/scenario_report.h"

using namespace orvane;

namespace {

const StandardData data = LoadStandardData(ORVANE_SOURCE_DIR "/data/orvane.dat");
const QuadratureRule rule{data.tables.quadratureNodes, data.tables.quadratureWeights};

ModelParameters standard(int index) {
    const StandardFieldTexts texts = standardFieldTexts(data.library[index]);
    return readModelParameters(texts.fields, texts.name);
}

int standardIndex(const char* name) {
    for (int i = 0; i < kStandardCount; ++i) {
        if (std::string(kStandardNames[i]).find(name) != std::string::npos) return i;
    }
    ADD_FAILURE() << name;
    return 0;
}

// Two components, a short and a long half-life, with both kinds of emission.
ModelParameters twoComponents() {
    ModelParameters p;
    p.fraction = {0.7, 0.3, 0, 0};
    p.rateConstant = {0.693 / 40, 0.693 / 600, 0, 0};
    p.biologicalHalfLife = {40, 600, 0, 0};
    p.physicalHalfLife = 360.6;
    p.physicalDecayConstant = kDecayNumerator / p.physicalHalfLife;
    p.deltaScaled = scaleEmissionConstant(2.6e-6);
    p.gammaScaled = scaleEmissionConstant(5.56e-5);
    return p;
}

// A negative fraction: the activity goes negative, and is counted as 0, inside intervals.
ModelParameters negativeFraction() {
    ModelParameters p = twoComponents();
    p.fraction = {1.3, -0.3, 0, 0};
    p.rateConstant = {0.693 / 300, 0.693 / 20, 0, 0};
    p.biologicalHalfLife = {300, 20, 0, 0};
    return p;
}

// One workspace for all: the segments' weights kept from one radiopharmaceutical's cells must
// not serve the next one's.
TEST(Scenario, TableCellsOfTwoStandardsAreReproduced) {
    ScenarioWorkspace workspace;
    for (const ModelParameters& p :
         {standard(standardIndex("MAG3")), standard(standardIndex("I-131")), negativeFraction()}) {
        const std::string& name = p.name;
        const DoseResults tables = computeDoseResults(p, data.tables);
        Scenario s;
        s.radiopharmaceutical = p;
        s.voiding.kind = VoidingKind::Table;
        for (int k = 0; k < kScheduleCount; ++k) {
            s.fillRate.dayRate = kFillRateSchedules[k].dayRate;
            s.fillRate.nightRate = kFillRateSchedules[k].nightRate;
            for (int v = 0; v < kV0Count; ++v) {
                for (int t = 0; t < kT0Count; ++t) {
                    s.initialVolume = data.tables.v0Grid[v];
                    s.voiding.firstVoid = data.tables.t0Grid[t];
                    const double cell = tables.tables[k].at(t, v);
                    EXPECT_NEAR(scenarioDose(s, rule, workspace), cell, 1e-12 * cell)
                        << name << " schedule " << k << " V0 " << v << " T0 " << t;
                }
            }
        }
        s.voiding.firstVoid = 140;
        const ScenarioResult r = computeScenario(s, rule);
        EXPECT_EQ(r.voids.size(), static_cast<std::size_t>(IntervalCount(p)));
    }
}

// The literal model in long double: A(t) = U(t) - O(t) over every earlier void, integrated by
// the 16-point rule on pieces of at most 2 min and 10 % growth in volume.
struct Reference {
    ModelParameters p;
    double v0;
    std::vector<FillStep> steps;
    std::vector<DiaryVoid> voids;
    double residual;

    long double rateAt(long double t) const {
        double rate = steps[0].rate;
        for (const FillStep& s : steps)
            if (t >= s.from) rate = s.rate;
        return rate;
    }
    long double inflow(long double t) const {
        long double sum = 0;
        for (int c = 0; c < kComponentCount; ++c) {
            if (p.fraction[c] == 0) continue;
            sum += expl(-p.physicalDecayConstant * t) * (1 - expl(-p.rateConstant[c] * t)) *
                   p.fraction[c];
        }
        return sum;
    }
    long double dose() const {
        struct Past {
            long double time, left;  // activity that left, decaying from time
        };
        std::vector<Past> past;
        auto activity = [&](long double t) {
            long double a = inflow(t);
            for (const Past& v : past) a -= expl(-p.physicalDecayConstant * (t - v.time)) * v.left;
            return a;
        };
        long double total = 0, start = 0, volume = v0;
        for (const DiaryVoid& v : voids) {
            std::vector<long double> cuts{start};
            for (const FillStep& s : steps)
                if (s.from > start && s.from < v.at) cuts.push_back(s.from);
            cuts.push_back(v.at);
            for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
                const long double rate = rateAt(cuts[i]);
                long double a = cuts[i];
                while (a < cuts[i + 1]) {
                    long double b = std::min(cuts[i + 1], a + 2.0L);
                    if (rate > 0) b = std::min(b, a + 0.1L * volume / rate);
                    const long double half = (b - a) / 2;
                    for (int n = 0; n < kNodeCount; ++n) {
                        for (const long double y :
                             {(long double)rule.nodes[n], -(long double)rule.nodes[n]}) {
                            const long double t = a + (1 + y) * half;
                            const long double vol = volume + rate * (t - a);
                            const long double s =
                                p.deltaScaled / (vol * 120) +
                                p.gammaScaled * 0.0039L / (powl(vol, 0.667L) * 60);
                            total += rule.weights[n] * half * s * activity(t);
                        }
                    }
                    volume += rate * (b - a);
                    a = b;
                }
            }
            const long double r = v.residual.value_or(residual);
            past.push_back({(long double)v.at, activity(v.at) * (1 - r / volume)});
            volume = r;
            start = v.at;
        }
        return total * 1000 / 3.7L;
    }
};

TEST(Scenario, CustomPatternsMatchAnExtendedPrecisionIntegration) {
    const std::vector<Reference> cases = {
        // An 8-hour night at 0.05 ml/min from a 1 ml residual.
        {twoComponents(),
         30,
         {{0, 2.0}, {150, 1.0}, {420, 0.05}, {900, 1.5}},
         {{60}, {200}, {420}, {900}, {1000, 25.0}, {1320}},
         1.0},
        // One fast component from a large bladder, voids far apart.
        {standard(standardIndex("MAG3")), 300, {{0, 0.5}}, {{45}, {150, 60.0}, {600}, {1500}}, 10},
    };
    for (const Reference& c : cases) {
        Scenario s;
        s.radiopharmaceutical = c.p;
        s.initialVolume = c.v0;
        s.residualVolume = c.residual;
        s.fillRate.steps = c.steps;
        s.voiding.kind = VoidingKind::Diary;
        s.voiding.voids = c.voids;
        const double expected = static_cast<double>(c.dose());
        EXPECT_NEAR(computeScenario(s, rule).dose, expected, 1e-9 * expected);
    }
}

// A residual of 1e-300 ml gives the dose of 1e-15 ml (its pieces graded from there up; what
// it costs is measured by bench_scenario), and the smallest double is computed too.
TEST(Scenario, ATinyResidualGivesTheDoseOfASmallOne) {
    Scenario s;
    s.radiopharmaceutical = twoComponents();
    s.initialVolume = 30;
    s.fillRate.steps = {{0, 2.0}, {150, 1.0}, {420, 0.05}, {900, 1.5}};
    s.voiding.kind = VoidingKind::Diary;
    s.voiding.voids = {{60}, {200}, {420}, {900}, {1000}, {1320}};
    s.residualVolume = 1e-15;
    const double small = computeScenario(s, rule).dose;
    s.residualVolume = 1e-300;
    EXPECT_NEAR(computeScenario(s, rule).dose, small, 1e-9 * small);
    // The smallest double: computed, with a dose rate at every point of the time course.
    s.residualVolume = 5e-324;
    const ScenarioResult smallest = computeScenario(s, rule, 30.0);
    EXPECT_NEAR(smallest.dose, small, 1e-9 * smallest.dose);
    for (const TimePoint& p : smallest.timeCourse) EXPECT_TRUE(std::isfinite(p.doseRate)) << p.time;
}

TEST(Scenario, TwoVoidsByHand) {
    ModelParameters p = twoComponents();
    p.fraction = {1, 0, 0, 0};
    const double lp = p.physicalDecayConstant, k = p.rateConstant[0];
    Scenario s;
    s.radiopharmaceutical = p;
    s.initialVolume = 50;
    s.administeredActivity = 400;
    s.fillRate.steps = {{0, 1.0}};
    s.voiding.kind = VoidingKind::Diary;
    s.voiding.voids = {{60}, {150, 20.0}};
    const ScenarioResult r = computeScenario(s, rule, 30.0);
    ASSERT_EQ(r.voids.size(), 2u);

    const double a1 = std::exp(-lp * 60) * (1 - std::exp(-k * 60));
    const double left1 = a1 * (1 - 10.0 / 110);
    const double a2 = std::exp(-lp * 150) * (1 - std::exp(-k * 150)) - std::exp(-lp * 90) * left1;
    const double expected[2][5] = {{60, 110, a1, left1, left1},
                                   {150, 100, a2, a2 * 0.8, left1 + a2 * 0.8}};
    for (int j = 0; j < 2; ++j) {
        const ScenarioVoid& v = r.voids[j];
        EXPECT_DOUBLE_EQ(v.time, expected[j][0]);
        EXPECT_DOUBLE_EQ(v.volume, expected[j][1]);
        EXPECT_NEAR(v.activity, expected[j][2], 1e-14);
        EXPECT_NEAR(v.voided, expected[j][3], 1e-14);
        EXPECT_NEAR(v.excreted, expected[j][4], 1e-14);
    }
    EXPECT_DOUBLE_EQ(r.voids[1].clock, 540 + 150);
    EXPECT_NEAR(r.intervals[0].dose + r.intervals[1].dose, r.dose, 1e-15);
    // The time course: every 30 min, and before and after each void.
    std::vector<double> times;
    for (const TimePoint& t : r.timeCourse) times.push_back(t.time);
    EXPECT_EQ(times, (std::vector<double>{0, 30, 60, 60, 90, 120, 150, 150}));
    EXPECT_DOUBLE_EQ(r.timeCourse[3].volume, 10);
    EXPECT_NEAR(r.timeCourse.back().activity, a2 * 0.2, 1e-14);
    EXPECT_NEAR(r.timeCourse.back().cumulativeDose, r.dose, 1e-15);
    EXPECT_NEAR(r.timeCourse[1].activity, std::exp(-lp * 30) * (1 - std::exp(-k * 30)), 1e-15);
    // Left at the end: what the last void left, and what is still to reach the bladder.
    EXPECT_NEAR(r.activityLeft, a2 * 0.2 + std::exp(-(lp + k) * 150), 1e-14);
    s.radiopharmaceutical.fraction = {0.4, 0, 0, 0};
    EXPECT_NEAR(computeScenario(s, rule).activityLeft, 0.4 * (a2 * 0.2 + std::exp(-(lp + k) * 150)),
                1e-14);
}

TEST(Scenario, RegularVoidingFollowsTheClock) {
    Scenario s;
    s.radiopharmaceutical = twoComponents();
    s.initialVolume = 60;
    s.administrationClock = 14 * 60 + 30;
    s.voiding.firstVoid = 45;
    s.voiding.regular = {120, 23 * 60, 7 * 60};
    s.endTime = 1500;
    const ScenarioResult r = computeScenario(s, rule);
    std::vector<double> times;
    for (const ScenarioVoid& v : r.voids) times.push_back(v.time);
    // 15:15, every 2 h to 21:15, bedtime 23:00, wake 07:00, 09:00, 11:00.
    EXPECT_EQ(times,
              (std::vector<double>{45, 165, 285, 405, 510, 990, 1110, 1230, 1350, 1470, 1590}));
    // A first void in the night is followed by one at wake-up.
    s.voiding.firstVoid = 600;  // 00:30
    s.endTime = 1000;
    const ScenarioResult night = computeScenario(s, rule);
    EXPECT_EQ(night.voids[1].time, 990);
}

// The nights drawn are where the engine fills at the night rate: the night-rate segments of
// the scenario's own events, joined, are exactly scenarioNights. The "table" pattern's night
// follows the tables' clock: 03:00-09:00 after a T0 of 20-160 min, 00:00-06:00 after 180.
TEST(Scenario, NightSpansAreWhereTheNightRateFills) {
    struct Case {
        const char* what;
        VoidingKind kind;
        double firstVoid;
        double administration;
        double nightFrom, nightTo;
        const char* firstNight;  // "HH:MM-HH:MM" by the clock
    };
    const std::vector<Case> cases = {
        {"table, T0 20", VoidingKind::Table, 20, 540, 0, 360, "03:00-09:00"},
        {"table, T0 100", VoidingKind::Table, 100, 540, 0, 360, "03:00-09:00"},
        {"table, T0 160", VoidingKind::Table, 160, 540, 0, 360, "03:00-09:00"},
        {"table, T0 180", VoidingKind::Table, 180, 540, 0, 360, "00:00-06:00"},
        {"regular, night 23:00-07:00", VoidingKind::Regular, 45, 870, 1380, 420, "23:00-07:00"},
        {"regular, given inside the night", VoidingKind::Regular, 30, 120, 1380, 420,
         "02:00-07:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s;
        s.radiopharmaceutical = twoComponents();
        s.initialVolume = 50;
        s.administrationClock = c.administration;
        s.fillRate = {1.0, 0.5, c.nightFrom, c.nightTo, {}};
        s.voiding.kind = c.kind;
        s.voiding.firstVoid = c.firstVoid;
        s.voiding.regular = {180, c.nightFrom, c.nightTo};
        s.voiding.tableIntervals = 30;  // the "table" pattern's end; it takes no end_time
        if (c.kind != VoidingKind::Table) s.endTime = 4000;
        checkScenario(s);
        ScenarioEvents events;
        buildScenarioEvents(s, events);
        std::vector<TimeSpan> slow;
        for (const ScenarioSegment& seg : events.segments) {
            if (seg.rate != s.fillRate.nightRate) continue;
            if (!slow.empty() && slow.back().to == seg.start) {
                slow.back().to = seg.start + seg.length;
            } else {
                slow.push_back({seg.start, seg.start + seg.length});
            }
        }
        const std::vector<TimeSpan> nights = scenarioNights(s, events.voidTimes.back());
        ASSERT_GE(nights.size(), 2u);
        EXPECT_EQ(nights, slow);
        const std::string first = clockText(clockAt(s.administrationClock, nights[0].from)) + "-" +
                                  clockText(clockAt(s.administrationClock, nights[0].to));
        EXPECT_EQ(first, c.firstNight);
        EXPECT_EQ(nights[2].from - nights[1].from, kMinutesPerDay);
        if (c.kind == VoidingKind::Table) {
            // The report names the night where the clock puts it.
            std::string words;
            for (const std::string& line : scenarioInWords(s, computeScenario(s, rule)))
                words += line + "\n";
            std::string named = "(" + first + ")";
            named.replace(named.find('-'), 1, " to ");
            EXPECT_NE(words.find("night interval (" + named.substr(1)), std::string::npos) << words;
        }
    }
    Scenario stepped;
    stepped.fillRate.steps = {{0, 1.0}, {600, 0.5}};
    EXPECT_TRUE(scenarioNights(stepped, 3000).empty());
}

}  // namespace
