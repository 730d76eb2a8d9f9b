// The results on paper: one page per schedule with a title, the graph, the dose table with its
// V0 and T0 labels, the parameter report and a footer naming the program and the date.
#pragma once

#include <QDateTime>
#include <QPrinter>
#include <QString>
#include <vector>

#include "engine/model.h"

class QPainter;

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

// Prints the schedules in order, one page each. False when the printer cannot be started
// (for instance when a PDF file cannot be written).
bool printSchedules(QPrinter& printer, const DoseResults& results,
                    const std::vector<int>& schedules, const PrintFooter& footer);

}  // namespace orvane
