// The results on paper: one page per schedule with a title, the graph, the dose table with its
// V0 and T0 labels, the parameter report and a footer naming the program and the date.
#pragma once

#include <QDateTime>
#include <QPrinter>
#include <QString>
#include <vector>

#include "engine/model.h"

class QIODevice;
class QPagedPaintDevice;
class QPainter;
class QPageLayout;

namespace orvane {

// What the footer of every page says besides the page number.
struct PrintFooter {
    QString program;  // e.g. "Orvane 1.0.0"
    QDateTime printed;
};

// The footer for this program at this moment.
PrintFooter currentPrintFooter();

// The schedules that a print range stands for: all three, the shown one, or the pages
// fromPage..toPage (1-based, page n being schedule n - 1).
std::vector<int> schedulesToPrint(QPrinter::PrintRange range, int shownSchedule, int fromPage,
                                  int toPage);

// Gives the printer the page setup the report is laid out for: A4 portrait, 15 mm margins.
void preparePrinter(QPrinter& printer);

// Paints one page for schedule (0..2) into page, in the painter's device pixels; page number
// and count go to the footer.
void paintSchedulePage(QPainter& painter, const QRectF& page, const DoseResults& results,
                       int schedule, const PrintFooter& footer, int pageNumber, int pageCount);

// Prints the schedules in order, one page each, on a printer or PDF writer that has its page
// layout. False when the device cannot be started.
bool printSchedules(QPagedPaintDevice& device, const DoseResults& results,
                    const std::vector<int>& schedules, const PrintFooter& footer);

// The schedules as a PDF document titled title (A4 portrait, 15 mm margins, or the page layout
// given), written to device. False when the document cannot be started.
bool writeSchedulesPdf(QIODevice& device, const DoseResults& results,
                       const std::vector<int>& schedules, const PrintFooter& footer,
                       const QString& title, const QPageLayout* pageLayout = nullptr);

}  // namespace orvane
