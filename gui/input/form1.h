// The input window: the list of standards, the sixteen data fields, the time check that
// unlocks "Calculate Doses", and the calculation that hands over to the results window.
#pragma once

#include <QWidget>
#include <array>
#include <optional>

#include "engine/calculation.h"
#include "gui/common/module1.h"
#include "gui/common/window_support.h"
#include "library/radiopharmaceuticals.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;
class QScrollArea;

namespace orvane {

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Module1& module, QWidget* parent = nullptr);

    // Creates an input window, runs its load step and shows it. Throws DataFileError when the
    // data file cannot be read; no window is left behind then.
    static Form1* open(Module1& module);

    // Throws DataFileError.
    void Form1_Form_Load();
    void Form1_List1_Click();
    void Form1_Command3_Click();
    void Form1_Command1_Click();
    void Form1_Command2_Click();
    // Library > Choose radiopharmaceutical... and Library > Save current values as...
    void chooseFromLibrary();
    void saveInLibrary();
    void openScenario();

private:
    void createControls();
    void createMenus();
    void showChoice(const StandardFieldTexts& texts);
    void fitFonts();
    void showWholeInformationLines();
    FieldTexts fieldTexts() const;
    void refuse(const std::exception& error, int field);
    // Tells every warning about the fields (and the library entry chosen) at once.
    void tellWarnings(const FieldTexts& fields);
    void openResultsWindow();

    Module1& module_;
    std::optional<LibraryEntry> chosenEntry_;  // the library entry the fields came from
    std::optional<FieldTexts> warnedFields_;   // the fields last warned about, at Check
    QMenuBar* menuBar_;                        // above the documented controls

    QLabel* Label1;
    QListWidget* List1;
    QLabel* Label11;
    QLabel* Label6;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label7;
    QLabel* Label5;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label12;
    QLabel* Label13;
    QLabel* Label10;
    QScrollArea* information_;             // scrolls Label10 when its text needs more room
    std::array<QLineEdit*, 17> fields_{};  // Text1..Text17
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
};

}  // namespace orvane
