// The parameter report, the dose table text and the graph of one schedule as primitives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/model.h"
#include "ui/results/report.h"

namespace orvane {
namespace {

using Kind = DrawPrimitive::Kind;

ModelParameters dtpaParameters() {
    ModelParameters p;
    p.name = "Tc-99m DTPA";
    p.fraction = {0.98, 0.02, 0, 0};
    p.rateConstant = {0.00693, 0.000693, 0, 0};
    p.biologicalHalfLife = {100, 1000, 0, 0};
    p.physicalHalfLife = 360;
    p.physicalDecayConstant = kDecayNumerator / 360;
    p.deltaScaled = scaleEmissionConstant(0.0123);
    p.gammaScaled = scaleEmissionConstant(0.000025);
    return p;
}

std::vector<std::string> splitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
    return lines;
}

TEST(ParameterReport, WorkedExampleByteForByte) {
    const std::string expected =
        "\t      MODEL PARAMETERS\r\n"
        "\r\n"
        "Radiopharmaceutical: \tTc-99m DTPA\r\n"
        "Physical Half Life: \t\t3.60E+02 min\r\n"
        "Delta (mGy-kg/MBq-s): \t1.23E-02\r\n"
        "Gamma (mGy-cm^2/MBq-s): \t2.50E-05\r\n"
        "\r\n"
        "Fraction 1: 9.80E-01\tTbio 1: 1.00E+02 min\r\n"
        "Fraction 2: 2.00E-02\tTbio 2: 1.00E+03 min\r\n"
        "\r\n"
        "Bladder Fill Rates: 0.5/0.25 ml/min, day/night\r\n";
    EXPECT_EQ(ParameterReport(dtpaParameters(), kFillRateSchedules[0]), expected);
}

TEST(ParameterReport, FillRateLineOfEachSchedule) {
    const std::vector<std::string> expected = {
        "Bladder Fill Rates: 0.5/0.25 ml/min, day/night",
        "Bladder Fill Rates: 1./0.5 ml/min, day/night",
        "Bladder Fill Rates: 1.5/0.75 ml/min, day/night",
    };
    for (int s = 0; s < kScheduleCount; ++s) {
        const auto lines = splitCrLf(ParameterReport(dtpaParameters(), kFillRateSchedules[s]));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), expected[s]) << "schedule " << s;
    }
}

TEST(ParameterReport, ComponentsListedByTheirOwnNumber) {
    ModelParameters p = dtpaParameters();

    p.fraction = {0, 0, 0, 0};
    auto lines = splitCrLf(ParameterReport(p, kFillRateSchedules[0]));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[5], "Gamma (mGy-cm^2/MBq-s): \t2.50E-05");
    EXPECT_EQ(lines[6], "");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8], "Bladder Fill Rates: 0.5/0.25 ml/min, day/night");

    // Components 2 and 4 leave no trace; a blank half-life shows as zero.
    p.fraction = {0.7, 0, 0.3, 0};
    p.biologicalHalfLife = {100, 200, 0, 400};
    lines = splitCrLf(ParameterReport(p, kFillRateSchedules[0]));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[7], "Fraction 1: 7.00E-01\tTbio 1: 1.00E+02 min");
    EXPECT_EQ(lines[8], "Fraction 3: 3.00E-01\tTbio 3: 0.00E+00 min");
    EXPECT_EQ(lines[9], "");

    // Only an exact 0 removes a component; negative and tiny fractions are listed.
    p.fraction = {-0.1, 1e-300, 0.25, 0.5};
    lines = splitCrLf(ParameterReport(p, kFillRateSchedules[0]));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[7], "Fraction 1: -1.00E-01\tTbio 1: 1.00E+02 min");
    EXPECT_EQ(lines[8], "Fraction 2: 1.00E-300\tTbio 2: 2.00E+02 min");
    EXPECT_EQ(lines[10], "Fraction 4: 5.00E-01\tTbio 4: 4.00E+02 min");
}

TEST(ParameterReport, NameAndEmissionConstants) {
    ModelParameters p = dtpaParameters();
    p.name.clear();
    p.deltaScaled = 13320;
    p.gammaScaled = scaleEmissionConstant(1);
    p.physicalHalfLife = 0;
    const auto lines = splitCrLf(ParameterReport(p, kFillRateSchedules[0]));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[2], "Radiopharmaceutical: \t");
    EXPECT_EQ(lines[3], "Physical Half Life: \t\t0.00E+00 min");
    EXPECT_EQ(lines[4], "Delta (mGy-kg/MBq-s): \t1.00E+00");
    EXPECT_EQ(lines[5], "Gamma (mGy-cm^2/MBq-s): \t1.00E+00");

    p.name = "Tl-201 Chlorid \xC3\xA4";  // bytes pass through unchanged
    EXPECT_EQ(splitCrLf(ParameterReport(p, kFillRateSchedules[0]))[2],
              "Radiopharmaceutical: \tTl-201 Chlorid \xC3\xA4");
}

