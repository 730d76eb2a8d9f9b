// File > Run cohort: a JSON Lines cohort and a CSV over a template, run off the window's
// thread, save the table that orvane-cli --batch --csv writes, byte for byte; Cancel saves
// nothing and leaves an existing file as it was.
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QTest>
#include <nlohmann/json.hpp>

#include "gui/scenario/cohort_dialog.h"
#include "gui_test_support.h"
#include "library/scenario_file.h"

namespace orvane::testing {
namespace {

using CohortTest = WindowTest;

// The example scenarios one a line (fewer samples where there is an uncertainty section),
// with a scenario the library refuses and a line that is not JSON.
std::string exampleLines(std::uint64_t samples) {
    std::string lines;
    for (const QString& name :
         QDir(QStringLiteral(ORVANE_SOURCE_DIR "/examples"))
             .entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        nlohmann::json scenario = parseScenarioJson(
            readScenarioText(ORVANE_SOURCE_DIR "/examples/" + name.toStdString()));
        if (scenario.contains("uncertainty")) scenario["uncertainty"]["samples"] = samples;
        lines += scenario.dump() + "\n";
    }
    return lines;
}

QWidget* openCohortWindow(QWidget* input) {
    auto* action = input->findChild<QAction*>(QStringLiteral("runCohortAction"));
    EXPECT_NE(action, nullptr);
    if (action) action->trigger();
    settle();
    return openWindow("cohortWindow");
}

bool finishes(QWidget* window, int ms = 60'000) {
    auto* dialog = qobject_cast<CohortDialog*>(window);
    return dialog && QTest::qWaitFor([dialog] { return !dialog->running(); }, ms);
}

TEST_F(CohortTest, SavesTheTableOfTheCliBatch) {
    const QString lines = folder.filePath(QStringLiteral("cohort.jsonl"));
    writeBytes(lines,
               exampleLines(300) + "{\"id\": \"bad\", \"initial_volume\": -5}\n\nnot json\n");
    const QString base = folder.filePath(QStringLiteral("base.json"));
    writeBytes(base, exampleLines(300).substr(0, exampleLines(300).find('\n')));
    const QString sheet = folder.filePath(QStringLiteral("patients.csv"));
    writeBytes(sheet,
               "id,initial_volume,fill_rate.day\r\nP-1,80,1.2\r\nP-2,,0.8\r\nP-3,-1,\r\n"
               "P-4,\"35.5\",2\r\n");
    struct Case {
        QString input;
        QString templateFile;
    };
    for (const Case& c : {Case{lines, {}}, Case{sheet, base}}) {
        SCOPED_TRACE(c.input.toStdString());
        QStringList arguments{QStringLiteral("--batch"), c.input, QStringLiteral("--csv")};
        if (!c.templateFile.isEmpty()) arguments << QStringLiteral("--template") << c.templateFile;
        QProcess cli;
        cli.start(QStringLiteral(ORVANE_CLI), arguments);
        ASSERT_TRUE(cli.waitForFinished(60'000));
        EXPECT_EQ(cli.exitCode(), 3);  // each cohort has a refused record
        const QByteArray expected = cli.readAllStandardOutput();
        ASSERT_GT(expected.count('\n'), 4);

        QWidget* window = openCohortWindow(input);
        ASSERT_NE(window, nullptr);
        const QString saved = folder.filePath(QStringLiteral("results.csv"));
        QString suggested;
        module->services().exportDialogs.saveFileName =
            [&](QWidget*, const QString&, const QString& offered, const QStringList&) {
                suggested = offered;
                return saved;
            };
        control<QLineEdit>(window, "cohortInput")->setText(c.input);
        control<QLineEdit>(window, "cohortTemplate")->setText(c.templateFile);
        click(window, "cohortRun");
        ASSERT_TRUE(finishes(window));
        EXPECT_EQ(readBytes(saved), expected) << labelText(window, "cohortMessage").toStdString();
        EXPECT_TRUE(suggested.endsWith(QStringLiteral("-results.csv"))) << suggested.toStdString();
        window->close();
        settle();
        QFile::remove(saved);
    }
}

TEST_F(CohortTest, RefusesACsvWithoutTemplateAndCancelSavesNothing) {
    const QString sheet = folder.filePath(QStringLiteral("patients.csv"));
    writeBytes(sheet, "id,initial_volume\nP-1,80\n");
    QWidget* window = openCohortWindow(input);
    ASSERT_NE(window, nullptr);
    const QString saved = folder.filePath(QStringLiteral("results.csv"));
    writeBytes(saved, "kept\n");
    int asked = 0;
    module->services().exportDialogs.saveFileName = [&](QWidget*, const QString&, const QString&,
                                                        const QStringList&) {
        ++asked;
        return saved;
    };
    control<QLineEdit>(window, "cohortInput")->setText(sheet);
    click(window, "cohortRun");
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(labelText(window, "cohortMessage").contains(QStringLiteral("template")));

    // A long cohort (many samples each), cancelled as soon as it runs.
    std::string many;
    for (int i = 0; i < 400; ++i) many += exampleLines(2'000);
    const QString lines = folder.filePath(QStringLiteral("many.jsonl"));
    writeBytes(lines, many);
    control<QLineEdit>(window, "cohortInput")->setText(lines);
    click(window, "cohortRun");
    EXPECT_EQ(asked, 1);
    click(window, "cohortCancel");
    ASSERT_TRUE(finishes(window, 30'000));
    EXPECT_TRUE(labelText(window, "cohortMessage").startsWith(QStringLiteral("Cancelled")));
    EXPECT_EQ(readBytes(saved), QByteArray("kept\n"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);

    // Closing the window during a run stops it and saves nothing either.
    click(window, "cohortRun");
    window->close();
    settle();
    EXPECT_EQ(readBytes(saved), QByteArray("kept\n"));
}

}  // namespace
}  // namespace orvane::testing
