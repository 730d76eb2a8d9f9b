// The results window: schedule 0 on opening, the option buttons, the graph widget, the save
// window from it, going back and quitting.
#include <QDir>
#include <QImage>
#include <QRadioButton>
#include <QTextEdit>

#include "engine/numtext.h"
#include "gui_test_support.h"
#include "ui/results/form2.h"
#include "ui/results/picture1.h"
#include "ui/results/report.h"

namespace orvane::testing {
namespace {

class ResultsWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        choose("Tc-99m MAG3");
        results = calculate();
        ASSERT_NE(results, nullptr);
    }

    QRadioButton* option(int number) {
        return control<QRadioButton>(results, QStringLiteral("Option%1").arg(number));
    }

    // The window shows exactly what RenderSchedule gives for the schedule.
    void expectSchedule(int schedule) {
        const ScheduleView view = RenderSchedule(*module->doseResults, schedule);
        QString table = withLf(view.table);
        table.chop(1);  // the field holds no empty line after the last one
        EXPECT_EQ(control<QTextEdit>(results, QStringLiteral("Text1"))->toPlainText(), table);
        EXPECT_EQ(control<QTextEdit>(results, QStringLiteral("Text2"))->toPlainText(),
                  withLf(view.report));
        EXPECT_EQ(control<Picture1>(results, QStringLiteral("Picture1"))->drawing(), view.drawing);
    }

    QWidget* results = nullptr;
};

TEST_F(ResultsWindow, OpensOnScheduleZeroWithOption1Selected) {
    EXPECT_EQ(results->windowTitle(), "Orvane, Revised Dynamic Bladder Model");
    EXPECT_TRUE(option(1)->isChecked());
    EXPECT_FALSE(option(2)->isChecked());
    expectSchedule(0);
    EXPECT_TRUE(control<QTextEdit>(results, QStringLiteral("Text2"))
                    ->toPlainText()
                    .endsWith(QStringLiteral("0.5/0.25 ml/min, day/night\n")));
}

TEST_F(ResultsWindow, OptionsRenderTheirScheduleFromTheStoredResults) {
    const DoseResults stored = *module->doseResults;
    option(2)->click();
    expectSchedule(1);
    EXPECT_TRUE(control<QTextEdit>(results, QStringLiteral("Text2"))
                    ->toPlainText()
                    .contains(QStringLiteral("1./0.5 ml/min")));
    option(3)->click();
    expectSchedule(2);
    option(1)->click();
    expectSchedule(0);
    EXPECT_EQ(module->doseResults->tables, stored.tables);
}

TEST_F(ResultsWindow, GraphHasItsAxisLabelsCurvesAndCurveLabels) {
    const auto& drawing = control<Picture1>(results, QStringLiteral("Picture1"))->drawing();
    const DoseTable& table = module->doseResults->tables[0];
    double maximum = 0, minimum = 1e6;
    for (const auto& row : table.dose) {
        for (double dose : row) {
            maximum = std::max(maximum, dose);
            minimum = std::min(minimum, dose);
        }
    }
    std::vector<DrawPrimitive> points, labels;
    for (const DrawPrimitive& p : drawing) {
        if (p.kind == DrawPrimitive::Kind::Point) points.push_back(p);
        if (p.kind == DrawPrimitive::Kind::Print) labels.push_back(p);
    }
    ASSERT_EQ(points.size(), 1u + kV0Count);  // the axis start and one per curve
    ASSERT_EQ(labels.size(), 11u + 5u);
    EXPECT_EQ(labels[0].text, formatScientific(maximum));
    EXPECT_EQ(labels[5].text, formatScientific(minimum));
    for (int v = 0; v < kV0Count; ++v) {
        EXPECT_FLOAT_EQ(points[v + 1].x, 0.6f);
        const double expectedY = 2.5 - 2.1 * (table.at(0, v) - minimum) / (maximum - minimum);
        EXPECT_NEAR(points[v + 1].y, expectedY, 1e-5);
    }
    // Curve labels for V0 index 0..3 and 6 only, at the end of their curves.
    const std::vector<std::string> curveLabels{labels[11].text, labels[12].text, labels[13].text,
                                               labels[14].text, labels[15].text};
    EXPECT_EQ(curveLabels, (std::vector<std::string>{"  10", "  50", "  100", "  200", "  500"}));
    EXPECT_NEAR(labels[11].x, 0.9 + 0.21 * 7, 1e-5);

    // The widget draws what it keeps: the dose axis is black at x = 0.6 of 3.
    auto* picture = control<Picture1>(results, QStringLiteral("Picture1"));
    const QImage image = picture->grab().toImage();
    const QPoint onAxis = picture->toPixels(0.6f, 1.5f).toPoint();
    EXPECT_LT(qGray(image.pixel(onAxis)), 128);
    EXPECT_EQ(image.pixel(picture->toPixels(2.9f, 2.9f).toPoint()), QColor(Qt::white).rgb());
}

