// The scenario window: opened on a dose table cell it shows the cell's dose; edits recompute as
// the engine does; a refused diary row is marked and named while the plots stay; nothing in the
// editor moves under the mouse; the plots' read-out is never exported.
#include <QAction>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <functional>
#include <map>

#include "gui/scenario/scenario_editor.h"
#include "gui/scenario/scenario_plots.h"
#include "scenario_test_support.h"

namespace orvane::testing {
namespace {

TEST_F(ScenarioWindowTest, ACellOpensWithItsDoseByDoubleClickAndContextMenu) {
    choose("Tc-99m MAG3");
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    control<QRadioButton>(results, "Option2")->click();
    auto* table = control<QTextEdit>(results, "Text1");
    // Row V0 = 200 ml (fourth line), column T0 = 100 min (fifth value).
    const int row = 3, column = 4;
    const QString line = table->document()->findBlockByNumber(row).text();
    const QString cellText = line.mid(column * 10, 8);
    EXPECT_EQ(cellText.toStdString(),
              formatScientific(module->doseResults()->tables[1].at(column, row)));
    QTextCursor cursor(table->document()->findBlockByNumber(row));
    cursor.setPosition(cursor.position() + column * 10 + 3);
    const QPoint place = table->cursorRect(cursor).center();

    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, place);
    settle();
    QWidget* window = openWindow("scenarioWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(doseText(window), QStringLiteral("Bladder-wall dose: %1 mGy/MBq").arg(cellText));
    window->close();
    settle();

    emit table->customContextMenuRequested(place);
    auto* menu = results->findChild<QMenu*>(QStringLiteral("tableMenu"));
    ASSERT_NE(menu, nullptr);
    auto* overTime = menu->findChild<QAction*>(QStringLiteral("cellOverTimeAction"));
    ASSERT_NE(overTime, nullptr);
    ASSERT_TRUE(overTime->isEnabled());
    overTime->trigger();
    settle();
    window = openWindow("scenarioWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(doseText(window).contains(cellText));
}

TEST_F(ScenarioWindowTest, EditsRecomputeAndARefusedDiaryRowKeepsThePlots) {
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, {}));
    ASSERT_NE(window, nullptr);
    type(window, "voidInterval", QStringLiteral("120"));
    nlohmann::json document = newScenarioDocument().json();
    document["voiding"]["interval"] = 120;
    const ScenarioResult expected = computed(document, module->standardData());
    EXPECT_EQ(doseText(window), doseLine(expected.dose));
    auto* voids = control<QTableView>(window, "voidTable");
    ASSERT_EQ(voids->model()->rowCount(), static_cast<int>(expected.voids.size()));
    for (int r = 0; r < voids->model()->rowCount(); ++r) {
        EXPECT_EQ(voids->model()->index(r, 0).data(Qt::UserRole).toDouble(),
                  expected.voids[r].time);
        EXPECT_EQ(voids->model()->index(r, 2).data(Qt::UserRole).toDouble(),
                  expected.voids[r].volume);
    }
    // The void lines of the plots stand at the voids.
    auto* plots = control<ScenarioPlots>(window, "scenarioPlots");
    auto* voidLines = seriesNamed<QLineSeries>(plots->chart(0), "voids");
    ASSERT_NE(voidLines, nullptr);
    ASSERT_EQ(voidLines->count(), 3 * static_cast<int>(expected.voids.size()));
    EXPECT_DOUBLE_EQ(voidLines->at(3).x(), expected.voids[1].time / 60);
    // One time stands at one x in all three charts.
    settle();
    for (int i : {1, 2}) {
        EXPECT_NEAR(plots->chart(i)->plotArea().left(), plots->chart(0)->plotArea().left(), 1) << i;
    }
    // The clock along the top names the clock time of each hour tick (administration 09:00).
    auto* clock = qobject_cast<QCategoryAxis*>(plots->chart(0)->axes(Qt::Horizontal).back());
    ASSERT_NE(clock, nullptr);
    plots->setTimeRange(0, 12);
    const QStringList labels = clock->categoriesLabels();
    ASSERT_GE(labels.size(), 3);
    EXPECT_EQ(labels[0], QStringLiteral("09:00"));
    EXPECT_EQ(labels[1], QStringLiteral("11:00"));    // every other hourly tick labelled
    EXPECT_DOUBLE_EQ(clock->endValue(labels[1]), 3);  // centred on the tick at 2 h
    plots->setTimeRange(12, 36);                      // every other 2-h tick, from 21:00
    EXPECT_EQ(clock->categoriesLabels().value(1), QStringLiteral("01:00 +1d"));

