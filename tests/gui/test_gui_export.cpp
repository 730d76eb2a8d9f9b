// The results window's export commands: the graph saved as SVG and PNG, the dose table copied
// for a spreadsheet, the results printed or saved as PDF, and the context menu and shortcuts
// that offer them.
#include <QAction>
#include <QClipboard>
#include <QDate>
#include <QFileInfo>
#include <QImage>
#include <QMenuBar>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QXmlStreamReader>
#include <cmath>
#include <string>

#include "engine/numtext.h"
#include "gui_test_support.h"
#include "ui/results/form2.h"
#include "ui/results/picture1.h"
#include "ui/results/report.h"
#include "ui/results/schedule_print.h"
#include "ui/results/table_export.h"

namespace orvane::testing {
namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// The last line of the schedule's report, e.g. "Bladder Fill Rates: 0.5/0.25 ml/min, day/night".
QString fillRateLine(const DoseResults& results, int schedule) {
    const QStringList lines =
        text(ParameterReport(results.parameters, kFillRateSchedules[schedule]))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    return lines.back();
}

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

struct SvgContent {
    QString viewBox, title;
    QStringList texts;
};

SvgContent readSvg(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    SvgContent svg;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("svg")) {
            svg.viewBox = xml.attributes().value(QLatin1String("viewBox")).toString();
        } else if (xml.name() == QLatin1String("title")) {
            svg.title = xml.readElementText();
        } else if (xml.name() == QLatin1String("text")) {
            svg.texts << xml.readElementText(QXmlStreamReader::IncludeChildElements);
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return svg;
}

class ResultsExportTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        choose("Tc-99m MAG3");
        results = qobject_cast<Form2*>(calculate());
        ASSERT_NE(results, nullptr);
        results->messageSink = sink;
        results->exportDialogs.saveFileName = [this](QWidget*, const QString& caption,
                                                     const QString& suggested,
                                                     const QStringList& filters) {
            captions << caption;
            suggestions << suggested;
            offeredFilters = filters;
            return answer;
        };
        results->exportDialogs.print = [](QWidget*, QPrinter&) { return false; };
        picture = control<Picture1>(results, QStringLiteral("Picture1"));
    }

    const DoseResults& stored() const { return *module->doseResults; }

    QAction* action(const char* name) {
        auto* found = results->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void run(const char* name) {
        action(name)->trigger();
        settle();
    }

    void showSchedule(int schedule) {
        control<QRadioButton>(results, QStringLiteral("Option%1").arg(schedule + 1))->click();
    }

    QString path(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }

    Form2* results = nullptr;
    Picture1* picture = nullptr;
    QString answer;
    QStringList captions, suggestions, offeredFilters;
};

