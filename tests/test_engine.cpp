// The calculation core: number texts, the voiding clock, the reference simulation against an
// independent integration, refusals, the driver and the time estimate.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/numtext.h"
#include "engine/simulation.h"

using namespace orvane;

namespace {

ModelTables standardTables() {
    ModelTables t;
    t.v0Grid = {10, 50, 100, 200, 300, 400, 500};
    t.t0Grid = {20, 40, 60, 80, 100, 120, 140, 160, 180};
    t.quadratureNodes = {0.095012509837637440, 0.28160355077925891, 0.45801677765722739,
                         0.61787624440264375,  0.75540440835500303, 0.86563120238783174,
                         0.94457502307323258,  0.98940093499164993};
    t.quadratureWeights = {0.18945061045506850, 0.18260341504492359, 0.16915651939500254,
                           0.14959598881657673, 0.12462897125553387, 0.095158511682492785,
                           0.062253523938647893, 0.027152459411754095};
    return t;
}

// Tc-99m DTPA as its fields show it.
FieldTexts dtpaFields() {
    FieldTexts f{};
    f[0] = "9.90E-01"; f[1] = "6.93E-03"; f[2] = "1.00E+02";
    f[3] = "1.00E-02"; f[4] = "6.88E-05"; f[5] = "1.01E+04";
    f[12] = "3.61E+02"; f[13] = "2.60E-06"; f[14] = "5.56E-05";
    return f;
}

}  // namespace

TEST(NumberText, FormatsAsTheWindowsAndFilesShowThem) {
    using Format = std::string (*)(double);
    const std::vector<std::tuple<Format, double, const char*>> cases{
        {formatScientific, 0.0123, "1.23E-02"}, {formatScientific, 360, "3.60E+02"},
        {formatScientific, 0, "0.00E+00"}, {formatScientific, -0.0, "0.00E+00"},
        {formatScientific, 109.77, "1.10E+02"}, {formatScientific, -2.5e-5, "-2.50E-05"},
        {formatScientific, 9.996, "1.00E+01"}, {formatScientific, 1.5e-100, "1.50E-100"},
        // Exact halves round away from zero; everything else to the nearest text.
        {formatScientific, 0.3125, "3.13E-01"}, {formatScientific, -0.3125, "-3.13E-01"},
        {formatScientific, 1.235, "1.24E+00"},  // just above the half in binary
        {formatScientific, 1.255, "1.25E+00"},  // just below it
        {formatUpTo3Decimals, 0.25, "0.25"}, {formatUpTo3Decimals, 1, "1."},
        {formatUpTo3Decimals, 0.75, "0.75"}, {formatUpTo3Decimals, 0.12345, "0.123"},
        {formatUpTo3Decimals, 0.0625, "0.063"}, {formatOneDecimal, 4.676, "4.7"},
        {formatOneDecimal, 0.714, "0.7"}, {formatOneDecimal, 0, "0.0"},
        {formatOneDecimal, 0.25, "0.3"}, {formatOneDecimal, 12345.04, "12345.0"},
        {formatWhole, 10, "10"}, {formatWhole, 2.5, "3"}, {formatPlain, 0, " 0"},
        {formatPlain, 180, " 180"}, {formatPlain, -5, "-5"}};
    for (const auto& [format, value, text] : cases) EXPECT_EQ(format(value), text) << value;
}

