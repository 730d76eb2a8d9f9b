// The chart window of the dose table: its series hold the table's doses at the T0 grid, the
// axes are true to scale, schedules overlay and stand side by side on one dose scale, and the
// read-out gives the tabulated point nearest the mouse.
#include <QAction>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QRadioButton>
#include <QTest>
#include <QValueAxis>

#include "engine/numtext.h"
#include "gui/results/dose_chart_window.h"
#include "gui_test_support.h"

namespace orvane::testing {
namespace {

using DoseChart = WindowTest;

QList<QChartView*> views(QWidget* window) {
    return window->findChildren<QChartView*>();
}

TEST_F(DoseChart, SeriesHoldTheTableAndTheAxesAreTrue) {
    choose("Tc-99m MAG3");
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    const DoseResults& stored = *module->doseResults();
    control<QRadioButton>(results, "Option2")->click();
    control<QAction>(results, "doseChartAction")->trigger();
    settle();
    auto* window = results->findChild<QWidget*>(QStringLiteral("doseChartWindow"));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());

    // The shown schedule: one series per V0, its points the table row at T0 = 20 ... 180.
    ASSERT_EQ(views(window).size(), 1);
    QChart* chart = views(window).front()->chart();
    EXPECT_TRUE(chart->title().contains(QStringLiteral("Tc-99m MAG3")));
    EXPECT_TRUE(chart->title().contains(QStringLiteral("1.0/0.5 ml/min")));
    ASSERT_EQ(chart->series().size(), kV0Count);
    for (int v = 0; v < kV0Count; ++v) {
        auto* series = static_cast<QLineSeries*>(chart->series()[v]);
        ASSERT_EQ(series->count(), kT0Count);
        for (int t = 0; t < kT0Count; ++t) {
            EXPECT_EQ(series->at(t), QPointF(stored.grids.t0Grid[t], stored.tables[1].at(t, v)));
        }
    }
    auto* doseAxis = static_cast<QValueAxis*>(chart->axes(Qt::Vertical).front());
    EXPECT_EQ(doseAxis->min(), 0);
    double highest = 0;
    for (const auto& row : stored.tables[1].dose) {
        for (double dose : row) highest = std::max(highest, dose);
    }
    EXPECT_GE(doseAxis->max(), highest);
    EXPECT_LT(doseAxis->max(), 2 * highest);

    // The read-out names the tabulated point nearest the mouse, in the table's notation.
    auto* series = static_cast<QLineSeries*>(chart->series()[3]);
    emit series->hovered(QPointF(62.4, 0.0), true);
    EXPECT_EQ(control<QLabel>(window, "chartReadout")->text(),
              QStringLiteral("V0 = 200 ml, T0 = 60 min, fill rate 1.0/0.5 ml/min: %1 mGy/MBq")
                  .arg(QString::fromStdString(formatScientific(stored.tables[1].at(2, 3)))));

    // Logarithmic: a decade axis that holds every dose.
    control<QCheckBox>(window, "logarithmicDose")->setChecked(true);
    chart = views(window).front()->chart();
    auto* logAxis = qobject_cast<QLogValueAxis*>(chart->axes(Qt::Vertical).front());
    ASSERT_NE(logAxis, nullptr);
    EXPECT_LE(logAxis->min(), stored.tables[1].at(8, 6));
    EXPECT_GE(logAxis->max(), highest);

    // Overlaid: 21 series, the schedule told by each; side by side: three charts, one scale.
    auto* choice = control<QComboBox>(window, "chartSchedules");
    choice->setCurrentIndex(DoseChartWindow::kOverlaid);
    ASSERT_EQ(views(window).size(), 1);
    chart = views(window).front()->chart();
    ASSERT_EQ(chart->series().size(), kScheduleCount * kV0Count);
    EXPECT_EQ(chart->series()[2 * kV0Count]->property("schedule").toInt(), 2);
    EXPECT_EQ(static_cast<QLineSeries*>(chart->series()[2 * kV0Count])->at(0).y(),
              stored.tables[2].at(0, 0));
    choice->setCurrentIndex(DoseChartWindow::kSideBySide);
    ASSERT_EQ(views(window).size(), kScheduleCount);
    std::vector<std::pair<double, double>> ranges;
    for (QChartView* view : views(window)) {
        auto* axis = static_cast<QLogValueAxis*>(view->chart()->axes(Qt::Vertical).front());
        ranges.emplace_back(axis->min(), axis->max());
    }
    EXPECT_EQ(ranges[0], ranges[1]);
    EXPECT_EQ(ranges[1], ranges[2]);
    // Side by side in the window as it opens, every title, label and legend entry is whole
    // (Qt Charts ends a text that does not fit with "..."); one legend below names the colours.
    settle();
    for (QChartView* view : views(window)) {
        int texts = 0;
        for (QGraphicsItem* item : view->scene()->items()) {
            auto* text = dynamic_cast<QGraphicsTextItem*>(item);
            if (!text || !text->isVisible()) continue;
            ++texts;
            EXPECT_FALSE(text->toPlainText().contains(QStringLiteral("...")))
                << text->toPlainText().toStdString();
        }
        EXPECT_GE(texts, 5);
        EXPECT_TRUE(view->chart()->title().contains(QStringLiteral("MAG3")));
    }
    const QString legend = control<QLabel>(window, "chartLegend")->text();
    EXPECT_TRUE(control<QLabel>(window, "chartLegend")->isVisible());
    for (double v0 : stored.grids.v0Grid) {
        EXPECT_TRUE(legend.contains(QStringLiteral("V0&nbsp;=&nbsp;%1&nbsp;ml").arg(v0)));
    }

    // A double-click on the documented graph opens another chart window.
    QTest::mouseDClick(control<QWidget>(results, "Picture1"), Qt::LeftButton);
    settle();
    EXPECT_EQ(results->findChildren<DoseChartWindow*>().size(), 2);
}

}  // namespace
}  // namespace orvane::testing
