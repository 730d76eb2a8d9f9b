// The library dialog from the input window: searching and choosing an entry fills the sixteen
// fields as a standard does; saving the typed values in the user's library and choosing them
// back; a damaged user file is shown, kept, and renamed aside on request.
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <fstream>
#include <functional>

#include "gui_test_support.h"
#include "library/radiopharmaceuticals.h"

namespace orvane::testing {
namespace {

class LibraryWindow : public WindowTest {
protected:
    void SetUp() override {
        userFile = std::filesystem::path(folder.path().toStdString()) / "orvane" /
                   "radiopharmaceuticals.json";
        WindowTest::SetUp();
    }

    // Triggers a Library menu action and runs `inDialog` on the modal dialog it opens.
    void inModal(const char* action, const std::function<void(QWidget*)>& inDialog) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            inDialog(dialog);
            ran = true;
            if (auto* open = qobject_cast<QDialog*>(dialog); open && open->isVisible())
                open->reject();
        });
        input->findChild<QAction*>(QString::fromLatin1(action))->trigger();
        settle();
        EXPECT_TRUE(ran);
    }

    void chooseInDialog(const QString& search, const QString& name) {
        inModal("chooseRadiopharmaceuticalAction", [&](QWidget* dialog) {
            control<QLineEdit>(dialog, "librarySearch")->setText(search);
            auto* table = control<QTableView>(dialog, "libraryTable");
            int row = -1;
            for (int r = 0; r < table->model()->rowCount(); ++r) {
                if (table->model()->index(r, 0).data().toString() == name) row = r;
            }
            ASSERT_GE(row, 0) << name.toStdString();
            table->selectRow(row);
            control(dialog, "chooseButton")->click();
        });
    }

    std::filesystem::path userFile;
};

TEST_F(LibraryWindow, ChoosingFillsTheSixteenFieldsAsAStandardDoes) {
    const std::vector<LibraryEntry> shipped = loadLibraryFile(
        std::filesystem::path(ORVANE_SOURCE_DIR) / "data" / "radiopharmaceuticals.json");
    const LibraryEntry* lutetium = findEntry(shipped, "Lu-177 PSMA-617");
    ASSERT_NE(lutetium, nullptr);

    choose("Tc-99m MAG3");
    chooseInDialog(QStringLiteral("Pluvicto"), QStringLiteral("Lu-177 PSMA-617"));
    const StandardFieldTexts expected = standardFieldTexts(lutetium->values);
    for (int n = 1; n <= kFieldCount; ++n) {
        EXPECT_EQ(field(input, n)->text().toStdString(), expected.fields[n - 1]) << n;
        EXPECT_EQ(field(input, n)->text().isEmpty(), n >= 7 && n <= 12) << n;
    }
    EXPECT_EQ(field(input, 16)->text(), "Lu-177 PSMA-617");
    EXPECT_TRUE(control<QListWidget>(input, "List1")->selectedItems().isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();

    // The alpha emitter's warnings are shown where it is chosen, and again at the time check.
    chooseInDialog(QStringLiteral("225Ac"), QStringLiteral("Ac-225 PSMA-617"));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("RBE")));
    EXPECT_TRUE(messages[1].contains(QStringLiteral("confidence in these values is L")));
    messages.clear();
    click(input, "Command3");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("RBE")));
}

TEST_F(LibraryWindow, TypedValuesAreSavedAndChosenBack) {
    choose("Tc-99m DTPA");
    field(input, 1)->setText(QStringLiteral("0.5"));
    inModal("saveRadiopharmaceuticalAction", [&](QWidget* form) {
        control<QLineEdit>(form, "entryName")->setText(QStringLiteral("My DTPA"));
        control<QPlainTextEdit>(form, "entryNotes")->setPlainText("half");
        control(form, "entryOk")->click();
    });
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    const std::vector<LibraryEntry> saved = loadLibraryFile(userFile);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].name(), "My DTPA");
    EXPECT_EQ(saved[0].nuclide, "Tc-99m");
    EXPECT_EQ(saved[0].values.fraction[0], 0.5);
    EXPECT_EQ(saved[0].notes, "half");

    choose("F-18 FDG");
    chooseInDialog(QStringLiteral("my dtpa"), QStringLiteral("My DTPA"));
    EXPECT_EQ(field(input, 1)->text(), "5.00E-01");
    EXPECT_EQ(field(input, 16)->text(), "My DTPA");

    // A standard's name is not given to a user's entry.
    inModal("saveRadiopharmaceuticalAction", [&](QWidget* form) {
        control<QLineEdit>(form, "entryName")->setText("99mTc-DTPA");
        control(form, "entryOk")->click();
    });
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("standard"))) << messages[0].toStdString();
    EXPECT_EQ(loadLibraryFile(userFile), saved);
}

TEST_F(LibraryWindow, ADamagedUserFileIsShownKeptAndRenamedAside) {
    std::filesystem::create_directories(userFile.parent_path());
    std::ofstream(userFile)
        << "{\"format\": \"orvane radiopharmaceutical library\",\n \"version\": 1,";
    choose("Tc-99m DTPA");
    input->findChild<QAction*>(QStringLiteral("saveRadiopharmaceuticalAction"))->trigger();
    settle();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("line 2"))) << messages[0].toStdString();

    inModal("chooseRadiopharmaceuticalAction", [&](QWidget* dialog) {
        auto* problems = control<QLabel>(dialog, "libraryProblems");
        EXPECT_TRUE(problems->isVisibleTo(dialog));
        EXPECT_TRUE(problems->text().contains(QStringLiteral("line 2")));
        // The shipped entries stay available.
        control<QLineEdit>(dialog, "librarySearch")->setText("Lutathera");
        EXPECT_EQ(control<QTableView>(dialog, "libraryTable")->model()->rowCount(), 1);
        control(dialog, "renameAsideButton")->click();
        EXPECT_FALSE(problems->isVisibleTo(dialog));
    });
    EXPECT_FALSE(std::filesystem::exists(userFile));
    EXPECT_TRUE(std::filesystem::exists(userFile.string() + ".damaged"));
}

}  // namespace
}  // namespace orvane::testing