TEST(NumberText, ReadsTheLongestLeadingNumber) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<std::string, double>> cases{
        {"1.10E+02", 110}, {"  12abc", 12}, {"\t7", 7}, {"abc", 0}, {"", 0}, {"1e", 1},
        {"1e+", 1}, {"-3.5e-2x", -0.035}, {"1,5", 1}, {".5", 0.5}, {"5.", 5}, {"+3", 3},
        {".", 0}, {"-", 0},
        // Neither hex nor the words that strtod accepts are numbers here.
        {"0x1A", 0}, {"inf", 0}, {"nan", 0}, {"infinity", 0},
        // Out of range: overflow reads as infinite (and is refused later), underflow as 0.
        {"1E999", inf}, {"-1E999", -inf}, {"1E-999", 0}, {std::string(400, '9'), inf},
        {"0." + std::string(400, '0') + "1", 0}};
    for (const auto& [text, value] : cases) EXPECT_EQ(textToNumber(text), value) << text;
    // A negative zero reads as plain 0, so it never shows as "-0.00E+00".
    EXPECT_FALSE(std::signbit(textToNumber("-0")));
    const LeadingNumber n = readLeadingNumber("  -2.5E3kg");
    EXPECT_EQ(n.value, -2500);
    EXPECT_EQ(n.length, 8u);
    EXPECT_FALSE(readLeadingNumber("  x").found());
    for (double v : {110.0, 0.00693, 0.5, 2.5e-5, 1.23e-2, 6.02e23}) {
        EXPECT_EQ(textToNumber(formatScientific(v)), v) << formatScientific(v);
    }
}

TEST(IntervalCount, CoversTenEffectiveHalfLivesInThreeHourSteps) {
    ModelParameters p;
    p.physicalHalfLife = 360;
    EXPECT_EQ(IntervalCount(p), 5);  // Tbmax 0
    p.biologicalHalfLife = {360, 0, 0, 0};
    EXPECT_EQ(IntervalCount(p), 11);
    p.physicalHalfLife = 1800;
    p.biologicalHalfLife = {0, 0, 0, 1800};  // every component counts, whatever its fraction
    EXPECT_EQ(IntervalCount(p), 51);
    p.physicalHalfLife = 6000;
    p.biologicalHalfLife = {10, 6000, 20, 30};
    EXPECT_EQ(IntervalCount(p), 167);
    p.physicalHalfLife = 1780;
    p.biologicalHalfLife = {1780, 0, 0, 0};
    EXPECT_EQ(IntervalCount(p), 50);
    p.physicalHalfLife = 1e300;
    p.biologicalHalfLife = {1e300, 0, 0, 0};
    EXPECT_EQ(IntervalCount(p), kIntervalCountCeiling);
}

TEST(VoidingClock, FollowsTheDayAndNightSchedule) {
    auto ends = [](double t0, int count) {
        VoidingClock clock(kFillRateSchedules[1], 100, t0);
        std::vector<IntervalBounds> bounds;
        for (int i = 0; i < count; ++i) bounds.push_back(clock.next());
        return bounds;
    };
    // T0 = 180 reaches midnight after four more day intervals; interval 6 is the night.
    auto b = ends(180, 8);
    EXPECT_EQ(b[0].startVolume, 100);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(b[i].end - b[i].start, 180);
        EXPECT_EQ(b[i].startVolume, 10);
        EXPECT_EQ(b[i].rate, 1.0);
    }
    EXPECT_EQ(b[5].end - b[5].start, 360);
    EXPECT_EQ(b[5].rate, 0.5);
    EXPECT_EQ(b[6].end - b[6].start, 180);
    EXPECT_EQ(b[6].rate, 1.0);

    // T0 = 20: the sixth void falls at 00:20, so interval 7 is 160 min, then the night.
    b = ends(20, 9);
    EXPECT_EQ(b[0].end, 20);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(b[i].end - b[i].start, 180);
    EXPECT_EQ(b[6].end - b[6].start, 160);
    EXPECT_EQ(b[6].rate, 1.0);
    EXPECT_EQ(b[7].end - b[7].start, 360);
    EXPECT_EQ(b[7].rate, 0.5);
    EXPECT_EQ(b[8].end - b[8].start, 180);
    EXPECT_EQ(b[8].start, b[7].end);
}

