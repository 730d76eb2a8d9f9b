// The calculation core: number texts, the voiding clock, the reference simulation against an
// independent integration, refusals, the driver and the time estimate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/numtext.h"
#include "engine/simulation.h"
#include "support.h"

using namespace orvane;

namespace {

// Tc-99m DTPA as its fields show it.
FieldTexts dtpaFields() {
    FieldTexts f{};
    f[0] = "9.90E-01";
    f[1] = "6.93E-03";
    f[2] = "1.00E+02";
    f[3] = "1.00E-02";
    f[4] = "6.88E-05";
    f[5] = "1.01E+04";
    f[12] = "3.61E+02";
    f[13] = "2.60E-06";
    f[14] = "5.56E-05";
    return f;
}

}  // namespace

TEST(NumberText, FormatsAsTheWindowsAndFilesShowThem) {
    using Format = std::string (*)(double);
    const std::vector<std::tuple<Format, double, const char*>> cases{
        {formatScientific, 0.0123, "1.23E-02"},
        {formatScientific, 360, "3.60E+02"},
        {formatScientific, 0, "0.00E+00"},
        {formatScientific, -0.0, "0.00E+00"},
        {formatScientific, 109.77, "1.10E+02"},
        {formatScientific, -2.5e-5, "-2.50E-05"},
        {formatScientific, 9.996, "1.00E+01"},
        {formatScientific, 1.5e-100, "1.50E-100"},
        // Exact halves round away from zero; everything else to the nearest text.
        {formatScientific, 0.3125, "3.13E-01"},
        {formatScientific, -0.3125, "-3.13E-01"},
        {formatScientific, 1.235, "1.24E+00"},  // just above the half in binary
        {formatScientific, 1.255, "1.25E+00"},  // just below it
        {formatUpTo3Decimals, 0.25, "0.25"},
        {formatUpTo3Decimals, 1, "1."},
        {formatUpTo3Decimals, 0.75, "0.75"},
        {formatUpTo3Decimals, 0.12345, "0.123"},
        {formatUpTo3Decimals, 0.0625, "0.063"},
        {formatOneDecimal, 4.676, "4.7"},
        {formatOneDecimal, 0.714, "0.7"},
        {formatOneDecimal, 0, "0.0"},
        {formatOneDecimal, 0.25, "0.3"},
        {formatOneDecimal, 12345.04, "12345.0"},
        {formatWhole, 10, "10"},
        {formatWhole, 2.5, "3"},
        {formatPlain, 0, " 0"},
        {formatPlain, 180, " 180"},
        {formatPlain, -5, "-5"}};
    for (const auto& [format, value, text] : cases) EXPECT_EQ(format(value), text) << value;
}

TEST(NumberText, ReadsTheLongestLeadingNumber) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<std::string, double>> cases{
        {"1.10E+02", 110},
        {"  12abc", 12},
        {"\t7", 7},
        {"abc", 0},
        {"", 0},
        {"1e", 1},
        {"1e+", 1},
        {"-3.5e-2x", -0.035},
        {"1,5", 1},
        {".5", 0.5},
        {"5.", 5},
        {"+3", 3},
        {".", 0},
        {"-", 0},
        // Neither hex nor the words that strtod accepts are numbers here.
        {"0x1A", 0},
        {"inf", 0},
        {"nan", 0},
        {"infinity", 0},
        // Out of range: overflow reads as infinite (and is refused later), underflow as 0.
        {"1E999", inf},
        {"-1E999", -inf},
        {"1E-999", 0},
        {std::string(400, '9'), inf},
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

// A quoted text is cut after 40 bytes, never inside a UTF-8 character, and never reads past its
// end: a text of nothing but continuation bytes once walked the cut below its start.
TEST(NumberText, QuotesACutTextWithinItsBytes) {
    EXPECT_EQ(quoteText("0,06"), "\"0,06\"");
    EXPECT_EQ(quoteText(std::string(41, '\x80')), "\"...\"");
    const std::string umlauts = std::string(39, 'a') + "\xC3\xA4\xC3\xA4";
    EXPECT_EQ(quoteText(umlauts), "\"" + std::string(39, 'a') + "...\"");
}

TEST(IntervalCount, CoversTenEffectiveHalfLivesInThreeHourSteps) {
    // {Tp, the four Tbio, N}; every component counts, whatever its fraction.
    const std::vector<std::pair<std::array<double, 5>, long long>> cases{
        {{360, 0, 0, 0, 0}, 5},      {{360, 360, 0, 0, 0}, 11},
        {{1800, 0, 0, 0, 1800}, 51}, {{6000, 10, 6000, 20, 30}, 167},
        {{1780, 1780, 0, 0, 0}, 50}, {{1e300, 1e300, 0, 0, 0}, kIntervalCountCeiling}};
    for (const auto& [values, n] : cases) {
        ModelParameters p;
        p.physicalHalfLife = values[0];
        p.biologicalHalfLife = {values[1], values[2], values[3], values[4]};
        EXPECT_EQ(IntervalCount(p), n) << values[0];
    }
}

TEST(VoidingClock, FollowsTheDayAndNightSchedule) {
    // {T0, interval lengths, index of the night interval}: T0 = 180 reaches midnight after four
    // more day intervals; with T0 = 20 the sixth void falls at 00:20, so interval 7 is 160 min.
    const std::vector<std::tuple<double, std::vector<double>, int>> cases{
        {180, {180, 180, 180, 180, 180, 360, 180, 180}, 5},
        {20, {20, 180, 180, 180, 180, 180, 160, 360, 180}, 7}};
    for (const auto& [t0, lengths, night] : cases) {
        VoidingClock clock(kFillRateSchedules[1], 100, t0);
        double end = 0;
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            const IntervalBounds b = clock.next();
            EXPECT_EQ(b.start, end);
            EXPECT_EQ(b.end - b.start, lengths[i]) << "T0 " << t0 << " interval " << i + 1;
            EXPECT_EQ(b.startVolume, i == 0 ? 100 : 10);
            EXPECT_EQ(b.rate, static_cast<int>(i) == night ? 0.5 : 1.0);
            end = b.end;
        }
    }
}