    // A diary whose second void comes before its first: marked, named, nothing recomputed.
    nlohmann::json diary = newScenarioDocument().json();
    diary["voiding"] = {{"voids", {45, 150, {{"at", 260}, {"residual", 30}}}}};
    window->load(ScenarioDocument(diary));
    const Scenario accepted = *window->scenario();
    const int points = static_cast<QLineSeries*>(plots->chart(2)->series().back())->count();
    auto* rows = control<QTableWidget>(window, "diaryVoids");
    rows->item(1, 0)->setText(QStringLiteral("30"));
    auto* editor = control<ScenarioEditor>(window, "scenarioEditor");
    EXPECT_EQ(editor->markedField(), rows);
    EXPECT_TRUE(editor->message().startsWith(QStringLiteral("Diary, row 2")))
        << editor->message().toStdString();
    EXPECT_EQ(*window->scenario(), accepted);
    EXPECT_EQ(static_cast<QLineSeries*>(plots->chart(2)->series().back())->count(), points);
    // Mended, the mark goes.
    rows->item(1, 0)->setText(QStringLiteral("150"));
    EXPECT_EQ(editor->markedField(), nullptr);
    EXPECT_TRUE(editor->message().isEmpty());
}

// Scrolled to its end, where an editor that shrinks would move every field under the mouse:
// ticking "Then regularly", an error line that comes and goes, and another pattern move none.
TEST_F(ScenarioWindowTest, NothingInTheEditorMovesUnderTheMouse) {
    nlohmann::json diary = newScenarioDocument().json();
    diary["voiding"] = {{"voids", {45, 150, 260}}};
    QWidget* window = module->openers().scenario({}, diary.dump());
    ASSERT_NE(window, nullptr);
    window->resize(1280, 520);
    settle();
    auto* editor = control<ScenarioEditor>(window, "scenarioEditor");
    auto* scroll = qobject_cast<QScrollArea*>(editor->parentWidget()->parentWidget());
    ASSERT_NE(scroll, nullptr);
    QScrollBar* bar = scroll->verticalScrollBar();
    // Where each field, button and list a click can land in is in the window.
    auto places = [&] {
        settle();
        std::map<QString, QRect> found;
        for (QWidget* field : editor->findChildren<QWidget*>()) {
            if (!field->objectName().isEmpty() && field->isVisible() &&
                field->focusPolicy() != Qt::NoFocus) {
                found[field->objectName()] =
                    QRect(field->mapTo(window, QPoint(0, 0)), field->size());
            }
        }
        return found;
    };
    auto* then = control<QCheckBox>(window, "diaryThen");
    auto* pattern = control<QComboBox>(window, "voidingPattern");
    const std::vector<std::pair<const char*, std::function<void()>>> steps{
        {"then ticked", [&] { then->click(); }},
        {"then unticked", [&] { then->click(); }},
        {"an error line",
         [&] { type(window, "endTime", "not a number, and a long reason to wrap the line"); }},
        {"the error mended", [&] { type(window, "endTime", {}); }},
        {"regular pattern", [&] { pattern->setCurrentIndex(1); }},
        {"the tables' pattern", [&] { pattern->setCurrentIndex(0); }}};
    for (const auto& [what, step] : steps) {
        bar->setValue(bar->maximum());
        ASSERT_GT(bar->value(), 0);
        const auto start = places();
        step();
        const auto now = places();
        for (const auto& [name, place] : start) {
            if (now.contains(name)) {
                EXPECT_EQ(now.at(name), place) << what << ": " << name.toStdString();
            }
        }
    }
}

// The mouse's read-out under the plots belongs to the scenario it was read from: an export
// leaves it out and a recompute clears it. While the editor shows an error, the large dose of
// the last valid scenario says that it is out of date.
TEST_F(ScenarioWindowTest, TheReadoutIsNeverExportedAndAnErrorMarksTheDoseOutOfDate) {
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, {}));
    ASSERT_NE(window, nullptr);
    window->show();
    settle();
    auto* plots = control<ScenarioPlots>(window, "scenarioPlots");
    auto* view = control<QChartView>(window, "doseChartView");
    const QPointF middle = view->viewport()->rect().center();
    QMouseEvent move(QEvent::MouseMove, middle, view->viewport()->mapToGlobal(middle), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    const QString readout = plots->readout();
    ASSERT_TRUE(readout.contains(QStringLiteral("dose so far"))) << readout.toStdString();

    const QString svgPath = folder.filePath(QStringLiteral("plots.svg"));
    ASSERT_TRUE(window->exportPlots(svgPath));
    const QByteArray drawing = readBytes(svgPath);
    EXPECT_TRUE(drawing.contains("Volume (ml)"));  // the drawing's texts are in the file
    EXPECT_FALSE(drawing.contains("dose so far"));
    EXPECT_EQ(plots->readout(), readout);  // still on screen

    const QString before = doseText(window);
    type(window, "voidInterval", QStringLiteral("-5"));
    EXPECT_EQ(doseText(window),
              before + QStringLiteral("   (out of date: the editor shows an error)"));
    type(window, "voidInterval", QStringLiteral("180"));
    EXPECT_EQ(doseText(window), before);
    EXPECT_TRUE(plots->readout().isEmpty());
}

}  // namespace
}  // namespace orvane::testing