// An independent model of the same bladder: the kidneys' pools and the bladder content as
// differential equations stepped with RK4, the void multiplying the content by 10 / V.
double integrateBladderOde(const ModelParameters& p, const FillRateSchedule& s, double v0,
                           double t0, int n) {
    VoidingClock clock(s, v0, t0);
    std::array<double, 4> pool{};  // still in the body, undecayed, per component
    for (int i = 0; i < 4; ++i) pool[i] = p.fraction[i];
    double bladder = 0.0;  // decayed activity in the bladder
    double dose = 0.0;     // integral of bladder x S(V), rad/uCi
    auto rate = [&](double t, const std::array<double, 4>& k, double b) {
        double in = 0.0;
        for (int i = 0; i < 4; ++i) in += p.rateConstant[i] * k[i] * std::exp(-p.physicalDecayConstant * t);
        return in - p.physicalDecayConstant * b;
    };
    auto factor = [&](double v) {
        return p.deltaScaled / (v * 120) + (p.gammaScaled * 0.0039) / (std::pow(v, 0.667) * 60);
    };
    for (int d = 0; d < n; ++d) {
        const IntervalBounds b = clock.next();
        const int steps = static_cast<int>((b.end - b.start) / 0.05) + 1;
        const double h = (b.end - b.start) / steps;
        for (int k = 0; k < steps; ++k) {
            const double t = b.start + k * h;
            const auto poolAt = [&](double dt) {
                std::array<double, 4> q{};
                for (int i = 0; i < 4; ++i) q[i] = pool[i] * std::exp(-p.rateConstant[i] * dt);
                return q;
            };
            const double v1 = b.startVolume + b.rate * (t - b.start);
            const double v2 = v1 + b.rate * h / 2;
            const double v3 = v1 + b.rate * h;
            const double k1 = rate(t, poolAt(0), bladder);
            const double k2 = rate(t + h / 2, poolAt(h / 2), bladder + h / 2 * k1);
            const double k3 = rate(t + h / 2, poolAt(h / 2), bladder + h / 2 * k2);
            const double k4 = rate(t + h, poolAt(h), bladder + h * k3);
            const double bMid = bladder + h / 2 * (k1 + k2) / 2;  // close to B(t + h/2)
            const double bEnd = bladder + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
            dose += h / 6 * (bladder * factor(v1) + 4 * bMid * factor(v2) + bEnd * factor(v3));
            bladder = bEnd;
            pool = poolAt(h);
        }
        bladder *= kResidualVolume / (b.startVolume + b.rate * (b.end - b.start));
    }
    return 1000 * dose / 3.7;
}

TEST(SimulateDose, AgreesWithAnIndependentIntegrationOfTheBladder) {
    const ModelTables tables = standardTables();
    const ModelParameters p = readModelParameters(dtpaFields(), "");
    VoidHistory history;
    for (int s : {0, 2}) {
        for (auto [v0, t0] : {std::pair{10.0, 20.0}, {300.0, 180.0}, {50.0, 100.0}}) {
            const double reference = SimulateDose(p, kFillRateSchedules[s], v0, t0, 11,
                                                  tables.quadratureNodes,
                                                  tables.quadratureWeights, history);
            const double ode = integrateBladderOde(p, kFillRateSchedules[s], v0, t0, 11);
            EXPECT_NEAR(reference / ode, 1.0, 2e-4) << "schedule " << s << " V0 " << v0;
        }
    }
}

TEST(SimulateDose, ComponentsThatTakeNoPartGiveExactZeros) {
    const ModelTables tables = standardTables();
    FieldTexts f{};
    f[12] = "360";
    f[13] = "1";
    f[14] = "1";
    f[1] = "0.01";   // rate constant without a fraction
    f[5] = "100";
    DoseResults r = RunCalculation(f, "", tables, DoseEngine::Reference);
    for (const DoseTable& table : r.tables) {
        for (const auto& row : table.dose) {
            for (double d : row) EXPECT_EQ(d, 0.0);
        }
    }
    f[3] = "0.5";  // a fraction whose rate constant is 0 never reaches the bladder
    r = RunCalculation(f, "", tables, DoseEngine::Reference);
    EXPECT_EQ(r.tables[1].at(4, 3), 0.0);
}