// An independent model of the same bladder: the kidneys' pools and the bladder content as
// differential equations stepped with RK4, the void multiplying the content by 10 / V.
double integrateBladderOde(const ModelParameters& p, const FillRateSchedule& s, double v0,
                           double t0, int n) {
    VoidingClock clock(s, v0, t0);
    const double lp = p.physicalDecayConstant;
    double bladder = 0.0;                  // decayed activity in the bladder
    double dose = 0.0;                     // integral of bladder x S(V), rad/uCi
    auto rate = [&](double t, double b) {  // delivery by the kidneys, less decay in the bladder
        double in = 0.0;
        for (int i = 0; i < 4; ++i) {
            in += p.fraction[i] * p.rateConstant[i] * std::exp(-(p.rateConstant[i] + lp) * t);
        }
        return in - lp * b;
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
            const double v = b.startVolume + b.rate * (t - b.start);
            const double k1 = rate(t, bladder);
            const double k2 = rate(t + h / 2, bladder + h / 2 * k1);
            const double k3 = rate(t + h / 2, bladder + h / 2 * k2);
            const double k4 = rate(t + h, bladder + h * k3);
            const double middle = bladder + h / 2 * (k1 + k2) / 2;
            const double next = bladder + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
            dose += h / 6 *
                    (bladder * factor(v) + 4 * middle * factor(v + b.rate * h / 2) +
                     next * factor(v + b.rate * h));
            bladder = next;
        }
        bladder *= kResidualVolume / (b.startVolume + b.rate * (b.end - b.start));
    }
    return 1000 * dose / 3.7;
}

TEST(SimulateDose, AgreesWithAnIndependentIntegrationOfTheBladder) {
    const ModelTables tables = test::shippedTables();
    const ModelParameters p = readModelParameters(dtpaFields(), "");
    VoidHistory history;
    for (int s : {0, 2}) {
        for (auto [v0, t0] : {std::pair{10.0, 20.0}, {300.0, 180.0}, {50.0, 100.0}}) {
            const double reference =
                SimulateDose(p, kFillRateSchedules[s], v0, t0, 11, tables.quadratureNodes,
                             tables.quadratureWeights, history);
            const double ode = integrateBladderOde(p, kFillRateSchedules[s], v0, t0, 11);
            EXPECT_NEAR(reference / ode, 1.0, 2e-4) << "schedule " << s << " V0 " << v0;
        }
    }
    // The first void records what was delivered, decayed, and the volume it held.
    SimulateDose(p, kFillRateSchedules[0], 50, 60, 5, tables.quadratureNodes,
                 tables.quadratureWeights, history);
    EXPECT_EQ(history.voidTime[1], 60);
    EXPECT_EQ(history.voidVolume[1], 50 + 0.5 * 60);
    EXPECT_EQ(history.voidVolume[2], 10 + 0.5 * 180);
    double delivered = 0;
    for (int i = 0; i < 2; ++i) {
        delivered += std::exp(-p.physicalDecayConstant * 60) *
                     ((1 - std::exp(-p.rateConstant[i] * 60)) * p.fraction[i]);
    }
    EXPECT_DOUBLE_EQ(history.voidActivity[1], delivered);
}