// Doses that tell row from column: 1.0E-02 + v x 1.0E-02 + t x 1.0E-03 for schedule 0.
DoseResults rampResults() {
    DoseResults r;
    r.parameters = dtpaParameters();
    r.grids.v0Grid = {10, 50, 100, 200, 300, 400, 500};
    r.grids.t0Grid = {20, 40, 60, 80, 100, 120, 140, 160, 180};
    for (int s = 0; s < kScheduleCount; ++s) {
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                r.tables[s].at(t, v) = (s + 1) * (0.01 + v * 0.01 + t * 0.001);
            }
        }
    }
    return r;
}

TEST(DoseTableText, SevenRowsOfNineDosesByV0) {
    DoseTable table;
    for (int v = 0; v < kV0Count; ++v) {
        for (int t = 0; t < kT0Count; ++t) table.at(t, v) = (v + 1) * 1e-2 + (t + 1) * 1e-4;
    }
    table.at(0, 0) = 0.0123;
    table.at(8, 6) = 0;
    const auto lines = splitCrLf(doseTableText(table));
    ASSERT_EQ(lines.size(), 7u);
    for (const auto& line : lines) EXPECT_EQ(line.size(), 88u) << line;
    EXPECT_EQ(lines[0],
              "1.23E-02  1.02E-02  1.03E-02  1.04E-02  1.05E-02  1.06E-02  1.07E-02  1.08E-02  "
              "1.09E-02");
    EXPECT_EQ(lines[6].substr(0, 10), "7.01E-02  ");
    EXPECT_EQ(lines[6].substr(80), "0.00E+00");
}

TEST(RenderSchedule, AxesAndLabelsComeFirst) {
    const ScheduleView view = RenderSchedule(rampResults(), 0);
    const std::vector<DrawPrimitive> expected = {
        {Kind::Clear, 0, 0, ""},
        {Kind::Point, 0.6f, 0.3f, ""},
        {Kind::Line, 0.6f, 2.7f, ""},
        {Kind::Line, 2.6f, 2.7f, ""},
        {Kind::Print, 0.05f, 0.2f, "7.80E-02"},  // largest dose, v 6 / t 8
        {Kind::Print, 2.4f, 0.2f, " V0 (ml)"},
        {Kind::Print, 0.08f, 1.0f, "Dose"},
        {Kind::Print, 0.05f, 1.3f, "(mGy/"},
        {Kind::Print, 0.05f, 1.5f, "MBq)"},
        {Kind::Print, 0.05f, 2.5f, "1.00E-02"},  // smallest dose, v 0 / t 0
        {Kind::Print, 0.5f, 2.7f, " 0"},
        {Kind::Print, 1.35f, 2.8f, " T0 (min)"},
        {Kind::Print, 1.1f, 2.7f, " 60"},
        {Kind::Print, 1.8f, 2.7f, " 120"},
        {Kind::Print, 2.5f, 2.7f, " 180"},
    };
    ASSERT_GE(view.drawing.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(view.drawing[i], expected[i]) << "primitive " << i;
    }
}

// The primitives of curve v: a Point, eight Lines and, for labelled curves, a Print.
struct Curve {
    std::vector<DrawPrimitive> steps;
    const DrawPrimitive* label = nullptr;
};

std::vector<Curve> curvesOf(const ScheduleView& view) {
    std::vector<Curve> curves;
    std::size_t i = 15;
    for (int v = 0; v < kV0Count; ++v) {
        Curve curve;
        for (int k = 0; k < kT0Count && i < view.drawing.size(); ++k) {
            curve.steps.push_back(view.drawing[i++]);
        }
        if (i < view.drawing.size() && view.drawing[i].kind == Kind::Print) {
            curve.label = &view.drawing[i++];
        }
        curves.push_back(curve);
    }
    EXPECT_EQ(i, view.drawing.size()) << "primitives after the last curve";
    return curves;
}

