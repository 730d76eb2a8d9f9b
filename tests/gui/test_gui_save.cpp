// The save window through one session: a single instance, refused and failing saves that
// keep it open, the path composed from the name and the shown folder, and the written file.
#include <QDir>
#include <QStatusBar>
#include <QTest>

#include "gui/save/directory_list.h"
#include "gui/save/form3.h"
#include "gui_test_support.h"
#include "report/results_file.h"

namespace orvane::testing {
namespace {

using SaveWindow = WindowTest;

TEST_F(SaveWindow, SessionFromRefusalsToTheWrittenFile) {
    const StandardFieldTexts mag3 = standardFieldTexts(module->standardData().library[7]);
    module->setDoseResults(RunCalculation(mag3.fields, mag3.name, module->standardData().tables),
                           {mag3.fields, mag3.name});
    const QString previousFolder = QDir::currentPath();
    const QString here = QDir(folder.filePath(QStringLiteral("results"))).absolutePath();
    ASSERT_TRUE(QDir().mkpath(here + QStringLiteral("/older")));
    QDir::setCurrent(here);
    QWidget* results = module->openers().results();
    Form3* save = qobject_cast<Form3*>(module->openers().save());
    EXPECT_EQ(qobject_cast<Form3*>(module->openers().save()), save);
    EXPECT_EQ(openWindows("Form3").size(), 1);
    // The title says which results OK writes, and follows a new calculation.
    auto calculatedAt = [&] { return module->calculatedAt().toString(QStringLiteral("HH:mm")); };
    EXPECT_EQ(save->windowTitle(), "Save results: Tc-99m MAG3, calculated " + calculatedAt());
    const CalculationInput typed{mag3.fields, "my tracer"};
    module->setDoseResults(RunCalculation(typed.fields, typed.name, module->standardData().tables),
                           typed);
    EXPECT_EQ(save->windowTitle(), "Save results: my tracer, calculated " + calculatedAt());

    QLineEdit* name = field(save, 1);
    auto* folders = control<DirectoryList>(save, "Dir1");
    auto resultsText = [&] {  // what the core writer writes of the stored results
        return QByteArray::fromStdString(resultsFileText(*module->doseResults()));
    };
    auto path = [&] { return QString::fromStdString(module->ResultsFilePath()); };
    auto open = [&](int row) {  // opens a folder of the list with Enter
        folders->setCurrentRow(row);
        QTest::keyClick(folders, Qt::Key_Return);
        settle();
    };

    // The path follows the name and the folder shown: the subfolder, then back to its parent.
    QTest::keyClicks(name, QStringLiteral("older"));
    EXPECT_EQ(path(), here + "/older");
    open(folders->count() - 1);
    EXPECT_EQ(folders->path(), here + "/older");
    EXPECT_EQ(path(), here + "/older/older");
    open(folders->count() - 2);
    EXPECT_EQ(folders->path(), here);
    EXPECT_EQ(path(), here + "/older");

    // Saving over a folder fails: the message names it, the window and the folder stay.
    click(save, "Command1");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.back().contains(here + "/older")) << messages.back().toStdString();
    EXPECT_NE(openWindow("Form3"), nullptr);
    EXPECT_TRUE(QFileInfo(here + "/older").isDir());

    // A good name and Enter write what the core writer writes, close the window and say so
    // in the results window's status bar.
    name->setText(QStringLiteral("mag3.txt"));
    QTest::keyClick(name, Qt::Key_Return);
    settle();
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(openWindows("Form3").isEmpty());
    EXPECT_EQ(readBytes(here + "/mag3.txt"), resultsText());
    EXPECT_TRUE(control<QStatusBar>(results, "statusBar")
                    ->currentMessage()
                    .startsWith("Results saved to " + here + "/mag3.txt at "));

    // A typed name of an existing file is asked about; No keeps the file and the window.
    QStringList questions;
    bool replace = false;
    module->services().confirm = [&](QWidget*, const QString& question) {
        questions << question;
        return replace;
    };
    const QByteArray older = "an older file";
    save = qobject_cast<Form3*>(module->openers().save());
    writeBytes(here + "/older.txt", older.toStdString());
    field(save, 1)->setText(QStringLiteral("older.txt"));
    click(save, "Command1");
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions.front().contains(here + "/older.txt"));
    EXPECT_EQ(readBytes(here + "/older.txt"), older);
    EXPECT_NE(openWindow("Form3"), nullptr);
    replace = true;
    click(save, "Command1");
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(readBytes(here + "/older.txt"), resultsText());

    // Reopened, the path of that save is still held, but an empty name stops the write.
    save = qobject_cast<Form3*>(module->openers().save());
    EXPECT_EQ(path(), here + "/older.txt");
    click(save, "Command1");
    EXPECT_EQ(messages.back(), "Enter a file name.");
    EXPECT_EQ(messages.size(), 2);
    EXPECT_NE(openWindow("Form3"), nullptr);

    // Clicking a listed file takes its bare name, and OK replaces that file.
    auto* files = control<QListWidget>(save, "File1");
    const QList<QListWidgetItem*> listed = files->findItems("mag3.txt", Qt::MatchExactly);
    ASSERT_EQ(listed.size(), 1);
    writeBytes(here + "/mag3.txt", {});
    files->setCurrentItem(listed.front());
    emit files->itemClicked(listed.front());
    EXPECT_EQ(field(save, 1)->text(), "mag3.txt");
    EXPECT_EQ(path(), here + "/mag3.txt");
    click(save, "Command1");
    EXPECT_EQ(readBytes(here + "/mag3.txt"), resultsText());
    EXPECT_EQ(questions.size(), 2);  // picked, not asked
    QDir::setCurrent(previousFolder);
}

}  // namespace
}  // namespace orvane::testing
