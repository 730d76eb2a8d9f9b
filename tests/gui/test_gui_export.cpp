// The results window's export commands through one session, each started from the graph's
// context menu: the graph as SVG and PNG, the results as PDF, the dose table copied for a
// spreadsheet, and Ctrl+C with and without selected text.
#include <QAction>
#include <QClipboard>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QXmlStreamReader>
#include <ranges>

#include "engine/numtext.h"
#include "gui/results/form2.h"
#include "gui/results/picture1.h"
#include "gui_test_support.h"
#include "report/report.h"
#include "report/table_export.h"

namespace orvane::testing {
namespace {

// The text of each page of a PDF, by pdftotext.
QStringList pdfPages(const QString& path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral(ORVANE_PDFTOTEXT),
                    {QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(pdftotext.waitForFinished(30000));
    EXPECT_EQ(pdftotext.exitCode(), 0) << pdftotext.readAllStandardError().toStdString();
    QStringList pages =
        QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    return pages;
}

using ResultsExport = WindowTest;

TEST_F(ResultsExport, SessionThroughTheExportCommands) {
    choose("Tc-99m MAG3");
    auto* results = qobject_cast<Form2*>(calculate());
    ASSERT_NE(results, nullptr);
    const DoseResults& stored = *module->doseResults();
    auto* picture = control<Picture1>(results, QStringLiteral("Picture1"));
    QString answer;
    module->services().exportDialogs.saveFileName = [&](QWidget*, const QString&, const QString&,
                                                        const QStringList&) { return answer; };
    bool printAsked = false;
    module->services().exportDialogs.print = [&](QWidget*, QPrinter&) {
        return printAsked = true, false;
    };
    auto fillRateLine = [&](int s) {  // e.g. "Bladder Fill Rates: 0.5/0.25 ml/min, day/night"
        const std::string report = ParameterReport(stored.parameters, kFillRateSchedules[s]);
        return withLf(report).trimmed().section('\n', -1);
    };

    // The context menu offers the commands with their shortcuts; each runs from there.
    QStringList entries;
    for (QAction* entry : picture->actions()) {
        entries << entry->text() + ' ' + entry->shortcut().toString(QKeySequence::PortableText);
    }
    EXPECT_EQ(entries,
              (QStringList{"Save Graph as PNG or SVG... Ctrl+S", "Copy Dose Table Ctrl+C", " ",
                           "Print... Ctrl+P", "Save All Schedules as PDF... Ctrl+Shift+P",
                           "Save Shown Schedule as PDF... "}));
    auto run = [&](int entry, const char* file) {  // entry: the place in the menu
        answer = file ? folder.filePath(QString::fromLatin1(file)) : QString();
        picture->actions().at(entry)->trigger();
        settle();
    };

    // The SVG holds the texts of the shown schedule's drawing, in order.
    control<QRadioButton>(results, QStringLiteral("Option3"))->click();
    run(0, "graph.svg");
    QFile svgFile(answer);
    svgFile.open(QIODevice::ReadOnly);
    QStringList written, expected;
    for (QXmlStreamReader svg(&svgFile); !svg.atEnd();) {
        if (svg.readNext() == QXmlStreamReader::StartElement &&
            svg.name() == QLatin1String("text")) {
            written << svg.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        }
    }
    for (const DrawPrimitive& p : RenderSchedule(stored, 2).drawing) {
        if (p.kind == DrawPrimitive::Kind::Print)
            expected << QString::fromStdString(p.text).trimmed();
    }
    EXPECT_EQ(written, expected);
    run(0, "graph.png");
    EXPECT_EQ(QImage(answer).size(), picture->size() * 2);

    // The PDF of all schedules: a page each, with its own fill rates and all its doses.
    run(4, "all.pdf");
    const QStringList pages = pdfPages(answer);
    ASSERT_EQ(pages.size(), kScheduleCount);
    for (int s = 0; s < kScheduleCount; ++s) {
        SCOPED_TRACE(pages[s].toStdString());
        for (int other = 0; other < kScheduleCount; ++other) {
            EXPECT_EQ(pages[s].contains(fillRateLine(other)), other == s) << other;
        }
        const QStringList words = pages[s].split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        for (double dose : stored.tables[s].dose | std::views::join) {
            EXPECT_TRUE(words.contains(QString::fromStdString(formatScientific(dose))));
        }
    }
    run(5, "shown.pdf");
    ASSERT_EQ(pdfPages(answer).size(), 1);
    EXPECT_TRUE(pdfPages(answer)[0].contains(fillRateLine(2)));
    run(3, nullptr);
    EXPECT_TRUE(printAsked);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();

    // The copied table parses back to the shown doses: V0 down, T0 across.
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    run(1, nullptr);
    const QStringList lines = clipboard->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + kV0Count);
    EXPECT_TRUE(lines[0].startsWith("Tc-99m MAG3\t")) << lines[0].toStdString();
    for (int v = 0; v < kV0Count; ++v) {
        const QStringList cells = lines[2 + v].split('\t');
        ASSERT_EQ(cells.size(), 1 + kT0Count);
        EXPECT_EQ(cells[0].toDouble(), stored.grids.v0Grid[v]);
        for (int t = 0; t < kT0Count; ++t) {
            EXPECT_NEAR(cells[t + 1].toDouble(), stored.tables[2].at(t, v),
                        0.005 * stored.tables[2].at(t, v));
        }
    }

    // Ctrl+C copies selected text as usual, else the table.
    results->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(results));
    auto* report = control<QTextEdit>(results, QStringLiteral("Text2"));
    report->setFocus();
    report->moveCursor(QTextCursor::Start);
    report->moveCursor(QTextCursor::NextWord, QTextCursor::KeepAnchor);
    QTest::keyClick(report, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), report->textCursor().selectedText());
    report->moveCursor(QTextCursor::End);
    QTest::keyClick(report, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QString::fromStdString(doseTableTabSeparated(stored, 2)));
}

}  // namespace
}  // namespace orvane::testing
