// The export commands of the results window, offered in the graph's context menu and as
// shortcuts of the window: the graph as PNG or SVG, the dose table to the clipboard for a
// spreadsheet, and the results printed or saved as PDF, one page per schedule.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "gui/common/module1.h"

class QAction;
class QKeySequence;
class QPageLayout;
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
    // A file name in the last folder used: the name, with the shown schedule's rates when
    // withRates, then ending, e.g. "Tc-99m-MAG3-0.5-0.25.png".
    QString suggestedPath(const QString& ending, bool withRates) const;
    // What an export shows: the name and the schedules (0..2) it holds.
    QString title(const std::vector<int>& schedules) const;
    QString askForFile(const QString& caption, const QString& suggested,
                       const QStringList& filters);
    // The schedules as a PDF at path, on the report's pages or layout; a failure is told.
    void writePdf(const QString& path, const std::vector<int>& schedules,
                  const QPageLayout* layout);
    void tell(const QString& text);

    Form2& window_;
    Picture1* picture_;
    QTextEdit* table_;
    QTextEdit* report_;
    Module1& module_;
    QString folder_;
};

}  // namespace orvane
