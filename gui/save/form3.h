// The save window: drive, folder and file lists, the name field and OK, which writes all three
// schedules of the stored results to the composed path.
#pragma once

#include <QWidget>

#include "gui/common/module1.h"
#include "gui/common/window_support.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvane {

class DirectoryList;

class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(Module1& module, QWidget* parent = nullptr);

    void Form3_Form_Load();
    void Form3_Drive1_Change();
    void Form3_Dir1_Change();
    void Form3_File1_Click();
    void Form3_Text1_Change();
    void Form3_Command1_Click();

private:
    void composeResultsFilePath();
    // "Save results: <name>, calculated <time>" for the results that OK writes.
    void showWhichResults();

    Module1& module_;
    QString pickedPath_;  // the path of the file last picked from the list: replaced unasked
    QLabel* Label1;
    QLineEdit* Text1;
    QListWidget* File1;
    QComboBox* Drive1;
    DirectoryList* Dir1;
    QPushButton* Command1;
};

}  // namespace orvane
