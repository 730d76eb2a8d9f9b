// The save window: its lists, the composed path, saving the stored results, and refused or
// failing saves that keep the window open.
#include <QComboBox>
#include <QDir>
#include <QTest>

#include "export/directory_list.h"
#include "export/form3.h"
#include "export/results_file.h"
#include "gui_test_support.h"

namespace orvane::testing {
namespace {

class SaveWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        const StandardFieldTexts mag3 = standardFieldTexts(module->standardData.library[7]);
        module->doseResults = RunCalculation(mag3.fields, mag3.name, module->standardData.tables);

        previousFolder = QDir::currentPath();
        here = QDir(folder.filePath(QStringLiteral("results"))).absolutePath();
        ASSERT_TRUE(QDir().mkpath(here + QStringLiteral("/older")));
        writeFile(here + QStringLiteral("/b.txt"), "b");
        writeFile(here + QStringLiteral("/a.txt"), "a");
        QDir::setCurrent(here);
        save = Form3::showSaveWindow(*module, sink);
    }

    void TearDown() override {
        QDir::setCurrent(previousFolder);
        WindowTest::TearDown();
    }

    static void writeFile(const QString& path, const QByteArray& content) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QLineEdit* name() { return field(save, 1); }
    DirectoryList* folders() { return control<DirectoryList>(save, QStringLiteral("Dir1")); }
    QStringList files() {
        auto* list = control<QListWidget>(save, QStringLiteral("File1"));
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }
    QString path() const { return QString::fromStdString(module->ResultsFilePath); }

    QString previousFolder;
    QString here;
    Form3* save = nullptr;
};

TEST_F(SaveWindow, OpensOnTheCurrentFolderWithItsFilesAndAnEmptyName) {
    EXPECT_EQ(save->windowTitle(), "Save bladder dose results");
    EXPECT_TRUE(name()->text().isEmpty());
    EXPECT_EQ(save->focusWidget(), name());
    EXPECT_EQ(folders()->path(), here);
    EXPECT_EQ(files(), (QStringList{"a.txt", "b.txt"}));
    // Ancestors from the root down, the folder itself, then its subfolder.
    EXPECT_EQ(folders()->entryPath(0), "/");
    EXPECT_EQ(folders()->entryPath(folders()->count() - 2), here);
    EXPECT_EQ(folders()->entryPath(folders()->count() - 1), here + "/older");
    EXPECT_TRUE(path().isEmpty());  // opening composes nothing
    auto* drives = control<QComboBox>(save, QStringLiteral("Drive1"));
    EXPECT_TRUE(here.startsWith(drives->currentText()));
}

TEST_F(SaveWindow, PathFollowsTheNameAndTheShownFolder) {
    QTest::keyClicks(name(), QStringLiteral("mag3 doses"));
    EXPECT_EQ(path(), here + "/mag3 doses");

    // Opening a folder with Enter moves the file there too.
    folders()->setCurrentRow(folders()->count() - 1);
    QTest::keyClick(folders(), Qt::Key_Return);
    settle();
    EXPECT_EQ(folders()->path(), here + "/older");
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(path(), here + "/older/mag3 doses");

    // Its parent, from the ancestor entries.
    folders()->setCurrentRow(folders()->count() - 2);
    QTest::keyClick(folders(), Qt::Key_Return);
    settle();
    EXPECT_EQ(folders()->path(), here);

    // A click on a file takes its bare name.
    auto* list = control<QListWidget>(save, QStringLiteral("File1"));
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(name()->text(), "b.txt");
    EXPECT_EQ(path(), here + "/b.txt");
}

TEST_F(SaveWindow, ChoosingADriveShowsItsRoot) {
    auto* drives = control<QComboBox>(save, QStringLiteral("Drive1"));
    name()->setText(QStringLiteral("x.txt"));
    const int root = drives->findText(QStringLiteral("/"));
    ASSERT_GE(root, 0);
    drives->setCurrentIndex(root == drives->currentIndex() ? -1 : root);
    drives->setCurrentIndex(root);
    EXPECT_EQ(folders()->path(), "/");
    EXPECT_EQ(path(), "//x.txt");
}

TEST_F(SaveWindow, OkWritesWhatTheCoreWriterWritesAndCloses) {
    name()->setText(QStringLiteral("mag3.txt"));
    click(save, "Command1");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_TRUE(openWindows("Form3").isEmpty());

    const QString reference = folder.filePath(QStringLiteral("reference.txt"));
    ASSERT_TRUE(WriteResultsFile(reference.toStdString(), *module->doseResults).ok);
    EXPECT_EQ(readFile(here + "/mag3.txt"), readFile(reference));
    EXPECT_TRUE(readFile(reference).contains("Tc-99m MAG3"));
}

TEST_F(SaveWindow, OkWithoutANameIsRefusedAlsoAfterAnEarlierSave) {
    click(save, "Command1");
    EXPECT_EQ(messages, QStringList{"Enter a file name."});
    EXPECT_NE(openWindow("Form3"), nullptr);

    name()->setText(QStringLiteral("a.txt"));
    click(save, "Command1");
    const QByteArray saved = readFile(here + "/a.txt");
    ASSERT_NE(saved, "a");

    // Reopened, the path of that save is still held, but the empty name stops the write.
    save = Form3::showSaveWindow(*module, sink);
    EXPECT_EQ(path(), here + "/a.txt");
    click(save, "Command1");
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.back(), "Enter a file name.");
    EXPECT_NE(openWindow("Form3"), nullptr);
}

TEST_F(SaveWindow, FailingSaveNamesThePathAndKeepsTheWindowAndTheFolder) {
    name()->setText(QStringLiteral("older"));  // a folder, not a file
    click(save, "Command1");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(here + "/older")) << messages.front().toStdString();
    EXPECT_NE(openWindow("Form3"), nullptr);
    EXPECT_TRUE(QFileInfo(here + "/older").isDir());

    name()->setText(QStringLiteral("missing/b.txt"));
    click(save, "Command1");
    EXPECT_EQ(messages.size(), 2);
    EXPECT_NE(openWindow("Form3"), nullptr);
    EXPECT_EQ(readFile(here + "/b.txt"), "b");

    // Another try in a good place succeeds.
    name()->setText(QStringLiteral("b.txt"));
    click(save, "Command1");
    EXPECT_EQ(messages.size(), 2);
    EXPECT_NE(readFile(here + "/b.txt"), "b");
}

TEST_F(SaveWindow, ThereIsNeverASecondSaveWindow) {
    EXPECT_EQ(Form3::showSaveWindow(*module, sink), save);
    EXPECT_EQ(openWindows("Form3").size(), 1);
}

}  // namespace
}  // namespace orvane::testing