TEST(SimulateDose, RecordsTheVoidsOfTheFirstInterval) {
    const ModelTables tables = standardTables();
    const ModelParameters p = readModelParameters(dtpaFields(), "");
    VoidHistory h;
    SimulateDose(p, kFillRateSchedules[0], 50, 60, 5, tables.quadratureNodes,
                 tables.quadratureWeights, h);
    EXPECT_EQ(h.voidTime[1], 60);
    EXPECT_EQ(h.voidVolume[1], 50 + 0.5 * 60);
    EXPECT_EQ(h.voidTime[2], 240);
    EXPECT_EQ(h.voidVolume[2], 10 + 0.5 * 180);
    double delivered = 0;
    for (int i = 0; i < 4; ++i) {
        if (p.fraction[i] == 0) continue;
        delivered += std::exp(-p.physicalDecayConstant * 60) *
                     ((1 - std::exp(-p.rateConstant[i] * 60)) * p.fraction[i]);
    }
    EXPECT_DOUBLE_EQ(h.voidActivity[1], delivered);
}

TEST(SimulateDose, ClampsNegativeActivityButRecordsItAtTheVoid) {
    // A negative fraction makes the outflow of earlier voids exceed the inflow.
    const ModelTables tables = standardTables();
    FieldTexts f{};
    f[0] = "1"; f[1] = "0.05";
    f[3] = "-0.9"; f[4] = "0.001";
    f[12] = "360"; f[13] = "1"; f[14] = "0";
    const ModelParameters p = readModelParameters(f, "");
    VoidHistory h;
    const double dose = SimulateDose(p, kFillRateSchedules[0], 10, 20, 8,
                                     tables.quadratureNodes, tables.quadratureWeights, h);
    bool negativeVoid = false;
    for (int d = 1; d <= 8; ++d) negativeVoid = negativeVoid || h.voidActivity[d] < 0;
    EXPECT_TRUE(negativeVoid);
    EXPECT_GE(dose, 0.0);
    EXPECT_TRUE(std::isfinite(dose));
}

TEST(Calculation, ReadsTheFieldsWithTheirScalings) {
    FieldTexts f = dtpaFields();
    f[12] = "360";
    f[13] = "1";
    f[14] = "1.10E+02";
    const ModelParameters p = readModelParameters(f, "Tc-99m DTPA");
    EXPECT_EQ(p.name, "Tc-99m DTPA");
    EXPECT_EQ(p.physicalDecayConstant, 0.693 / 360);
    EXPECT_DOUBLE_EQ(p.physicalDecayConstant, 0.001925);
    EXPECT_EQ(p.deltaScaled, 13320);
    EXPECT_EQ(p.gammaScaled, 110.0 * 37 * 3600 / 10);
    EXPECT_EQ(p.fraction[1], 0.01);
    EXPECT_EQ(p.biologicalHalfLife[1], 10100);
    EXPECT_EQ(unscaleEmissionConstant(scaleEmissionConstant(0.0123)), 0.0123);
}

TEST(Calculation, FillsAllTablesAndKeepsTheirParameters) {
    const ModelTables tables = standardTables();
    const DoseResults a = RunCalculation(dtpaFields(), "Tc-99m DTPA", tables, DoseEngine::Reference);
    const DoseResults b = RunCalculation(dtpaFields(), "Tc-99m DTPA", tables, DoseEngine::Reference);
    EXPECT_EQ(a.parameters, readModelParameters(dtpaFields(), "Tc-99m DTPA"));
    EXPECT_EQ(a.grids, tables);
    for (int s = 0; s < kScheduleCount; ++s) {
        EXPECT_EQ(a.tables[s], b.tables[s]);
        for (const auto& row : a.tables[s].dose) {
            for (double d : row) EXPECT_GT(d, 0.0);
        }
    }
    // Faster filling dilutes the urine: less dose at the same V0 and T0.
    EXPECT_GT(a.tables[0].at(4, 2), a.tables[1].at(4, 2));
    EXPECT_GT(a.tables[1].at(4, 2), a.tables[2].at(4, 2));
    // Each cell is SimulateDose at that schedule, V0 and T0.
    VoidHistory h;
    const double cell = SimulateDose(a.parameters, kFillRateSchedules[2], 200, 140,
                                     static_cast<int>(IntervalCount(a.parameters)),
                                     tables.quadratureNodes, tables.quadratureWeights, h);
    EXPECT_EQ(a.tables[2].at(6, 3), cell);
}

