// The parameter report, the dose table text and the graph of one schedule as primitives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/plain_text.h"
#include "report/plot_state.h"
#include "report/report.h"

namespace orvane {
namespace {

using Kind = DrawPrimitive::Kind;

const ModelParameters kDtpa{.name = "Tc-99m DTPA",
                            .fraction = {0.98, 0.02, 0, 0},
                            .biologicalHalfLife = {100, 1000, 0, 0},
                            .physicalHalfLife = 360,
                            .deltaScaled = scaleEmissionConstant(0.0123),
                            .gammaScaled = scaleEmissionConstant(0.000025)};

TEST(ParameterReport, WorkedExampleAndWhatChangesWithScheduleNameAndComponents) {
    const std::string example =
        "\t      MODEL PARAMETERS\r\n\r\n"
        "Radiopharmaceutical: \tTc-99m DTPA\r\n"
        "Physical Half Life: \t\t3.60E+02 min\r\n"
        "Delta (mGy-kg/MBq-s): \t1.23E-02\r\n"
        "Gamma (mGy-cm^2/MBq-s): \t2.50E-05\r\n\r\n"
        "Fraction 1: 9.80E-01\tTbio 1: 1.00E+02 min\r\n"
        "Fraction 2: 2.00E-02\tTbio 2: 1.00E+03 min\r\n\r\n"
        "Bladder Fill Rates: 0.5/0.25 ml/min, day/night\r\n";
    EXPECT_EQ(ParameterReport(kDtpa, kFillRateSchedules[0]), example);
    const std::size_t name = example.find("Tc-99m"), constants = example.find("\r\nPhysical"),
                      components = example.find("Fraction 1"), fill = example.find("\r\nBladder");
    EXPECT_EQ(ParameterReport(kDtpa, kFillRateSchedules[1]),
              example.substr(0, fill) + "\r\nBladder Fill Rates: 1./0.5 ml/min, day/night\r\n");
    EXPECT_EQ(ParameterReport(kDtpa, kFillRateSchedules[2]),
              example.substr(0, fill) + "\r\nBladder Fill Rates: 1.5/0.75 ml/min, day/night\r\n");

    // Components 2 and 4 leave no trace, a blank half-life shows as 0, and only an exact 0
    // removes a component.
    ModelParameters p = kDtpa;
    p.fraction = {0.7, 0, -0.3, 0};
    p.biologicalHalfLife = {100, 200, 0, 400};
    EXPECT_EQ(ParameterReport(p, kFillRateSchedules[0]),
              example.substr(0, components) + "Fraction 1: 7.00E-01\tTbio 1: 1.00E+02 min\r\n" +
                  "Fraction 3: -3.00E-01\tTbio 3: 0.00E+00 min\r\n" + example.substr(fill));
    p.fraction = {0, 0, 0, 0};
    p.name.clear();
    EXPECT_EQ(ParameterReport(p, kFillRateSchedules[0]),
              example.substr(0, name) + example.substr(constants, components - constants) +
                  example.substr(fill));
}

TEST(DoseTableText, SevenRowsOfNineDosesByV0) {
    DoseTable table;
    for (int v = 0; v < kV0Count; ++v) {
        for (int t = 0; t < kT0Count; ++t) table.at(t, v) = (v + 1) * 1e-2 + (t + 1) * 1e-4;
    }
    table.at(0, 0) = 0.0123;
    table.at(8, 6) = 0;
    const std::string text = doseTableText(table);
    ASSERT_EQ(text.size(), 7u * 90u);
    for (int v = 0; v < kV0Count; ++v) EXPECT_EQ(text.substr(v * 90 + 88, 2), "\r\n") << v;
    EXPECT_EQ(text.substr(0, 88),
              "1.23E-02  1.02E-02  1.03E-02  1.04E-02  1.05E-02  1.06E-02  1.07E-02  1.08E-02  "
              "1.09E-02");
    EXPECT_EQ(text.substr(6 * 90, 10), "7.01E-02  ");
    EXPECT_EQ(text.substr(6 * 90 + 80), "0.00E+00\r\n");
}

const ModelTables kGrids{{10, 49.6, 100, 200, 300, 400, 750},
                         {20, 40, 60, 80, 100, 120, 140, 160, 180}};

// The curves after the 15 primitives of axes and labels: each a Point, Lines and, for
// labelled curves, a Print.
struct Curve {
    std::vector<DrawPrimitive> steps;
    std::optional<DrawPrimitive> label;
};
std::vector<Curve> curvesOf(const ScheduleView& view) {
    std::vector<Curve> curves;
    for (std::size_t i = 15; i < view.drawing.size(); ++i) {
        if (view.drawing[i].kind == Kind::Point || curves.empty()) curves.emplace_back();
        if (view.drawing[i].kind == Kind::Print) curves.back().label = view.drawing[i];
        if (view.drawing[i].kind != Kind::Print) curves.back().steps.push_back(view.drawing[i]);
    }
    return curves;
}

TEST(RenderSchedule, AxesThenOneCurvePerV0OverT0ScaledFromLargestToSmallest) {
    DoseResults r{.parameters = kDtpa, .grids = kGrids};  // schedules 0 and 2 stay all 0
    for (auto& row : r.tables[1].dose) row.fill(0.03);
    r.tables[1].at(4, 3) = 0.08;   // largest: top of the axis
    r.tables[1].at(2, 5) = 0.01;   // smallest: bottom
    r.tables[1].at(0, 0) = 0.045;  // halfway
    const ScheduleView view = RenderSchedule(r, 1);
    // A clear, the axes and their labels, then the curves; the dose axis reads from the
    // largest dose at its top to the smallest at its foot.
    ASSERT_EQ(view.drawing.size(), 15u + 7u * 9u + 5u);
    EXPECT_EQ(view.drawing[0].kind, Kind::Clear);
    EXPECT_EQ(view.drawing[4].text, "8.00E-02");
    EXPECT_EQ(view.drawing[9].text, "1.00E-02");

    const auto curves = curvesOf(view);
    const float x[] = {0.6f, 0.9f, 1.11f, 1.32f, 1.53f, 1.74f, 1.95f, 2.16f, 2.37f};
    const char* labels[] = {"  10", "  50", "  100", "  200", "", "", "  750"};
    for (int v = 0; v < kV0Count; ++v) {
        const std::vector<DrawPrimitive>& steps = curves.at(v).steps;  // throws if missing
        ASSERT_EQ(steps.size(), 9u);
        for (int t = 0; t < kT0Count; ++t) {
            EXPECT_EQ(steps[t].kind, t == 0 ? Kind::Point : Kind::Line);
            EXPECT_FLOAT_EQ(steps[t].x, x[t]) << "v " << v << " t " << t;
        }
        // Printed where the curve ends.
        const DrawPrimitive label{Kind::Print, steps[8].x, steps[8].y, labels[v]};
        EXPECT_EQ(curves[v].label, *labels[v] ? std::optional(label) : std::nullopt) << "v " << v;
    }
    EXPECT_FLOAT_EQ(curves[3].steps[4].y, 0.4f);
    EXPECT_FLOAT_EQ(curves[5].steps[2].y, 2.5f);
    EXPECT_FLOAT_EQ(curves[0].steps[0].y, 1.45f);
    EXPECT_FLOAT_EQ(curves[6].steps[8].y, 1.9f);  // 2.5 - (0.03 - 0.01) x 2.1 / 0.07
    EXPECT_EQ(view.table, doseTableText(r.tables[1]));
    EXPECT_EQ(view.report, ParameterReport(r.parameters, kFillRateSchedules[1]));
}

TEST(RenderSchedule, EqualDosesRunFlatAtMidHeightAndLabelTheAxisAtAnySize) {
    // Doses above a million once labelled the axis's foot 1.00E+06.
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.00E+00"}, {0.25, "2.50E-01"}, {2.5e6, "2.50E+06"}};
    for (const auto& [dose, label] : cases) {
        DoseResults r{.parameters = kDtpa, .grids = kGrids};
        for (auto& row : r.tables[2].dose) row.fill(dose);
        const ScheduleView view = RenderSchedule(r, 2);
        for (const Curve& curve : curvesOf(view)) {
            for (const DrawPrimitive& step : curve.steps) EXPECT_EQ(step.y, 1.45f);
        }
        EXPECT_EQ(view.drawing[4].text, label);
        EXPECT_EQ(view.drawing[9].text, view.drawing[4].text);
    }
    EXPECT_TRUE(RenderSchedule(DoseResults{}, 3).drawing.empty());
}

// A name is user text: no character of it may break a line of a report or drive a terminal.
TEST(PlainText, ControlCharactersAreReplacedInNamesAndEscapedInMessages) {
    struct Case {
        std::string text, replaced, escaped;
    };
    const std::vector<Case> cases{
        {"Tc-99m MAG3", "Tc-99m MAG3", "Tc-99m MAG3"},
        {"A\r\nFraction 1: 9.99E+99\r\nB", "A  Fraction 1: 9.99E+99  B",
         "A\\x0d\\x0aFraction 1: 9.99E+99\\x0d\\x0aB"},
        {"\x1b[2J\tx\x7f", " [2J x ", "\\x1b[2J\\x09x\\x7f"},
        {"\xc2\x9b"
         "31m \xc2\x85",
         " 31m  ", "\\u009b31m \\u0085"},  // C1 in UTF-8
        {"a\xe2\x80\xa8"
         "b",
         "a b", "a\\u2028b"},  // line separator
        {"\x9b"
         "1m \xff",
         " 1m \xff", "\\x9b1m \\xff"},  // lone bytes
        {"Lu-177 \xc3\xa9\xe2\x82\xac", "Lu-177 \xc3\xa9\xe2\x82\xac",
         "Lu-177 \xc3\xa9\xe2\x82\xac"},
        {"\xc0\x8a\xe2\x80", "\xc0 \xe2 ", "\\xc0\\x8a\\xe2\\x80"},  // overlong, cut short
    };
    for (const Case& c : cases) {
        EXPECT_EQ(replaceControlCharacters(c.text), c.replaced) << c.escaped;
        EXPECT_EQ(escapeControlCharacters(c.text), c.escaped);
    }
    // The report keeps its lines whatever the name holds.
    ModelParameters forged = kDtpa;
    forged.name = cases[1].text;
    const std::string report = ParameterReport(forged, kFillRateSchedules[0]);
    const std::string plain = ParameterReport(kDtpa, kFillRateSchedules[0]);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'),
              std::count(plain.begin(), plain.end(), '\n'));
    EXPECT_NE(report.find("Radiopharmaceutical: \t" + cases[1].replaced + "\r\n"),
              std::string::npos);
}

}  // namespace
// The plots' time window through a session of wheel steps, drags and double-clicks.
TEST(TimeWindow, ZoomKeepsThePointUnderTheMousePanKeepsTheSpan) {
    TimeWindow w;
    w.showWhole(10);
    struct Step {
        const char* what;
        std::function<bool(TimeWindow&)> act;
        bool taken;
        double lo, hi;
    };
    const std::vector<Step> steps = {
        {"in about 5 h", [](TimeWindow& t) { return t.zoom(5, true); }, true, 1, 9},
        {"in about 1 h, the left edge", [](TimeWindow& t) { return t.zoom(1, true); }, true, 1,
         7.4},
        {"drag 2 h to the right", [](TimeWindow& t) { return t.show(t.lo() + 2, t.hi() + 2); },
         true, 3, 9.4},
        {"pan back 3 h",
         [](TimeWindow& t) {
             t.pan(-3);
             return true;
         },
         true, 0, 6.4},
        {"out about 0 h", [](TimeWindow& t) { return t.zoom(0, false); }, true, 0, 8},
        {"an empty window is refused", [](TimeWindow& t) { return t.show(4, 4); }, false, 0, 8},
        {"NaN is refused", [](TimeWindow& t) { return t.show(NAN, 4); }, false, 0, 8},
        {"whole again",
         [](TimeWindow& t) {
             t.showWhole();
             return true;
         },
         true, 0, 10},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(step.act(w), step.taken);
        EXPECT_NEAR(w.lo(), step.lo, 1e-12);
        EXPECT_NEAR(w.hi(), step.hi, 1e-12);
    }
    // Zooming in stops short of a one-minute window.
    int stepsIn = 0;
    while (w.zoom(3, true)) ++stepsIn;
    EXPECT_GT(w.hi() - w.lo(), TimeWindow::kMinimumSpan);
    EXPECT_LT((w.hi() - w.lo()) * TimeWindow::kZoomIn, TimeWindow::kMinimumSpan);
    EXPECT_EQ(stepsIn, 28);  // 10 h x 0.8^28 = 0.019 h; one more step, 0.015 h, is under a minute
    EXPECT_EQ(w.withinWhole(-1), 0);
    EXPECT_EQ(w.withinWhole(12), 10);
    w.showWhole(0);  // a scenario shorter than a minute is shown a minute wide
    EXPECT_EQ(w.hi(), TimeWindow::kMinimumSpan);
}

}  // namespace orvane
