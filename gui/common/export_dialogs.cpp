#include "gui/common/export_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

#include "engine/model.h"

namespace orvane {
namespace {

// "PNG image (*.png)" -> ".png"; empty when the filter names no single suffix.
QString filterSuffix(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\(\\*(\\.[A-Za-z0-9]+)\\)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

}  // namespace

ExportDialogs standardExportDialogs() {
    ExportDialogs dialogs;
    dialogs.saveFileName = [](QWidget* parent, const QString& caption, const QString& suggested,
                              const QStringList& filters) {
        QString chosenFilter = filters.value(0);
        if (QFileInfo(suggested).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) ==
            0) {
            chosenFilter = filters.filter(QStringLiteral("*.svg")).value(0, chosenFilter);
        }
        QString path = QFileDialog::getSaveFileName(
            parent, caption, suggested, filters.join(QStringLiteral(";;")), &chosenFilter);
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += filterSuffix(chosenFilter);
        return path;
    };
    dialogs.openFileName = [](QWidget* parent, const QString& caption, const QString& folder,
                              const QStringList& filters) {
        return QFileDialog::getOpenFileName(parent, caption, folder,
                                            filters.join(QStringLiteral(";;")));
    };
    dialogs.print = [](QWidget* parent, QPrinter& printer) {
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("Print Results"));
        dialog.setOptions(
            QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage |
            QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
        dialog.setMinMax(1, kScheduleCount);
        return dialog.exec() == QDialog::Accepted;
    };
    return dialogs;
}

}  // namespace orvane