TEST(SimulateDose, ComponentsThatTakeNoPartGiveExactZeros) {
    FieldTexts f{};
    f[12] = "360";
    f[13] = f[14] = "1";
    f[1] = "0.01";  // a rate constant without a fraction
    f[3] = "0.5";   // a fraction whose rate constant is 0 never reaches the bladder
    const DoseResults r = RunCalculation(f, "", test::shippedTables(), DoseEngine::Reference);
    for (const DoseTable& table : r.tables) {
        for (const auto& row : table.dose) {
            for (double d : row) EXPECT_EQ(d, 0.0);
        }
    }
}

TEST(SimulateDose, ClampsNegativeActivityButRecordsItAtTheVoid) {
    // A negative fraction makes the outflow of earlier voids exceed the inflow.
    const ModelTables tables = test::shippedTables();
    FieldTexts f{};
    f[0] = "1", f[1] = "0.05", f[3] = "-0.9", f[4] = "0.001";
    f[12] = "360", f[13] = "1";
    const ModelParameters p = readModelParameters(f, "");
    VoidHistory h;
    const double dose = SimulateDose(p, kFillRateSchedules[0], 10, 20, 8, tables.quadratureNodes,
                                     tables.quadratureWeights, h);
    EXPECT_TRUE(
        std::any_of(&h.voidActivity[1], &h.voidActivity[9], [](double a) { return a < 0; }));
    EXPECT_GE(dose, 0.0);
    EXPECT_TRUE(std::isfinite(dose));
}

TEST(Calculation, ReadsTheFieldsAndFillsAllTablesFromThem) {
    FieldTexts f = dtpaFields();
    f[12] = "360", f[13] = "1", f[14] = "1.10E+02";
    const ModelParameters p = readModelParameters(f, "Tc-99m DTPA");
    EXPECT_EQ(p.name, "Tc-99m DTPA");
    EXPECT_DOUBLE_EQ(p.physicalDecayConstant, 0.001925);
    EXPECT_EQ(p.deltaScaled, 13320);
    EXPECT_EQ(p.biologicalHalfLife[1], 10100);
    EXPECT_EQ(unscaleEmissionConstant(scaleEmissionConstant(0.0123)), 0.0123);

    const ModelTables tables = test::shippedTables();
    const DoseResults a =
        RunCalculation(dtpaFields(), "Tc-99m DTPA", tables, DoseEngine::Reference);
    const DoseResults b =
        RunCalculation(dtpaFields(), "Tc-99m DTPA", tables, DoseEngine::Reference);
    EXPECT_EQ(a.parameters, readModelParameters(dtpaFields(), "Tc-99m DTPA"));
    EXPECT_EQ(a.grids, tables);
    EXPECT_EQ(a.tables, b.tables);
    // Faster filling dilutes the urine: less dose at the same V0 and T0.
    EXPECT_GT(a.tables[0].at(4, 2), a.tables[1].at(4, 2));
    EXPECT_GT(a.tables[1].at(4, 2), a.tables[2].at(4, 2));
}

TEST(Calculation, RefusesUndefinedInputNamingTheField) {
    auto refusal = [](const std::vector<std::pair<int, std::string>>& edits) {
        FieldTexts f = dtpaFields();
        for (const auto& [field, text] : edits) f[field] = text;
        try {
            RunCalculation(f, "", test::shippedTables(), DoseEngine::Reference);
        } catch (const InputError& e) {
            return std::pair<int, std::string>{e.field(), e.what()};
        }
        return std::pair<int, std::string>{-2, ""};
    };
    const std::vector<std::tuple<std::vector<std::pair<int, std::string>>, int, std::string>> cases{
        {{{12, ""}}, 12, "Physical Half-Life (min): "},
        {{{12, "-360"}}, 12, "negative"},
        {{{12, "1E-320"}}, 12, "too small"},            // 0.693 / Tp overflows
        {{{13, "1E305"}}, 13, "Delta (mGy-kg/MBq-s)"},  // infinite once scaled
        {{{4, "-1E-3"}}, 4, "Biological Rate Constant (min^-1), component 2"},
        {{{3, ""}, {4, "-1E-3"}}, -2, ""},  // harmless when the fraction is 0
        {{{12, "100"}, {2, "-100"}, {5, "-100"}, {8, "-100"}, {11, "-100"}}, 12, "add up to 0"},
        {{{12, "1E6"}, {5, "1E6"}}, -1, "N = 27778"},
        {{{12, "1E6"}, {5, "1E6"}}, -1, "longest biological half-life 1.00E+06 min"}};
    for (const auto& [edits, field, words] : cases) {
        const auto [refusedField, message] = refusal(edits);
        EXPECT_EQ(refusedField, field) << message;
        EXPECT_NE(message.find(words), std::string::npos) << message;
    }
}

