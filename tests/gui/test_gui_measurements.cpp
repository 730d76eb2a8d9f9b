// The scenario window's Measurements tab: a fit example's points fill the tables, rows pasted
// from a spreadsheet read back as the file's, Fit gives what the library's fit of the file
// gives, "Use the fitted kinetics" computes the window's scenario with them and "Save to my
// library" keeps them as the user's entry, and a saved file keeps the measurements.
#include <stdlib.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "gui/library/library_dialog.h"
#include "gui/scenario/measurements_tab.h"
#include "gui/scenario/scenario_window.h"
#include "gui_test_support.h"
#include "library/scenario_file.h"
#include "report/fit_report.h"

namespace orvane::testing {
namespace {

using MeasurementsTabTest = WindowTest;

TEST_F(MeasurementsTabTest, FitsAsTheLibraryDoesUsesTheFitAndSavesTheMeasurements) {
    ASSERT_EQ(::setenv("XDG_DATA_HOME", folder.path().toUtf8().constData(), 1), 0);
    const QString example = QStringLiteral(ORVANE_SOURCE_DIR "/examples/fit-lu177-psma617.json");
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario(example, {}));
    ASSERT_NE(window, nullptr);
    auto* tab = control<MeasurementsTab>(window, QStringLiteral("measurementsTab"));
    ASSERT_NE(tab, nullptr);
    const ScenarioDocument file = ScenarioDocument::parse(readScenarioText(example.toStdString()));
    const std::optional<MeasurementSections> expected = readMeasurementSections(file);
    ASSERT_TRUE(expected && tab->sections());
    EXPECT_EQ(tab->sections()->measurements, expected->measurements);

    // The cumulative urine emptied and pasted back from a spreadsheet: tab-separated, with a
    // blank line and CRLF, from the first cell on.
    auto* urine = control<QTableWidget>(window, QStringLiteral("measurementsCumulativeUrine"));
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
    EXPECT_TRUE(control<QLabel>(window, QStringLiteral("measurementsMessage"))
                    ->text()
                    .contains(QStringLiteral("measurements.cumulative_urine[1].fraction")));
    urine->item(1, 1)->setText(QStringLiteral("0.565"));

    click(window, "measurementsFit");
    ASSERT_NE(tab->outcome(), nullptr);
    const Workbench workbench(module->standardData(), installedLibraryLocations());
    const ScenarioFit library = fitScenarioDocument(workbench, file);
    EXPECT_EQ(tab->outcome()->fit.dose, library.fit.dose);
    EXPECT_EQ(tab->outcome()->fit.parameters[0].halfLife, library.fit.parameters[0].halfLife);
    EXPECT_EQ(control<QPlainTextEdit>(window, QStringLiteral("measurementsSummary"))
                  ->toPlainText()
                  .toStdString(),
              fitText(library.fit, library.options));

    // The fitted kinetics become the scenario's own; no measured void changes its diary here,
    // so the window's dose is the fit's.
    click(window, "measurementsUseFitted");
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_EQ(window->scenario()->radiopharmaceutical.name,
              library.fit.kinetics.name + " (fitted)");
    EXPECT_EQ(window->result().dose, library.fit.dose);
    EXPECT_NE(tab->outcome(), nullptr);  // the tables and the fit stay

    click(window, "measurementsSaveToLibrary");
    const Workbench reloaded(module->standardData(), installedLibraryLocations());
    const ResolvedEntry mine = reloaded.resolve(library.fit.kinetics.name + " (fitted)");
    EXPECT_EQ(mine.origin, EntryOrigin::User);
    EXPECT_EQ(mine.entry.values.fraction[0], library.fit.parameters[0].fraction);
    EXPECT_EQ(mine.entry.values.rateConstant[0], library.fit.parameters[0].rateConstant);
    ::unsetenv("XDG_DATA_HOME");

    // While the fields hold an error, Fit refuses rather than fit the last valid scenario.
    auto* volume = control<QLineEdit>(window, QStringLiteral("initialVolume"));
    const QString kept = volume->text();
    volume->setText(QStringLiteral("-5"));
    emit volume->textEdited(volume->text());
    EXPECT_FALSE(tab->fit());
    volume->setText(kept);
    emit volume->textEdited(volume->text());

    const QString saved = folder.filePath(QStringLiteral("patient.json"));
    ASSERT_TRUE(window->saveFile(saved));
    const std::optional<MeasurementSections> written =
        readMeasurementSections(ScenarioDocument::parse(readScenarioText(saved.toStdString())));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->measurements, expected->measurements);
    EXPECT_EQ(written->options.samples, expected->options.samples);
}

}  // namespace
}  // namespace orvane::testing