TEST(RenderSchedule, CurvesStartOnTheDoseAxisAndSpreadOverT0) {
    const ScheduleView view = RenderSchedule(rampResults(), 0);
    ASSERT_EQ(view.drawing.size(), 15u + 7u * 9u + 5u);
    const float expectedX[] = {0.6f, 0.9f, 1.11f, 1.32f, 1.53f, 1.74f, 1.95f, 2.16f, 2.37f};
    for (const Curve& curve : curvesOf(view)) {
        ASSERT_EQ(curve.steps.size(), 9u);
        EXPECT_EQ(curve.steps[0].kind, Kind::Point);
        EXPECT_EQ(curve.steps[0].x, 0.6f);
        for (int t = 1; t < kT0Count; ++t) {
            EXPECT_EQ(curve.steps[t].kind, Kind::Line);
            EXPECT_FLOAT_EQ(curve.steps[t].x, expectedX[t]) << "t " << t;
        }
    }
}

TEST(RenderSchedule, DoseAxisRunsFromLargestToSmallest) {
    DoseResults r = rampResults();
    // Largest 0.08 at v 3 / t 4, smallest 0.01 at v 5 / t 2, the midpoint 0.045 at v 0 / t 0.
    for (auto& row : r.tables[1].dose) row.fill(0.03);
    r.tables[1].at(4, 3) = 0.08;
    r.tables[1].at(2, 5) = 0.01;
    r.tables[1].at(0, 0) = 0.045;
    const auto curves = curvesOf(RenderSchedule(r, 1));
    EXPECT_FLOAT_EQ(curves[3].steps[4].y, 0.4f);
    EXPECT_FLOAT_EQ(curves[5].steps[2].y, 2.5f);
    EXPECT_FLOAT_EQ(curves[0].steps[0].y, 1.45f);
    EXPECT_FLOAT_EQ(curves[6].steps[8].y, static_cast<float>(2.5 - 0.02 * 2.1 / 0.07));
}

TEST(RenderSchedule, LabelsFromTheV0GridOnAllButIndex4And5) {
    DoseResults r = rampResults();
    r.grids.v0Grid = {10, 49.6, 100, 200, 300, 400, 750};
    const ScheduleView view = RenderSchedule(r, 0);  // the labels point into its drawing
    const auto curves = curvesOf(view);
    const char* expected[] = {"  10", "  50", "  100", "  200", nullptr, nullptr, "  750"};
    for (int v = 0; v < kV0Count; ++v) {
        if (expected[v] == nullptr) {
            EXPECT_EQ(curves[v].label, nullptr) << "v " << v;
            continue;
        }
        ASSERT_NE(curves[v].label, nullptr) << "v " << v;
        EXPECT_EQ(curves[v].label->text, expected[v]);
        // Printed where the curve ends.
        EXPECT_EQ(curves[v].label->x, curves[v].steps[8].x);
        EXPECT_EQ(curves[v].label->y, curves[v].steps[8].y);
    }
}

TEST(RenderSchedule, EqualDosesRunFlatAtMidHeight) {
    for (double dose : {0.0, 0.25}) {
        DoseResults r = rampResults();
        for (auto& row : r.tables[2].dose) row.fill(dose);
        const ScheduleView view = RenderSchedule(r, 2);
        for (const Curve& curve : curvesOf(view)) {
            for (const DrawPrimitive& step : curve.steps) EXPECT_EQ(step.y, 1.45f);
        }
        const std::string label = dose == 0 ? "0.00E+00" : "2.50E-01";
        EXPECT_EQ(view.drawing[4].text, label);
        EXPECT_EQ(view.drawing[9].text, label);
        EXPECT_EQ(view.table, doseTableText(r.tables[2]));
        EXPECT_EQ(view.report, ParameterReport(r.parameters, kFillRateSchedules[2]));
    }
}

TEST(RenderSchedule, ShowsTheChosenScheduleAndKeepsNothing) {
    const DoseResults r = rampResults();
    const ScheduleView first = RenderSchedule(r, 0);
    const ScheduleView other = RenderSchedule(r, 1);
    EXPECT_EQ(other.drawing[4].text, "1.56E-01");
    EXPECT_EQ(other.table, doseTableText(r.tables[1]));
    EXPECT_EQ(other.report, ParameterReport(r.parameters, kFillRateSchedules[1]));

    const ScheduleView again = RenderSchedule(r, 0);
    EXPECT_EQ(again.drawing, first.drawing);
    EXPECT_EQ(again.table, first.table);
    EXPECT_EQ(again.report, first.report);

    EXPECT_TRUE(RenderSchedule(r, 3).drawing.empty());
    EXPECT_TRUE(RenderSchedule(r, -1).report.empty());
}

}  // namespace
}  // namespace orvane