TEST_F(ResultsExportTest, GraphContextMenuOffersTheCommandsWithTheirShortcuts) {
    EXPECT_EQ(picture->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList texts, keys;
    for (QAction* entry : picture->actions()) {
        texts << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
        keys << entry->shortcut().toString(QKeySequence::PortableText);
    }
    EXPECT_EQ(texts,
              (QStringList{"Save Graph as PNG or SVG...", "Copy Dose Table", "-", "Print...",
                           "Save All Schedules as PDF...", "Save Shown Schedule as PDF..."}));
    EXPECT_EQ(keys, (QStringList{"Ctrl+S", "Ctrl+C", "", "Ctrl+P", "Ctrl+Shift+P", ""}));
    // Nothing is added to the window's layout: no menu bar, the graph where it was.
    EXPECT_TRUE(results->findChildren<QMenuBar*>().isEmpty());
    const int left = twipsX(results, 120), top = twipsY(results, 240);
    EXPECT_EQ(picture->geometry(), QRect(left, top, twipsX(results, 120 + 4455) - left,
                                         twipsY(results, 240 + 2895) - top));
}

TEST_F(ResultsExportTest, SvgHoldsTheShownScheduleTextsAndTitle) {
    showSchedule(2);
    answer = path("graph.svg");
    run("saveGraphAction");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(captions, QStringList{"Save Graph"});
    EXPECT_EQ(offeredFilters, (QStringList{"PNG image (*.png)", "SVG drawing (*.svg)"}));
    EXPECT_EQ(QFileInfo(suggestions.value(0)).fileName(), "Tc-99m-MAG3-1.5-0.75.png");

    const SvgContent svg = readSvg(answer);
    EXPECT_TRUE(svg.title.contains("Tc-99m MAG3")) << svg.title.toStdString();
    EXPECT_TRUE(svg.title.contains(kScheduleCaptions[2])) << svg.title.toStdString();
    EXPECT_EQ(svg.viewBox,
              QStringLiteral("0 0 %1 %2").arg(picture->width()).arg(picture->height()));

    // Every text of the drawing, in the drawing's order: scale maximum and minimum, axis
    // captions, ticks and curve labels.
    QStringList expected;
    for (const DrawPrimitive& p : RenderSchedule(stored(), 2).drawing) {
        if (p.kind == DrawPrimitive::Kind::Print) expected << text(p.text).trimmed();
    }
    QStringList written;
    for (const QString& t : svg.texts) written << t.trimmed();
    EXPECT_EQ(written, expected);
    double maximum = 0, minimum = 1e6;
    for (const auto& row : stored().tables[2].dose) {
        for (double dose : row)
            maximum = std::max(maximum, dose), minimum = std::min(minimum, dose);
    }
    EXPECT_EQ(written.value(0), text(formatScientific(maximum)));
    EXPECT_EQ(written.value(5), text(formatScientific(minimum)));
    EXPECT_NE(written.value(0), text(formatScientific(stored().tables[0].dose[0][0])));
}

TEST_F(ResultsExportTest, PngHasTheGraphsAspectAndDrawing) {
    answer = path("graph.png");
    run("saveGraphAction");
    QImage image(answer);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), picture->size() * 2);
    // The dose axis at x = 0.6 of 3 is dark, the bottom right corner white.
    const QPoint onAxis(qRound(0.6 / 3 * image.width()), image.height() / 2);
    EXPECT_LT(qGray(image.pixel(onAxis)), 128);
    EXPECT_EQ(image.pixel(image.width() - 3, image.height() - 3), QColor(Qt::white).rgb());
}

TEST_F(ResultsExportTest, CancelledSaveWritesNothingAndAFailedOneTellsWhy) {
    answer.clear();
    run("saveGraphAction");
    run("saveAllPdfAction");
    EXPECT_EQ(captions.size(), 2);
    EXPECT_TRUE(QDir(folder.path()).entryList({"*.png", "*.svg", "*.pdf"}).isEmpty());
    EXPECT_TRUE(messages.isEmpty());

    answer = path("no-such-folder/graph.svg");
    run("saveGraphAction");
    answer = path("no-such-folder/results.pdf");
    run("saveAllPdfAction");
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(path("no-such-folder/graph.svg")));
    EXPECT_TRUE(messages[1].contains(path("no-such-folder/results.pdf")));
    // The next dialog starts in the folder last chosen.
    run("saveGraphAction");
    EXPECT_EQ(QFileInfo(suggestions.back()).absolutePath(), path("no-such-folder"));
}

TEST_F(ResultsExportTest, PdfOfAllSchedulesHasOnePagePerScheduleWithItsTexts) {
    answer = path("all.pdf");
    run("saveAllPdfAction");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(QFileInfo(suggestions.value(0)).fileName(), "Tc-99m-MAG3-0.5-0.25-all.pdf");
    const QStringList pages = pdfPages(answer);
    ASSERT_EQ(pages.size(), kScheduleCount);
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    for (int s = 0; s < kScheduleCount; ++s) {
        const QString& page = pages[s];
        SCOPED_TRACE(page.toStdString());
        EXPECT_TRUE(page.contains("Urinary bladder wall dose: Tc-99m MAG3"));
        EXPECT_TRUE(page.contains(kScheduleCaptions[s]));
        EXPECT_TRUE(page.contains(fillRateLine(stored(), s)));
        for (int other = 0; other < kScheduleCount; ++other) {
            if (other != s) {
                EXPECT_FALSE(page.contains(fillRateLine(stored(), other)));
            }
        }
        // The table: its labels and all 63 doses as shown.
        EXPECT_TRUE(page.contains("T0 (min)"));
        EXPECT_TRUE(page.contains("V0 (ml)"));
        const QStringList words = page.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                const QString dose = text(formatScientific(stored().tables[s].at(t, v)));
                EXPECT_TRUE(words.contains(dose)) << "schedule " << s << " " << dose.toStdString();
            }
        }
        EXPECT_TRUE(page.contains("MODEL PARAMETERS"));
        EXPECT_TRUE(page.contains(QStringLiteral("Page %1 of 3").arg(s + 1)));
        EXPECT_TRUE(page.contains("Orvane ")) << "footer";
        EXPECT_TRUE(page.contains(today));
    }
}

