// The dialogs that the results window's export commands open. The window holds them as
// replaceable functions, so that tests answer them instead of a user.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QPrinter;
class QWidget;

namespace orvane {

struct ExportDialogs {
    // Asks for the file to write, starting from suggested; filters as for a file dialog, e.g.
    // "PNG image (*.png)". An empty text means the user cancelled.
    std::function<QString(QWidget* parent, const QString& caption, const QString& suggested,
                          const QStringList& filters)>
        saveFileName;
    // Asks for an existing file to read, starting in folder; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                          const QStringList& filters)>
        openFileName;
    // Lets the user choose a printer and the pages (page n is schedule n; the current page is
    // the shown schedule). False means the user cancelled.
    std::function<bool(QWidget* parent, QPrinter& printer)> print;
};

// A file dialog that adds the chosen filter's suffix to a name typed without one, and the
// system's print dialog.
ExportDialogs standardExportDialogs();

}  // namespace orvane