TEST(Calculation, RefusesGridsAndDosesThatAreUndefined) {
    const FieldTexts f = dtpaFields();
    for (auto [v0, t0] : {std::pair{0.0, 20.0}, {10.0, -20.0}, {10.0, 1080.0}}) {
        ModelTables tables = test::shippedTables();
        tables.v0Grid[3] = v0;
        tables.t0Grid[0] = t0;  // 1080: first void at 03:00 next day empties the next interval
        EXPECT_THROW(RunCalculation(f, "", tables), CalculationError) << v0 << " " << t0;
    }
    ModelTables tables = test::shippedTables();
    tables.t0Grid[0] = 1079;
    EXPECT_NO_THROW(RunCalculation(f, "", tables, DoseEngine::Reference));
    FieldTexts huge = dtpaFields();
    huge[0] = huge[13] = "1E300";  // a non-finite dose is an error, never a cell
    EXPECT_THROW(RunCalculation(huge, "", test::shippedTables(), DoseEngine::Reference),
                 CalculationError);
}

namespace {

// A clock that answers the given stamps (s) in turn; calls counts them.
struct Stamps {
    std::vector<double> values;
    int calls = 0;
    SecondsClock clock() {
        return [this] { return values.at(static_cast<std::size_t>(calls++)); };
    }
};

FieldTexts halfLives(const std::string& tp, const std::string& tb) {
    FieldTexts f{};
    f[0] = "1", f[1] = "0.001", f[2] = tb, f[12] = tp, f[13] = f[14] = "1E-5";
    return f;
}

}  // namespace

TEST(TimeEstimate, ExtrapolatesATimedTrialOnlyBeyondFiftyIntervals) {
    // {Tp, Tbmax, stamps (s), N, text}. Under a minute is "<1 minute" whether a trial ran or
    // not. A trial of 0.4 ms that straddles a clock second is 0.4 ms, not a second.
    const std::vector<
        std::tuple<std::string, std::string, std::vector<double>, long long, std::string>>
        cases{{"360", "360", {}, 11, "<1 minute"},
              {"1780", "1780", {}, 50, "<1 minute"},
              {"1800", "1800", {100, 106}, 51, "<1 minute"},
              {"1800", "1800", {42, 42}, 51, "<1 minute"},
              {"6000", "6000", {0, 12}, 167, "4.7 minutes"},
              {"6000", "6000", {3598.5, 3603.5}, 167, "1.9 minutes"},
              {"6000", "6000", {0, 2}, 167, "<1 minute"},  // 0.78 minutes
              {"9000", "9000", {0, 4}, 251, "2.3 minutes"},
              {"35990", "35990", {41.9998, 42.0002}, 1000, "<1 minute"}};
    for (const auto& [tp, tb, values, n, text] : cases) {
        Stamps stamps{values};
        const TimeEstimate e =
            EstimateCalculationTime(halfLives(tp, tb), test::shippedTables(), stamps.clock());
        EXPECT_EQ(e.intervalCount, n);
        EXPECT_EQ(e.text, text) << tp << " " << e.minutes;
        EXPECT_EQ(stamps.calls, static_cast<int>(values.size()));  // no clock without a trial
        EXPECT_EQ(e.trialRun, !values.empty());
    }
}

// Whatever the calculation refuses, the check refuses before any trial: undefined input,
// N above 1000 with the calculation's own message, and unusable grids at any N.
TEST(TimeEstimate, RefusesWhatTheCalculationRefusesBeforeAnyTrial) {
    const ModelTables& tables = test::shippedTables();
    FieldTexts undefined = halfLives("100", "-100");
    for (int tb : {5, 8, 11}) undefined[tb] = "-100";  // Tp + Tbmax = 0
    ModelTables badGrid = tables;
    badGrid.t0Grid[8] = 1080;
    Stamps none;
    EXPECT_THROW(EstimateCalculationTime(halfLives("", "360"), tables, none.clock()), InputError);
    EXPECT_THROW(EstimateCalculationTime(undefined, tables, none.clock()), InputError);
    EXPECT_THROW(EstimateCalculationTime(halfLives("360", "360"), badGrid, none.clock()),
                 GridError);
    const FieldTexts tooLong = halfLives("1E6", "1E6");
    std::string checkMessage, calculationMessage;
    try {
        EstimateCalculationTime(tooLong, tables, none.clock());
    } catch (const InputError& e) {
        checkMessage = e.what();
    }
    try {
        RunCalculation(tooLong, "", tables);
    } catch (const InputError& e) {
        calculationMessage = e.what();
    }
    EXPECT_NE(checkMessage.find("N = 27778"), std::string::npos) << checkMessage;
    EXPECT_EQ(checkMessage, calculationMessage);
    EXPECT_EQ(none.calls, 0);
}
