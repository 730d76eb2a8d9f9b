// The scenario window's Measurements tab: a fit example's points fill the tables, rows pasted
// from a spreadsheet read back as the file's, Fit (off the window's thread) gives what the
// library's fit of the file gives, "Use the fitted kinetics" computes the window's scenario with
// them and "Save to my library" keeps them as the user's entry, offered at once, and a saved
// file keeps the measurements. An uncertainty section beside them is refused as every door
// refuses it; Cancel and closing the window stop a fit.

#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "gui/library/library_dialog.h"
#include "gui/scenario/measurements_tab.h"
#include "gui/scenario/scenario_editor.h"
#include "gui/scenario/scenario_window.h"
#include "gui/scenario/uncertainty_tab.h"
#include "gui_test_support.h"
#include "library/scenario_file.h"
#include "report/fit_report.h"

namespace orvane::testing {
namespace {

using MeasurementsTabTest = WindowTest;

// Presses Fit (or Cancel after it) and waits for the fit to end.
void fitAndWait(QWidget* window, bool cancel = false) {
    auto* tab = control<MeasurementsTab>(window, "measurementsTab");
    QSignalSpy ended(tab, &MeasurementsTab::finished);
    click(window, "measurementsFitRun");
    if (cancel) click(window, "measurementsFitCancel");
    ASSERT_TRUE(ended.count() > 0 || ended.wait(20000));
}

TEST_F(MeasurementsTabTest, FitsAsTheLibraryDoesUsesTheFitAndSavesTheMeasurements) {
    const QString example = QStringLiteral(ORVANE_SOURCE_DIR "/examples/fit-lu177-psma617.json");
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario(example, {}));
    ASSERT_NE(window, nullptr);
    auto* tab = control<MeasurementsTab>(window, "measurementsTab");
    ASSERT_NE(tab, nullptr);
    const ScenarioDocument file = ScenarioDocument::parse(readScenarioText(example.toStdString()));
    const std::optional<MeasurementSections> expected = readMeasurementSections(file);
    ASSERT_TRUE(expected && tab->sections());
    EXPECT_EQ(tab->sections()->measurements, expected->measurements);

    // The cumulative urine emptied and pasted back from a spreadsheet: tab-separated, with a
    // blank line and CRLF, from the first cell on.
    auto* urine = control<QTableWidget>(window, "measurementsCumulativeUrine");
    urine->clearContents();
    urine->setRowCount(1);
    urine->setCurrentCell(0, 0);
    QGuiApplication::clipboard()->setText(
        QStringLiteral("360\t0.45\t0.083\r\n\r\n1440\t0.565\t0.088\r\n"));
    QTest::keySequence(urine, QKeySequence::Paste);
    EXPECT_EQ(urine->rowCount(), 3);  // and one spare row
    EXPECT_EQ(tab->sections()->measurements, expected->measurements);

    // A cell that is not a number is refused by its key path, and nothing is fitted.
    urine->item(1, 1)->setText(QStringLiteral("0,565"));
    EXPECT_FALSE(tab->fit());
    EXPECT_TRUE(labelText(window, "measurementsMessage")
                    .contains(QStringLiteral("measurements.cumulative_urine[1].fraction")));
    urine->item(1, 1)->setText(QStringLiteral("0.565"));

    fitAndWait(window);
    ASSERT_NE(tab->outcome(), nullptr);
    const Workbench workbench(module->standardData(), installedLibraryLocations());
    const ScenarioFit library = fitScenarioDocument(workbench, file);
    EXPECT_EQ(tab->outcome()->fit.dose, library.fit.dose);
    EXPECT_EQ(tab->outcome()->fit.parameters[0].halfLife, library.fit.parameters[0].halfLife);
    EXPECT_EQ(control<QPlainTextEdit>(window, "measurementsSummary")->toPlainText().toStdString(),
              fitText(library.fit, library.options));

    // The fitted kinetics become the scenario's own; no measured void changes its diary here,
    // so the window's dose is the fit's.
    click(window, "measurementsUseFitted");
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_EQ(window->scenario()->radiopharmaceutical.name,
              library.fit.kinetics.name + " (fitted)");
    EXPECT_EQ(window->result().dose, library.fit.dose);
    EXPECT_NE(tab->outcome(), nullptr);  // the tables and the fit stay

