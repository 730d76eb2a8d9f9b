#include "gui/results/schedule_print.h"

#include <QChart>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <memory>

#include "engine/numtext.h"
#include "engine/version.h"
#include "gui/common/window_support.h"
#include "gui/results/dose_chart.h"
#include "report/report.h"

namespace orvane {
namespace {

constexpr double kMarginMm = 15;
constexpr int kPdfDotsPerInch = 1200;  // as a high-resolution printer
constexpr double kGraphWidthMm = 150;
constexpr double kGraphAspect = 2895.0 / 4455.0;  // Picture1, height over width
constexpr double kLabelColumnMm = 24;
const QColor kMuted(90, 90, 90);
const QColor kShade(238, 238, 238);

QFont sized(QFont font, double points, bool bold = false, bool italic = false) {
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    // No ligatures: text copied out of a PDF keeps plain letters ("fi", not one glyph).
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

// Draws the page top to bottom; y is the top of the next free space.
class PageWriter {
public:
    PageWriter(QPainter& painter, const QRectF& page)
        : painter_(painter),
          page_(page),
          mm_(painter.device()->logicalDpiX() / 25.4),
          y_(page.top()),
          proportional_(QFontDatabase::systemFont(QFontDatabase::GeneralFont)),
          fixed_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {}

    double mm(double millimetres) const { return millimetres * mm_; }
    void skip(double millimetres) { y_ += mm(millimetres); }
    QFontMetricsF metrics(const QFont& font) const { return {font, painter_.device()}; }

    // One line of text across the page, then y moves below it.
    void line(const QString& text, const QFont& font, Qt::Alignment align = Qt::AlignLeft,
              const QColor& colour = Qt::black) {
        const QFontMetricsF m = metrics(font);
        textAt(text, font, align, page_.left(), page_.right(), y_ + m.ascent(), colour);
        y_ += m.lineSpacing();
    }

    void textAt(const QString& text, const QFont& font, Qt::Alignment align, double left,
                double right, double baseline, const QColor& colour = Qt::black) {
        painter_.setFont(font);
        painter_.setPen(colour);
        const double width = metrics(font).horizontalAdvance(text);
        double x = left;
        if (align & Qt::AlignHCenter) x = (left + right - width) / 2;
        if (align & Qt::AlignRight) x = right - width;
        painter_.drawText(QPointF(x, baseline), text);
    }

    void rule(double y, double widthMm, const QColor& colour = Qt::black) {
        painter_.setPen(QPen(colour, mm(widthMm)));
        painter_.drawLine(QPointF(page_.left(), y), QPointF(page_.right(), y));
    }

    void header(const DoseResults& results, int schedule) {
        const std::size_t s = static_cast<std::size_t>(schedule);
        line(QStringLiteral("Orvane, Revised Dynamic Bladder Model"), sized(proportional_, 8),
             Qt::AlignLeft, kMuted);
        skip(1);
        const QString name = QString::fromStdString(results.parameters.name);
        line(name.isEmpty() ? QStringLiteral("Urinary bladder wall dose")
                            : QStringLiteral("Urinary bladder wall dose: ") + name,
             sized(proportional_, 15, true));
        line(QString::fromLatin1(kScheduleCaptions[s]) +
                 QStringLiteral("  (schedule %1 of %2)").arg(schedule + 1).arg(kScheduleCount),
             sized(proportional_, 11));
        skip(1.5);
        rule(y_, 0.4);
        skip(5);
    }

    // The chart of the dose table (T0 to scale, the dose axis from zero), laid out as on a
    // screen of 96 dots per inch and scaled to the page.
    void graph(const DoseResults& results, int schedule) {
        line(QStringLiteral("Bladder dose against first-void time T0, one curve per initial "
                            "bladder volume V0"),
             sized(proportional_, 10, true));
        skip(2);
        const double width = std::min(mm(kGraphWidthMm), page_.width());
        const QRectF area((page_.left() + page_.right() - width) / 2, y_, width,
                          width * kGraphAspect);
        const double screenPixels = 96 / 25.4 / mm(1);
        std::unique_ptr<QChart> chart(
            makeDoseChart(results, {{schedule}, {schedule}, DoseScale::FromZero}));
        paintChart(*chart, painter_, area, area.size() * screenPixels);
        painter_.setPen(QPen(QColor(160, 160, 160), mm(0.2)));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawRect(area);
        y_ = area.bottom();
        skip(7);
    }

    void table(const DoseResults& results, int schedule) {
        const DoseTable& doses = results.tables[static_cast<std::size_t>(schedule)];
        line(QStringLiteral("Bladder dose (mGy/MBq)"), sized(proportional_, 10, true));
        skip(1.5);

        const QFont bold = sized(proportional_, 9, true);
        const double labelRight = page_.left() + mm(kLabelColumnMm);
        const double column = (page_.right() - labelRight) / kT0Count;
        // A dose and some room on either side fit a column.
        const QFont values = shrunkToFit(sized(fixed_, 9.5), 6, [&](const QFont& font) {
            return metrics(font).horizontalAdvance(QStringLiteral("8.88E-88")) <= column - mm(3);
        });
        const double rowHeight =
            std::max(metrics(values).lineSpacing(), metrics(bold).lineSpacing()) * 1.45;
        auto baseline = [&](const QFont& font) {
            const QFontMetricsF m = metrics(font);
            return y_ + (rowHeight + m.ascent() - m.descent()) / 2;
        };

        textAt(QStringLiteral("T0 (min)"), bold, Qt::AlignHCenter, labelRight, page_.right(),
               baseline(bold));
        y_ += rowHeight;
        textAt(QStringLiteral("V0 (ml)"), bold, Qt::AlignHCenter, page_.left(), labelRight,
               baseline(bold));
        for (int t = 0; t < kT0Count; ++t) {
            const double left = labelRight + t * column;
            textAt(QString::fromStdString(formatWhole(results.grids.t0Grid[t])), bold,
                   Qt::AlignHCenter, left, left + column, baseline(bold));
        }
        y_ += rowHeight;
        rule(y_, 0.3);
        const double top = y_;
        for (int v = 0; v < kV0Count; ++v) {
            if (v % 2 == 1) {
                painter_.fillRect(QRectF(page_.left(), y_, page_.width(), rowHeight), kShade);
            }
            textAt(QString::fromStdString(formatWhole(results.grids.v0Grid[v])), bold,
                   Qt::AlignHCenter, page_.left(), labelRight, baseline(bold));
            for (int t = 0; t < kT0Count; ++t) {
                const double left = labelRight + t * column;
                textAt(QString::fromStdString(formatScientific(doses.at(t, v))), values,
                       Qt::AlignHCenter, left, left + column, baseline(values));
            }
            y_ += rowHeight;
        }
        rule(y_, 0.3);
        painter_.setPen(QPen(Qt::black, mm(0.2)));
        painter_.drawLine(QPointF(labelRight, top - rowHeight), QPointF(labelRight, y_));
        skip(1.5);
        line(QStringLiteral("V0: initial bladder volume (ml). T0: time of the first void after "
                            "administration (min). Doses per MBq administered."),
             sized(proportional_, 8, false, true), Qt::AlignLeft, kMuted);
        skip(6);
    }

    // The report's "label <tabs> value" lines with their values in one column.
    void report(const std::string& reportText) {
        QStringList lines = QString::fromStdString(reportText).split(QStringLiteral("\r\n"));
        while (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
        if (lines.isEmpty()) return;
        line(lines.takeFirst().trimmed(), sized(proportional_, 10, true));
        const QFont font = sized(proportional_, 10);
        const QFontMetricsF m = metrics(font);
        std::vector<QStringList> rows;
        double firstColumn = 0;
        for (const QString& text : lines) {
            QStringList pieces = text.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
            for (QString& piece : pieces) piece = piece.trimmed();
            if (pieces.size() > 1) {
                firstColumn = std::max(firstColumn, m.horizontalAdvance(pieces.front()));
            }
            rows.push_back(pieces);
        }
        const double second = page_.left() + firstColumn + mm(6);
        for (const QStringList& pieces : rows) {
            if (pieces.isEmpty()) {
                y_ += m.lineSpacing() / 2;
                continue;
            }
            textAt(pieces.front(), font, Qt::AlignLeft, page_.left(), page_.right(),
                   y_ + m.ascent());
            if (pieces.size() > 1) {
                textAt(pieces.mid(1).join(QLatin1Char(' ')), font, Qt::AlignLeft, second,
                       page_.right(), y_ + m.ascent());
            }
            y_ += m.lineSpacing();
        }
    }

    void footer(const PrintFooter& footer, int pageNumber, int pageCount) {
        const QFont font = sized(proportional_, 8);
        const QFontMetricsF m = metrics(font);
        const double baseline = page_.bottom() - m.descent();
        rule(baseline - m.ascent() - mm(2), 0.2, kMuted);
        textAt(footer.program + QStringLiteral(", Revised Dynamic Bladder Model"), font,
               Qt::AlignLeft, page_.left(), page_.right(), baseline, kMuted);
        const QString when =
            QLocale::c().toString(footer.printed, QStringLiteral("yyyy-MM-dd HH:mm"));
        textAt(
            QStringLiteral("Printed %1   Page %2 of %3").arg(when).arg(pageNumber).arg(pageCount),
            font, Qt::AlignRight, page_.left(), page_.right(), baseline, kMuted);
    }

private:
    QPainter& painter_;
    QRectF page_;
    double mm_;
    double y_;
    QFont proportional_;
    QFont fixed_;
};

}  // namespace

PrintFooter currentPrintFooter() {
    return {QStringLiteral("Orvane ") + QString::fromLatin1(kVersion),
            QDateTime::currentDateTime()};
}

std::vector<int> schedulesToPrint(QPrinter::PrintRange range, int shownSchedule, int fromPage,
                                  int toPage) {
    std::vector<int> schedules;
    switch (range) {
        case QPrinter::CurrentPage:
        case QPrinter::Selection:
            schedules.push_back(std::clamp(shownSchedule, 0, kScheduleCount - 1));
            break;
        case QPrinter::PageRange:
            for (int page = std::max(fromPage, 1); page <= std::min(toPage, kScheduleCount);
                 ++page) {
                schedules.push_back(page - 1);
            }
            break;
        case QPrinter::AllPages:
            for (int s = 0; s < kScheduleCount; ++s) schedules.push_back(s);
            break;
    }
    return schedules;
}

QPageLayout reportPageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                       QPageLayout::Millimeter);
}

void preparePrinter(QPrinter& printer) {
    printer.setPageLayout(reportPageLayout());
    printer.setCreator(QStringLiteral("Orvane ") + QString::fromLatin1(kVersion));
}

bool writeSchedulesPdf(QIODevice& device, const DoseResults& results,
                       const std::vector<int>& schedules, const PrintFooter& footer,
                       const QString& title, const QPageLayout* pageLayout) {
    QPdfWriter pdf(&device);
    pdf.setPageLayout(pageLayout ? *pageLayout : reportPageLayout());
    pdf.setResolution(kPdfDotsPerInch);
    pdf.setCreator(QStringLiteral("Orvane ") + QString::fromLatin1(kVersion));
    pdf.setTitle(title);
    return printSchedules(pdf, results, schedules, footer);
}

void paintSchedulePage(QPainter& painter, const QRectF& page, const DoseResults& results,
                       int schedule, const PrintFooter& footer, int pageNumber, int pageCount) {
    if (schedule < 0 || schedule >= kScheduleCount) return;
    const ScheduleView view = RenderSchedule(results, schedule);
    painter.save();
    PageWriter writer(painter, page);
    writer.header(results, schedule);
    writer.graph(results, schedule);
    writer.table(results, schedule);
    writer.report(view.report);
    writer.footer(footer, pageNumber, pageCount);
    painter.restore();
}

bool printSchedules(QPagedPaintDevice& device, const DoseResults& results,
                    const std::vector<int>& schedules, const PrintFooter& footer) {
    if (schedules.empty()) return true;
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const QRectF page(0, 0, device.width(), device.height());
    const int count = static_cast<int>(schedules.size());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !device.newPage()) return false;
        paintSchedulePage(painter, page, results, schedules[static_cast<std::size_t>(i)], footer,
                          i + 1, count);
    }
    return painter.end();
}

}  // namespace orvane
