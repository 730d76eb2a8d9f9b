// The results window: one fill-rate schedule at a time as graph, dose table and parameter
// report, drawn from the stored results; opens the save window and goes back to input.
#pragma once

#include <QWidget>
#include <array>

#include "gui/common/module1.h"

class QFrame;
class QLabel;
class QMenuBar;
class QStatusBar;
class QPushButton;
class QTextEdit;

namespace orvane {

class Picture1;
class ResultsExport;
class WrappingOptionButton;
class ColumnCaptionLabel;

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(Module1& module, QWidget* parent = nullptr);

    // Shows schedule 0..2 of the stored results.
    void renderSchedule(int schedule);

    // The schedule on display, 0..2.
    int shownSchedule() const { return shownSchedule_; }

    // Opens the chart window of the dose table on the shown schedule.
    void openDoseChart();
    // Opens a scenario window on a cell of the shown table (V0 row, T0 column).
    void openCellScenario(int v0Index, int t0Index);

    void Form2_Option1_Click();
    void Form2_Option2_Click();
    void Form2_Option3_Click();
    void Form2_Command1_Click();
    void Form2_Command2_Click();
    void Form2_Command3_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void setUpTable();
    void fitFonts();
    double tableLeftMargin() const;
    void showTable(const QString& table);
    void alignRowCaptions();
    // The table cell (V0 index, T0 index) under a point of Text1's viewport, if any.
    std::optional<std::pair<int, int>> cellAt(QPoint position) const;
    void showTableMenu(QPoint position);

    Module1& module_;
    int shownSchedule_ = 0;
    ResultsExport* export_ = nullptr;  // the graph's context menu and the export shortcuts
    QMenuBar* menuBar_ = nullptr;      // above the documented controls
    QStatusBar* statusBar_ = nullptr;  // below them: says where the results were saved

    Picture1* Picture1_;
    QTextEdit* Text1;
    WrappingOptionButton* Option1;
    WrappingOptionButton* Option2;
    WrappingOptionButton* Option3;
    QTextEdit* Text2;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    ColumnCaptionLabel* Label4;
    std::array<QLabel*, 7> rowCaptions_{};  // Label5..Label11
    QFrame* Line1;
    QFrame* Line2;
    QFrame* Line3;
};

}  // namespace orvane