TEST_F(ResultsExportTest, ShownSchedulePdfAndPrintFollowTheChosenPages) {
    showSchedule(1);
    answer = path("shown.pdf");
    run("saveShownPdfAction");
    QStringList pages = pdfPages(answer);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(fillRateLine(stored(), 1)));
    EXPECT_TRUE(pages[0].contains("Page 1 of 1"));

    // The print dialog's choice of pages: the current page is the shown schedule.
    int dialogs = 0;
    auto printTo = [&](const QString& file, QPrinter::PrintRange range, int from, int to) {
        results->exportDialogs.print = [&dialogs, file, range, from, to](QWidget*,
                                                                         QPrinter& printer) {
            ++dialogs;
            EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::A4);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            printer.setPrintRange(range);
            if (range == QPrinter::PageRange) printer.setFromTo(from, to);
            return true;
        };
        run("printAction");
    };
    printTo(path("current.pdf"), QPrinter::CurrentPage, 0, 0);
    pages = pdfPages(path("current.pdf"));
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(fillRateLine(stored(), 1)));

    printTo(path("range.pdf"), QPrinter::PageRange, 2, 3);
    pages = pdfPages(path("range.pdf"));
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains(fillRateLine(stored(), 1)));
    EXPECT_TRUE(pages[1].contains(fillRateLine(stored(), 2)));
    EXPECT_EQ(dialogs, 2);

    results->exportDialogs.print = [](QWidget*, QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QStringLiteral("/dev/null/cancelled.pdf"));
        return false;
    };
    run("printAction");
    EXPECT_TRUE(messages.isEmpty());
}

// The copied text parses back to the window's table: V0 down, T0 across, each dose as shown.
void expectTableText(const QString& copied, const DoseResults& results, int schedule) {
    const QStringList lines = copied.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + kV0Count) << copied.toStdString();
    // A name's tabs and line breaks become blanks: the title stays one line of the table.
    QString name = text(results.parameters.name);
    name.replace(QRegularExpression(QStringLiteral("[\t\r\n]")), QStringLiteral(" "));
    EXPECT_TRUE(lines[0].startsWith(name + '\t')) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("mGy/MBq"));
    const FillRateSchedule rates = kFillRateSchedules[schedule];
    EXPECT_TRUE(lines[0].contains(
        text(formatUpTo3Decimals(rates.dayRate) + "/" + formatUpTo3Decimals(rates.nightRate))));
    const QStringList header = lines[1].split('\t');
    ASSERT_EQ(header.size(), 1 + kT0Count);
    EXPECT_EQ(header[0], "V0 (ml) \\ T0 (min)");
    for (int t = 0; t < kT0Count; ++t) {
        EXPECT_EQ(header[t + 1].toDouble(), results.grids.t0Grid[t]);
    }
    int doses = 0;
    for (int v = 0; v < kV0Count; ++v) {
        const QStringList cells = lines[2 + v].split('\t');
        ASSERT_EQ(cells.size(), 1 + kT0Count);
        EXPECT_EQ(cells[0].toDouble(), results.grids.v0Grid[v]);
        for (int t = 0; t < kT0Count; ++t) {
            const double dose = results.tables[schedule].at(t, v);
            EXPECT_EQ(cells[t + 1], text(formatScientific(dose)));
            bool number = false;
            const double read = cells[t + 1].toDouble(&number);
            EXPECT_TRUE(number);
            EXPECT_NEAR(read, dose, 0.005 * std::abs(dose) + 1e-300);
            ++doses;
        }
    }
    EXPECT_EQ(doses, 63);
}

