// The results window's export commands through one session, each started from the graph's
// context menu: the graph as SVG and PNG, the results as PDF, the dose table copied for a
// spreadsheet, and Ctrl+C with and without selected text.
#include <sys/stat.h>

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
#include <utility>

#include "engine/numtext.h"
#include "gui/common/file_name.h"
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

TEST(SafeFileName, IsOnePlainNameWhateverTheTitle) {
    const std::string longTitle(300, 'a');
    const std::pair<std::string, std::string> cases[]{
        {"Bladder dose (mGy/MBq), F-18 FDG", "Bladder-dose-mGy-MBq-F-18-FDG"},
        {"Tc-99m MAG3", "Tc-99m-MAG3"},
        {"a - b__c", "a-b__c"},  // a blank beside a dash gives no second dash
        {"../../etc/passwd", "etc-passwd"},
        {"..", "fallback"},      // never "." or ".."
        {".hidden.", "hidden"},  // nor hidden, nor ending in a dot
        {"-rf", "rf"},           // nor read as an option
        {"C:\\Temp\\x", "C-Temp-x"},
        {"line\nbreak\ttab", "line-break-tab"},
        {"Lu-177 \xce\xbc-dose", "Lu-177-dose"},  // UTF-8 letters go
        {"", "fallback"},
        {"(/)", "fallback"},
        {longTitle + "b", longTitle.substr(0, kMaxFileNameStem)},
        {std::string(kMaxFileNameStem - 1, 'a') + "-b", std::string(kMaxFileNameStem - 1, 'a')}};
    for (const auto& [title, expected] : cases) {
        EXPECT_EQ(safeFileName(title, "fallback"), expected) << title;
    }
}

TEST_F(ResultsExport, SessionThroughTheExportCommands) {
    choose("Tc-99m MAG3");
    auto* results = qobject_cast<Form2*>(calculate());
    ASSERT_NE(results, nullptr);
    const DoseResults& stored = *module->doseResults();
    auto* picture = control<Picture1>(results, "Picture1");
    QString answer;
    QStringList suggested;
    module->services().exportDialogs.saveFileName =
        [&](QWidget*, const QString&, const QString& suggestion, const QStringList&) {
            suggested << QFileInfo(suggestion).fileName();
            return answer;
        };
    QString printedName;  // the print dialog makes its "print to file" name from it
    module->services().exportDialogs.print = [&](QWidget*, QPrinter& printer) {
        return printedName = printer.docName(), false;
    };
    auto fillRateLine = [&](int s) {  // e.g. "Bladder Fill Rates: 0.5/0.25 ml/min, day/night"
        const std::string report = ParameterReport(stored.parameters, kFillRateSchedules[s]);
        return withLf(report).trimmed().section('\n', -1);
    };

    // Each command runs from the context menu: 0 graph, 1 table copy, 3 print, 4 all schedules
    // as PDF, 5 the shown one.
    auto run = [&](int entry, const char* file) {
        answer = file ? folder.filePath(QString::fromLatin1(file)) : QString();
        picture->actions().at(entry)->trigger();
        settle();
    };

    // The SVG is the chart of the shown schedule, not the window's picture: its title, its
    // T0 ticks every 20 min, its axis titles and a legend entry per V0.
    control<QRadioButton>(results, "Option3")->click();
    run(0, "graph.svg");
    const QString title = "Bladder dose (mGy/MBq), Tc-99m MAG3, " + QString(kScheduleCaptions[2]);
    QStringList written;
    for (QXmlStreamReader svg(readBytes(answer)); !svg.atEnd();) {
        if (svg.readNext() == QXmlStreamReader::StartElement &&
            (svg.name() == QLatin1String("text") || svg.name() == QLatin1String("title"))) {
            written << svg.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        }
    }
    ASSERT_FALSE(written.isEmpty());
    EXPECT_EQ(written.front(), title);
    QStringList expected{"Tc-99m MAG3: bladder-wall dose, fill rate 1.5/0.75 ml/min day/night",
                         "First-void time T0 (min after administration)",
                         "Bladder-wall dose (mGy/MBq)"};
    for (int t0 = 0; t0 <= 180; t0 += 20) expected << QString::number(t0);
    for (double v0 : stored.grids.v0Grid) expected << QStringLiteral("V0 = %1 ml").arg(v0);
    for (const QString& text : expected) {
        EXPECT_TRUE(written.contains(text))
            << text.toStdString() << " in " << written.join(" | ").toStdString();
    }
    run(0, "graph.png");
    const QImage png(answer);
    EXPECT_EQ(png.width(), 2 * 820);
    EXPECT_EQ(png.text(QStringLiteral("Title")), title);

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
        for (const auto& row : stored.tables[s].dose) {
            for (double dose : row)
                EXPECT_TRUE(words.contains(QString::fromStdString(formatScientific(dose))));
        }
    }
    EXPECT_EQ(suggested, (QStringList{"Tc-99m-MAG3-1.5-0.75.png", "Tc-99m-MAG3-1.5-0.75.png",
                                      "Tc-99m-MAG3-all.pdf"}));
    run(5, "shown.pdf");
    ASSERT_EQ(pdfPages(answer).size(), 1);
    EXPECT_TRUE(pdfPages(answer)[0].contains(fillRateLine(2)));
    run(3, nullptr);
    EXPECT_EQ(printedName,
              QStringLiteral("Bladder-dose-mGy-MBq-Tc-99m-MAG3-all-three-fill-rate-schedules"));
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

    // Ctrl+C without a selection copies the table (a selection copied as usual: the results
    // window's test).
    results->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(results));
    auto* report = control<QTextEdit>(results, "Text2");
    report->setFocus();
    clipboard->clear();
    QTest::keyClick(report, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QString::fromStdString(doseTableTabSeparated(stored, 2)));
}