    // Saved, the entry is offered at once by this window and by any other open one.
    auto* other = module->openers().scenario({}, {});
    click(window, "measurementsSaveToLibrary");
    const std::string fitted = library.fit.kinetics.name + " (fitted)";
    const Workbench reloaded(module->standardData(), installedLibraryLocations());
    const ResolvedEntry mine = reloaded.resolve(fitted);
    EXPECT_EQ(mine.origin, EntryOrigin::User);
    EXPECT_EQ(mine.entry.values.fraction[0], library.fit.parameters[0].fraction);
    EXPECT_EQ(mine.entry.values.rateConstant[0], library.fit.parameters[0].rateConstant);
    for (QWidget* open : {static_cast<QWidget*>(window), other}) {
        auto* choice = control<QComboBox>(open, "scenarioRadiopharmaceutical");
        const int offered = choice->findText(QString::fromStdString(fitted));
        EXPECT_GE(offered, 0);
        EXPECT_LT(offered, choice->count() - (open == window ? 1 : 0));  // not as its own values
    }
    EXPECT_EQ(window->scenario()->radiopharmaceutical.name, fitted);  // the choice stays

    // While the fields hold an error, Fit refuses rather than fit the last valid scenario.
    const QString kept = control<QLineEdit>(window, "initialVolume")->text();
    type(window, "initialVolume", QStringLiteral("-5"));
    EXPECT_FALSE(tab->fit());
    EXPECT_FALSE(tab->running());
    type(window, "initialVolume", kept);

    // An uncertainty section beside the measurements: the front door's refusal, by its key
    // path, in the editor's error line; neither saved nor fitted nor sampled.
    click(window, "uncertaintyAddRow");
    auto* varied = control<QTableWidget>(window, "uncertaintyTable");
    varied->item(0, 0)->setText(QStringLiteral("initial_volume"));
    auto* editor = control<ScenarioEditor>(window, "scenarioEditor");
    EXPECT_TRUE(editor->message().startsWith(QStringLiteral("uncertainty: goes without")))
        << editor->message().toStdString();
    const QString saved = folder.filePath(QStringLiteral("patient.json"));
    EXPECT_FALSE(window->saveFile(saved));
    EXPECT_FALSE(QFile::exists(saved));
    EXPECT_FALSE(tab->fit());
    EXPECT_FALSE(control<UncertaintyTab>(window, "uncertaintyTab")->run());
    varied->setCurrentCell(0, 0);
    click(window, "uncertaintyRemoveRow");
    EXPECT_TRUE(editor->message().isEmpty());
    ASSERT_TRUE(window->saveFile(saved));
    const std::optional<MeasurementSections> written =
        readMeasurementSections(ScenarioDocument::parse(readScenarioText(saved.toStdString())));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->measurements, expected->measurements);
    EXPECT_EQ(written->options.samples, expected->options.samples);
}

// A long fit (a large interval) stops at Cancel, with nothing fitted, and the window stays
// responsive meanwhile; a window closed during a fit stops it and waits for its thread.
TEST_F(MeasurementsTabTest, CancelAndClosingTheWindowStopAFit) {
    const QString example = QStringLiteral(ORVANE_SOURCE_DIR "/examples/fit-lu177-psma617.json");
    for (bool close : {false, true}) {
        QWidget* window = module->openers().scenario(example, {});
        ASSERT_NE(window, nullptr);
        control<QSpinBox>(window, "measurementsSamples")->setValue(1000000);
        auto* tab = control<MeasurementsTab>(window, "measurementsTab");
        if (close) {
            click(window, "measurementsFitRun");
            ASSERT_TRUE(tab->running());
            window->close();
            settle();  // deleted: joined its thread
            continue;
        }
        QElapsedTimer clock;
        clock.start();
        fitAndWait(window, true);
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(tab->outcome(), nullptr);
        EXPECT_EQ(labelText(window, "measurementsMessage"), QStringLiteral("Cancelled."));
        EXPECT_TRUE(control(window, "measurementsFitRun")->isEnabled());
    }
}

}  // namespace
}  // namespace orvane::testing