TEST(Calculation, RefusesUndefinedInputNamingTheField) {
    const ModelTables tables = standardTables();
    auto refusal = [&](FieldTexts f) -> std::pair<int, std::string> {
        try {
            RunCalculation(f, "", tables, DoseEngine::Reference);
        } catch (const InputError& e) {
            return {e.field(), e.what()};
        }
        return {-2, ""};
    };
    FieldTexts f = dtpaFields();
    f[12] = "";
    auto [field, message] = refusal(f);
    EXPECT_EQ(field, 12);
    EXPECT_NE(message.find("Physical Half-Life (min)"), std::string::npos) << message;
    f[12] = "-360";
    EXPECT_EQ(refusal(f).first, 12);
    f[12] = "1E-320";  // 0.693 / Tp overflows
    EXPECT_EQ(refusal(f).first, 12);

    for (int i = 0; i < kFieldCount; ++i) {
        f = dtpaFields();
        f[i] = "1E999";
        EXPECT_EQ(refusal(f).first, i) << "field " << i;
    }
    f = dtpaFields();
    f[13] = "1E305";  // finite as typed, infinite once scaled
    EXPECT_EQ(refusal(f).first, 13);

    f = dtpaFields();
    f[4] = "-1E-3";  // negative rate constant on a component that takes part
    std::tie(field, message) = refusal(f);
    EXPECT_EQ(field, 4);
    EXPECT_NE(message.find("Biological Rate Constant (min^-1), component 2"), std::string::npos);
    f[3] = "";  // ... but harmless when the fraction is 0
    EXPECT_EQ(refusal(f).first, -2);

    f = dtpaFields();
    f[12] = "100";
    for (int tb : {2, 5, 8, 11}) f[tb] = "-100";
    EXPECT_EQ(refusal(f).first, 12);  // Tp + Tbmax = 0

    f = dtpaFields();
    f[12] = "1E6";
    f[5] = "1E6";
    std::tie(field, message) = refusal(f);
    EXPECT_EQ(field, -1);
    EXPECT_NE(message.find("N = 27778"), std::string::npos) << message;
    EXPECT_NE(message.find("1.00E+06"), std::string::npos) << message;
}

TEST(Calculation, RefusesGridsThatMakeTheComputationUndefined) {
    const FieldTexts f = dtpaFields();
    ModelTables tables = standardTables();
    tables.v0Grid[3] = 0;
    EXPECT_THROW(RunCalculation(f, "", tables), CalculationError);
    tables = standardTables();
    tables.t0Grid[0] = -20;
    EXPECT_THROW(RunCalculation(f, "", tables), CalculationError);
    tables.t0Grid[0] = 1080;  // first void at 03:00 next day: the next interval is empty
    EXPECT_THROW(RunCalculation(f, "", tables), CalculationError);
    tables.t0Grid[0] = 1079;
    EXPECT_NO_THROW(RunCalculation(f, "", tables, DoseEngine::Reference));
}

TEST(Calculation, ANonFiniteDoseIsAnErrorNotACell) {
    FieldTexts f = dtpaFields();
    f[0] = "1E300";
    f[13] = "1E300";
    EXPECT_THROW(RunCalculation(f, "", standardTables(), DoseEngine::Reference), CalculationError);
}

namespace {

// A clock that answers the given second-of-hour stamps in turn.
SecondOfHourClock stamps(std::vector<int> values, int* calls) {
    return [values, calls]() { return values.at(static_cast<std::size_t>((*calls)++)); };
}

FieldTexts halfLives(const std::string& tp, const std::string& tb) {
    FieldTexts f{};
    f[0] = "1";
    f[1] = "0.001";
    f[2] = tb;
    f[12] = tp;
    f[13] = "1E-5";
    f[14] = "1E-5";
    return f;
}

}  // namespace