// Each export (graph as PNG and SVG, PDF saved or printed to a file) over a target it cannot
// write: a full disk keeps the old file, a FIFO or a link to nothing is refused without
// blocking; the message names the path and the reason, and no temporary file is left.
TEST_F(ResultsExport, AFailedExportKeepsTheOldFileAndSaysWhy) {
    choose("Tc-99m MAG3");
    ASSERT_NE(calculate(), nullptr);
    auto* picture = control<Picture1>(openWindow("Form2"), "Picture1");
    const QDir here(folder.filePath(QStringLiteral("exports")));
    ASSERT_TRUE(here.mkpath(QStringLiteral(".")));
    ASSERT_EQ(::mkfifo(here.filePath(QStringLiteral("pipe")).toLocal8Bit().constData(), 0644), 0);
    ASSERT_TRUE(
        QFile::link(QStringLiteral("nowhere/x.pdf"), here.filePath(QStringLiteral("dangling"))));
    QString target;
    WindowServices& services = module->services();
    services.exportDialogs.saveFileName = [&](QWidget*, const QString&, const QString&,
                                              const QStringList&) { return target; };
    services.exportDialogs.print = [&](QWidget*, QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target);
        return true;
    };
    const std::pair<int, const char*> commands[] = {
        {0, ".png"}, {0, ".svg"}, {4, ".pdf"}, {5, ".pdf"}, {3, ".pdf"}};  // places in the menu
    for (const auto& [entry, suffix] : commands) {
        const QString old = here.filePath(QStringLiteral("old") + suffix);
        for (const auto& [name, reason] :
             {std::pair{old, "File too large"},
              std::pair{here.filePath("pipe"), "not a regular file"},
              std::pair{here.filePath("dangling"), "No such file or directory"}}) {
            SCOPED_TRACE(QString("%1 to %2").arg(entry).arg(name).toStdString());
            writeBytes(old, "an older export");
            const QStringList before =
                here.entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
            messages.clear();
            target = name;
            {
                FileSizeLimit fullDisk(64);
                picture->actions().at(entry)->trigger();
            }
            settle();
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages.front().contains('"' + name + "\": " + reason))
                << messages.front().toStdString();
            EXPECT_EQ(here.entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
            EXPECT_TRUE(QFileInfo(here.filePath("pipe")).exists());
            EXPECT_TRUE(QFileInfo(here.filePath("dangling")).isSymLink());
            EXPECT_EQ(readBytes(old), "an older export");
        }
    }
}

}  // namespace
}  // namespace orvane::testing