TEST_F(ResultsWindow, SaveButtonOpensOneSaveWindowNotModal) {
    click(results, "Command1");
    click(results, "Command1");
    EXPECT_EQ(openWindows("Form3").size(), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    option(3)->click();  // the results window stays usable
    expectSchedule(2);
}

TEST_F(ResultsWindow, GoBackGivesAFreshInputWindowAndLeavesTheSaveWindow) {
    click(results, "Command1");
    click(results, "Command2");
    EXPECT_EQ(openWindow("Form2"), nullptr);
    EXPECT_NE(openWindow("Form3"), nullptr);
    input = openWindow("Form1");
    ASSERT_NE(input, nullptr);
    for (int n = 1; n <= 17; ++n) EXPECT_TRUE(field(input, n)->text().isEmpty()) << n;
    EXPECT_TRUE(control<QListWidget>(input, QStringLiteral("List1"))->selectedItems().isEmpty());
    EXPECT_FALSE(button(input, "Command1")->isEnabled());
    EXPECT_EQ(button(input, "Command1")->text(), "Calculate Doses");
}

TEST_F(ResultsWindow, NextCalculationOpensOnOption1Again) {
    option(3)->click();
    click(results, "Command2");
    input = openWindow("Form1");
    ASSERT_NE(input, nullptr);
    choose("Tc-99m DTPA");
    results = calculate();
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(option(1)->isChecked());
    expectSchedule(0);
    EXPECT_EQ(module->doseResults->parameters.name, "Tc-99m DTPA");
}

// A data file that cannot be read again keeps the results window and its results.
TEST_F(ResultsWindow, GoBackWithAnUnusableDataFileStaysOnTheResults) {
    QFile::remove(dataFile);
    click(results, "Command2");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(dataFile)) << messages.front().toStdString();
    EXPECT_EQ(openWindow("Form2"), results);
    EXPECT_EQ(openWindow("Form1"), nullptr);
    expectSchedule(0);
}

TEST_F(ResultsWindow, QuitWithTheSaveWindowOpenWritesNothing) {
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder.path());
    click(results, "Command1");
    field(openWindow("Form3"), 1)->setText(QStringLiteral("never.txt"));
    click(results, "Command3");
    EXPECT_TRUE(openWindows("Form2").isEmpty());
    EXPECT_TRUE(openWindows("Form3").isEmpty());
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("never.txt"))));
    QDir::setCurrent(before);
}

// Every dose equal: the curves run flat at mid-height, the rest as usual.
TEST(ResultsWindowAlone, EqualDosesDrawFlatCurves) {
    Module1 module("unused");
    module.doseResults = DoseResults{};
    module.doseResults->grids.v0Grid = {10, 50, 100, 200, 300, 400, 500};
    Form2 results(module, [] {});
    results.show();
    results.renderSchedule(1);
    const auto& drawing = results.findChild<Picture1*>(QStringLiteral("Picture1"))->drawing();
    // After the axes, every curve point lies at y = 1.45.
    int curvePoints = 0;
    for (std::size_t i = 4; i < drawing.size(); ++i) {
        if (drawing[i].kind == DrawPrimitive::Kind::Print) continue;
        EXPECT_FLOAT_EQ(drawing[i].y, 1.45f);
        ++curvePoints;
    }
    EXPECT_EQ(curvePoints, kV0Count * kT0Count);
    EXPECT_TRUE(results.findChild<QTextEdit*>(QStringLiteral("Text1"))
                    ->toPlainText()
                    .startsWith(QStringLiteral("0.00E+00  0.00E+00")));
}

}  // namespace
}  // namespace orvane::testing
