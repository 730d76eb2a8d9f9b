// The results window through one session: schedule 0 on opening, the option buttons, the
// single save window, going back to a fresh input window, and a failed reload; the table and
// the report can be copied but not changed.
#include <QClipboard>
#include <QGuiApplication>
#include <QRadioButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include "gui/results/picture1.h"
#include "gui_test_support.h"
#include "report/report.h"

namespace orvane::testing {
namespace {

using ResultsWindow = WindowTest;

TEST_F(ResultsWindow, SessionThroughTheSchedulesAndBack) {
    choose("Tc-99m MAG3");
    // Typed texts as the user left them: another spelling of a number, and a name of one's own.
    field(input, 2)->setText(QStringLiteral("0.0401"));
    field(input, 16)->setText(QStringLiteral("MAG3, my batch"));
    QStringList typed;
    for (int n = 1; n <= 16; ++n) typed << field(input, n)->text();
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    auto option = [&](int n) {
        return control<QRadioButton>(results, QStringLiteral("Option%1").arg(n));
    };
    // The window shows exactly what RenderSchedule gives for the schedule.
    auto expectSchedule = [&](int schedule) {
        SCOPED_TRACE(schedule);
        const ScheduleView view = RenderSchedule(*module->doseResults(), schedule);
        QString table = withLf(view.table);
        table.chop(1);  // the field holds no empty line after the last one
        EXPECT_EQ(control<QTextEdit>(results, "Text1")->toPlainText(), table);
        EXPECT_EQ(control<QTextEdit>(results, "Text2")->toPlainText(), withLf(view.report));
        EXPECT_EQ(control<Picture1>(results, "Picture1")->drawing(), view.drawing);
    };
    EXPECT_TRUE(option(1)->isChecked());
    expectSchedule(0);
    for (int n : {2, 3, 1}) {
        option(n)->click();
        expectSchedule(n - 1);
    }

    // One save window, not modal; it outlives the results window.
    click(results, "Command1");
    click(results, "Command1");
    EXPECT_EQ(openWindows("Form3").size(), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    option(3)->click();
    click(results, "Command2");
    EXPECT_EQ(openWindow("Form2"), nullptr);
    EXPECT_NE(openWindow("Form3"), nullptr);
    input = openWindow("Form1");
    ASSERT_NE(input, nullptr);
    // The fresh input window shows what the calculation was started from, and waits for a
    // time check before Calculate.
    for (int n = 1; n <= 16; ++n) EXPECT_EQ(field(input, n)->text(), typed[n - 1]) << n;
    EXPECT_TRUE(field(input, 17)->text().isEmpty());
    EXPECT_TRUE(control<QListWidget>(input, "List1")->selectedItems().isEmpty());
    EXPECT_FALSE(control(input, "Command1")->isEnabled());

    // The next calculation opens on Option1 again.
    choose("Tc-99m DTPA");
    results = calculate();
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(option(1)->isChecked());
    expectSchedule(0);

    // A data file that cannot be read again keeps the results window and its results.
    QFile::remove(dataFile);
    click(results, "Command2");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(dataFile)) << messages.front().toStdString();
    EXPECT_EQ(openWindow("Form2"), results);
    EXPECT_EQ(openWindow("Form1"), nullptr);
    expectSchedule(0);
}

// The dose table and the report show the computed values: keys, pasting and cutting change
// nothing, while a selection is copied as shown.
TEST_F(ResultsWindow, TableAndReportRefuseTypingButCopy) {
    choose("F-18 FDG");
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    results->activateWindow();
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const char* name : {"Text1", "Text2"}) {
        SCOPED_TRACE(name);
        auto* field = control<QTextEdit>(results, name);
        const QString shown = field->toPlainText();
        QTextCursor cursor(field->document());
        cursor.setPosition(3);
        field->setTextCursor(cursor);
        field->setFocus();
        clipboard->setText(QStringLiteral("9.99E+99"));
        QTest::keyClicks(field, QStringLiteral("9x"));
        for (const QKeySequence::StandardKey key :
             {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Delete}) {
            QTest::keySequence(field, QKeySequence(key));
        }
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->toPlainText().toStdString(), shown.toStdString());

        // The first line selected by keyboard, then everything: each copied as it stands.
        QTest::keySequence(field, QKeySequence(QKeySequence::MoveToStartOfDocument));
        QTest::keySequence(field, QKeySequence(QKeySequence::SelectEndOfLine));
        QTest::keySequence(field, QKeySequence(QKeySequence::Copy));
        EXPECT_EQ(clipboard->text().toStdString(), shown.section('\n', 0, 0).toStdString());
        QTest::keySequence(field, QKeySequence(QKeySequence::SelectAll));
        QTest::keySequence(field, QKeySequence(QKeySequence::Copy));
        EXPECT_EQ(clipboard->text().toStdString(), shown.toStdString());
    }
}

}  // namespace
}  // namespace orvane::testing
