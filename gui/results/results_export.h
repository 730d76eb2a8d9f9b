// The export commands of the results window, offered in the graph's context menu and as
// shortcuts of the window: the graph as PNG or SVG, the dose table to the clipboard for a
// spreadsheet, and the results printed or saved as PDF, one page per schedule.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "gui/common/module1.h"

class QAction;
class QKeySequence;
class QTextEdit;

namespace orvane {

class Form2;
class Picture1;

class ResultsExport : public QObject {
    Q_OBJECT
public:
    // Adds the commands to picture's context menu; table and report are the window's two text
    // fields, where Ctrl+C copies their selected text and, when none is selected, the table.
    ResultsExport(Form2& window, Picture1* picture, QTextEdit* table, QTextEdit* report,
                  Module1& module);

    void saveGraph();                 // Ctrl+S: PNG, or SVG for a name ending in .svg
    void copyTable();                 // Ctrl+C (no text selected), Ctrl+Shift+C
    void print();                     // Ctrl+P
    void savePdf(bool allSchedules);  // Ctrl+Shift+P for all; the menu also offers the shown one

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* addCommand(const char* name, const QString& text, const QList<QKeySequence>& keys,
                        std::function<void()> command);
    // A file name for the shown schedule in the last folder used, e.g. "Tc-99m-MAG3-0.5-0.25".
    QString suggestedPath(const QString& ending) const;
    QString askForFile(const QString& caption, const QString& ending, const QStringList& filters);
    void tell(const QString& text);

    Form2& window_;
    Picture1* picture_;
    QTextEdit* table_;
    QTextEdit* report_;
    Module1& module_;
    QString folder_;
};

}  // namespace orvane
