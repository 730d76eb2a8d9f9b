// The input window: start state, choosing a standard, the time check, refused input, the
// hand-over to the results window and the name in the report.
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTextEdit>

#include "app/startup.h"
#include "engine/estimate.h"
#include "gui_test_support.h"
#include "library/standards.h"

namespace orvane::testing {
namespace {

using InputWindow = WindowTest;

QLabel* hint(QWidget* input) {
    return control<QLabel>(input, QStringLiteral("Label13"));
}

TEST_F(InputWindow, StartsWaitingWithTheStandardsListedAndFieldsEmpty) {
    EXPECT_EQ(input->windowTitle(), "Orvane, Revised Dynamic Bladder Model Software");
    auto* list = control<QListWidget>(input, QStringLiteral("List1"));
    ASSERT_EQ(list->count(), kStandardCount);
    for (int i = 0; i < kStandardCount; ++i) {
        EXPECT_EQ(list->item(i)->text(), QString::fromLatin1(kStandardNames[i]));
    }
    EXPECT_TRUE(list->selectedItems().isEmpty());
    for (int n = 1; n <= 17; ++n) EXPECT_TRUE(field(input, n)->text().isEmpty()) << n;
    EXPECT_FALSE(button(input, "Command1")->isEnabled());
    EXPECT_EQ(button(input, "Command1")->text(), "Calculate Doses");
    EXPECT_FALSE(hint(input)->isVisibleTo(input));

    const QString information = control<QLabel>(input, QStringLiteral("Label10"))->text();
    EXPECT_EQ(information, withLf(informationText()));
    EXPECT_TRUE(information.contains(QStringLiteral("\n\nReference: ")));
}

TEST_F(InputWindow, ChoosingAStandardFillsEveryFieldAndOverwritesEdits) {
    field(input, 5)->setText(QStringLiteral("9"));
    field(input, 16)->setText(QStringLiteral("typed name"));
    choose("Tc-99m MAG3");

    EXPECT_EQ(field(input, 1)->text(), "1.00E+00");
    EXPECT_EQ(field(input, 2)->text(), "4.01E-02");
    EXPECT_EQ(field(input, 13)->text(), "3.61E+02");
    // A one-component standard leaves components 2 to 4 empty, whatever was typed there.
    for (int n = 4; n <= 12; ++n) EXPECT_TRUE(field(input, n)->text().isEmpty()) << n;
    EXPECT_EQ(field(input, 16)->text(), "Tc-99m MAG3");

    const StandardFieldTexts expected = standardFieldTexts(module->standardData.library[7]);
    for (int n = 1; n <= kFieldCount; ++n) {
        EXPECT_EQ(field(input, n)->text().toStdString(), expected.fields[n - 1]) << n;
    }
}

TEST_F(InputWindow, TimeCheckMakesReadyAndASelectionMakesWaitingAgain) {
    choose("Tc-99m MAG3");
    click(input, "Command3");
    EXPECT_EQ(field(input, 17)->text(), "<1 minute");
    EXPECT_TRUE(hint(input)->isVisibleTo(input));
    EXPECT_TRUE(button(input, "Command1")->isEnabled());

    choose("Tc-99m DTPA");
    EXPECT_TRUE(field(input, 17)->text().isEmpty());
    EXPECT_FALSE(hint(input)->isVisibleTo(input));
    EXPECT_FALSE(button(input, "Command1")->isEnabled());
}

TEST_F(InputWindow, TimeCheckOnTypedDataRunsTheTrialAndEnablesCalculation) {
    field(input, 1)->setText(QStringLiteral("1"));
    field(input, 2)->setText(QStringLiteral("0.0001155"));
    field(input, 3)->setText(QStringLiteral("6000"));
    field(input, 13)->setText(QStringLiteral("6000"));
    click(input, "Command3");
    EXPECT_TRUE(field(input, 17)->text().endsWith(QStringLiteral(" minutes")))
        << field(input, 17)->text().toStdString();
    EXPECT_TRUE(button(input, "Command1")->isEnabled());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(InputWindow, RefusedInputShowsTheMessageAndChangesNothing) {
    choose("Tc-99m MAG3");
    click(input, "Command3");
    field(input, 13)->clear();  // no physical half-life: the computation is undefined

    click(input, "Command3");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(field(input, 17)->text(), "<1 minute");
    EXPECT_TRUE(button(input, "Command1")->isEnabled());

    click(input, "Command1");
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(openWindow("Form1"), input);
    EXPECT_EQ(openWindow("Form2"), nullptr);
    EXPECT_FALSE(module->doseResults.has_value());
    EXPECT_EQ(button(input, "Command1")->text(), "Calculate Doses");
    EXPECT_EQ(field(input, 1)->text(), "1.00E+00");
    EXPECT_TRUE(field(input, 13)->text().isEmpty());
}

TEST_F(InputWindow, TabFromPhysicalHalfLifePassesOverTheDisabledCalculateButton) {
    input->activateWindow();
    field(input, 13)->setFocus();
    QTest::keyClick(field(input, 13), Qt::Key_Tab);
    EXPECT_EQ(input->focusWidget(), field(input, 14));

    choose("Tc-99m MAG3");
    click(input, "Command3");
    field(input, 13)->setFocus();
    QTest::keyClick(field(input, 13), Qt::Key_Tab);
    EXPECT_EQ(input->focusWidget(), button(input, "Command1"))
        << input->focusWidget()->objectName().toStdString();
}

TEST_F(InputWindow, CalculationHandsOverToTheResultsWindow) {
    choose("Tc-99m MAG3");
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(openWindow("Form1"), nullptr);
    ASSERT_TRUE(module->doseResults.has_value());
    EXPECT_EQ(module->doseResults->parameters.physicalHalfLife, 361);  // as displayed
}

// The report names what Text16 says at the calculation, not the last list choice.
TEST_F(InputWindow, ReportNamesTheNameFieldAtCalculationTime) {
    choose("Tc-99m MAG3");
    field(input, 16)->setText(QStringLiteral("MAG3, patient batch 7"));
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(module->doseResults->parameters.name, "MAG3, patient batch 7");
    EXPECT_TRUE(control<QTextEdit>(results, QStringLiteral("Text2"))
                    ->toPlainText()
                    .contains(QStringLiteral("MAG3, patient batch 7")));

    // Back in a fresh window, typed data without a name is reported without one.
    click(results, "Command2");
    input = openWindow("Form1");
    ASSERT_NE(input, nullptr);
    field(input, 1)->setText(QStringLiteral("1"));
    field(input, 2)->setText(QStringLiteral("0.00693"));
    field(input, 3)->setText(QStringLiteral("100"));
    field(input, 13)->setText(QStringLiteral("360"));
    ASSERT_NE(calculate(), nullptr);
    EXPECT_EQ(module->doseResults->parameters.name, "");
}

// The trial of a time check leaves the stored results and their parameters alone.
TEST_F(InputWindow, TimeCheckKeepsTheLastResults) {
    choose("Tc-99m MAG3");
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    const DoseResults before = *module->doseResults;

    click(results, "Command2");
    input = openWindow("Form1");
    ASSERT_NE(input, nullptr);
    field(input, 1)->setText(QStringLiteral("1"));
    field(input, 2)->setText(QStringLiteral("0.0001155"));
    field(input, 3)->setText(QStringLiteral("6000"));
    field(input, 13)->setText(QStringLiteral("6000"));
    click(input, "Command3");
    ASSERT_TRUE(button(input, "Command1")->isEnabled());

    EXPECT_EQ(module->doseResults->parameters, before.parameters);
    EXPECT_EQ(module->doseResults->tables, before.tables);
}

TEST_F(InputWindow, AnUnusableDataFileStopsTheStartWithOneMessage) {
    QFile::remove(dataFile);
    Module1 other(dataFile.toStdString());
    EXPECT_EQ(startOrvane(other, sink), 1);
    settle();
    EXPECT_EQ(openWindows("Form1").size(), 1);  // only the fixture's own
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(dataFile)) << messages.front().toStdString();
    EXPECT_TRUE(messages.front().contains(QStringLiteral("No such file or directory")));

    QFile garbage(dataFile);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("1, 2, three\n");
    garbage.close();
    messages.clear();
    EXPECT_EQ(startOrvane(other, sink), 1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(QStringLiteral("number 3"))) << messages.front().toStdString();

    QFile::remove(dataFile);
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANE_DATA_FILE), dataFile));
    EXPECT_EQ(startOrvane(other, sink), 0);
    settle();
    EXPECT_EQ(openWindows("Form1").size(), 2);
}

TEST_F(InputWindow, QuitClosesEveryWindow) {
    click(input, "Command2");
    EXPECT_TRUE(openWindows("Form1").isEmpty());
}

TEST(Program, PrintsItsVersion) {
    QProcess program;
    program.start(QStringLiteral(ORVANE_PROGRAM), {QStringLiteral("--version")});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().startsWith("orvane "));
}

}  // namespace
}  // namespace orvane::testing