TEST_F(ResultsExportTest, CopiedTableParsesBackToTheShownDoses) {
    QGuiApplication::clipboard()->clear();
    run("copyTableAction");
    expectTableText(QGuiApplication::clipboard()->text(), stored(), 0);
    showSchedule(2);
    run("copyTableAction");
    expectTableText(QGuiApplication::clipboard()->text(), stored(), 2);
}

TEST_F(ResultsExportTest, CtrlCCopiesSelectedTextElseTheTable) {
    results->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(results));
    auto* table = control<QTextEdit>(results, QStringLiteral("Text1"));
    auto* report = control<QTextEdit>(results, QStringLiteral("Text2"));
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString tableText = text(doseTableTabSeparated(stored(), 0));

    // Selected text in either field is copied as usual.
    for (QTextEdit* field : {table, report}) {
        field->setFocus();
        QTextCursor cursor = field->textCursor();
        cursor.setPosition(0);
        cursor.setPosition(8, QTextCursor::KeepAnchor);
        field->setTextCursor(cursor);
        clipboard->clear();
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(clipboard->text(), field->toPlainText().left(8));
    }
    // Ctrl+Shift+C takes the table even then.
    QTest::keyClick(report, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(clipboard->text(), tableText);

    // Without a selection, or elsewhere in the window, Ctrl+C copies the table.
    table->setFocus();
    table->moveCursor(QTextCursor::End);
    clipboard->clear();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), tableText);
    auto* option1 = control<QRadioButton>(results, QStringLiteral("Option1"));
    option1->setFocus();
    clipboard->clear();
    QTest::keyClick(option1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), tableText);

    // The other shortcuts reach their commands.
    answer.clear();
    QTest::keyClick(option1, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(option1, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(captions, (QStringList{"Save Graph", "Save All Schedules as PDF"}));
    bool printAsked = false;
    results->exportDialogs.print = [&](QWidget*, QPrinter&) { return printAsked = true, false; };
    QTest::keyClick(table, Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(printAsked);
}

TEST(ExportPieces, TableTextKeepsOneLinePerRowWhateverTheName) {
    DoseResults results;
    results.parameters.name = "odd\tname\nhere";
    results.grids.v0Grid = {10, 50, 100, 200, 300, 400, 500};
    results.grids.t0Grid = {20, 40, 60, 80, 100, 120, 140, 160, 180};
    results.tables[1].at(8, 6) = 0.0123;
    const QString copied = text(doseTableTabSeparated(results, 1));
    expectTableText(copied, results, 1);
    EXPECT_TRUE(
        copied.endsWith("500\t0.00E+00\t0.00E+00\t0.00E+00\t0.00E+00\t0.00E+00\t"
                        "0.00E+00\t0.00E+00\t0.00E+00\t1.23E-02\n"));
    EXPECT_EQ(doseTableTabSeparated(results, 3), "");
    EXPECT_EQ(doseTableTabSeparated(results, -1), "");
}

TEST(ExportPieces, PrintRangesMapToSchedules) {
    using V = std::vector<int>;
    EXPECT_EQ(schedulesToPrint(QPrinter::AllPages, 1, 0, 0), (V{0, 1, 2}));
    EXPECT_EQ(schedulesToPrint(QPrinter::CurrentPage, 2, 0, 0), (V{2}));
    EXPECT_EQ(schedulesToPrint(QPrinter::Selection, 1, 0, 0), (V{1}));
    EXPECT_EQ(schedulesToPrint(QPrinter::PageRange, 0, 2, 3), (V{1, 2}));
    EXPECT_EQ(schedulesToPrint(QPrinter::PageRange, 0, 0, 9), (V{0, 1, 2}));
    EXPECT_EQ(schedulesToPrint(QPrinter::PageRange, 0, 3, 2), V{});
}

}  // namespace
}  // namespace orvane::testing