TEST(TimeEstimate, ShortCalculationsNeedNoTrial) {
    int calls = 0;
    TimeEstimate e = EstimateCalculationTime(halfLives("360", "360"), standardTables(),
                                             stamps({}, &calls));
    EXPECT_EQ(e.intervalCount, 11);
    EXPECT_EQ(e.text, "<1 minute");
    EXPECT_FALSE(e.trialRun);
    EXPECT_EQ(calls, 0);
    e = EstimateCalculationTime(halfLives("360", ""), standardTables(), stamps({}, &calls));
    EXPECT_EQ(e.intervalCount, 5);
    e = EstimateCalculationTime(halfLives("1780", "1780"), standardTables(), stamps({}, &calls));
    EXPECT_EQ(e.intervalCount, 50);
    EXPECT_EQ(e.text, "<1 minute");
    EXPECT_EQ(calls, 0);
}

TEST(TimeEstimate, ExtrapolatesTheTimedTrial) {
    int calls = 0;
    TimeEstimate e = EstimateCalculationTime(halfLives("1800", "1800"), standardTables(),
                                             stamps({100, 106}, &calls));
    EXPECT_EQ(e.intervalCount, 51);
    EXPECT_TRUE(e.trialRun);
    EXPECT_EQ(e.elapsedSeconds, 6);
    EXPECT_EQ(e.text, "0.7 minutes");
    calls = 0;
    e = EstimateCalculationTime(halfLives("6000", "6000"), standardTables(),
                                stamps({0, 12}, &calls));
    EXPECT_EQ(e.intervalCount, 167);
    EXPECT_NEAR(e.minutes, 4.676, 1e-12);
    EXPECT_EQ(e.text, "4.7 minutes");
    calls = 0;  // 10:59:58 to 11:00:03
    e = EstimateCalculationTime(halfLives("6000", "6000"), standardTables(),
                                stamps({59 * 60 + 58, 3}, &calls));
    EXPECT_EQ(e.elapsedSeconds, 5);
    calls = 0;
    e = EstimateCalculationTime(halfLives("1800", "1800"), standardTables(),
                                stamps({42, 42}, &calls));
    EXPECT_EQ(e.text, "0.0 minutes");
    calls = 0;  // shown even beyond what the calculation can run
    e = EstimateCalculationTime(halfLives("1E6", "1E6"), standardTables(),
                                stamps({0, 1}, &calls));
    EXPECT_GT(e.intervalCount, 1000);
    EXPECT_EQ(e.text.substr(e.text.size() - 8), " minutes");
    EXPECT_EQ(elapsedSecondsBetween(3599, 0), 1);
}

TEST(TimeEstimate, TrialRunsTheCalculationOfScheduleOneAtFiftyIntervals) {
    const ModelTables tables = standardTables();
    const FieldTexts f = halfLives("1800", "1800");
    int calls = 0;
    const TimeEstimate e = EstimateCalculationTime(f, tables, stamps({0, 0}, &calls),
                                                   DoseEngine::Reference);
    const ModelParameters p = readModelParameters(f, "");
    VoidHistory h;
    EXPECT_EQ(e.trialTable.at(8, 6),
              SimulateDose(p, kFillRateSchedules[1], 500, 180, 50, tables.quadratureNodes,
                           tables.quadratureWeights, h));
}

TEST(TimeEstimate, RefusesWhatTheCalculationRefuses) {
    int calls = 0;
    EXPECT_THROW(EstimateCalculationTime(halfLives("", "360"), standardTables(),
                                         stamps({}, &calls)),
                 InputError);
    FieldTexts f = halfLives("100", "-100");
    for (int tb : {5, 8, 11}) f[tb] = "-100";  // Tp + Tbmax = 0
    EXPECT_THROW(EstimateCalculationTime(f, standardTables(), stamps({}, &calls)), InputError);
    EXPECT_EQ(calls, 0);
}
