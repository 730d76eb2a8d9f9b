#include "gui/scenario/scenario_report.h"

#include <QBuffer>
#include <QColor>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QWidget>
#include <algorithm>

#include "engine/numtext.h"
#include "engine/scenario_events.h"
#include "engine/version.h"
#include "gui/scenario/scenario_plots.h"
#include "report/scenario_report.h"

namespace orvane {
namespace {

constexpr double kMarginMm = 15;
constexpr int kResolution = 600;  // dots per inch of the PDF's coordinates

QString text(const std::string& text) {
    return QString::fromStdString(text);
}

QString clock(double minutes) {
    return text(clockText(minutes));
}

}  // namespace

QByteArray scenarioReportPdf(const Scenario& scenario, const ScenarioResult& result,
                             const std::vector<Warning>& warnings, ScenarioPlots& plots,
                             const QString& title, const UncertaintyPage* uncertainty) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setResolution(kResolution);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                  QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                  QPageLayout::Millimeter));
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Orvane ") + QString::fromLatin1(kVersion));
    QPainter painter(&pdf);
    const QRectF page(0, 0, pdf.width(), pdf.height());
    const double mm = kResolution / 25.4;
    double y = 0;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleStrategy(QFont::PreferNoShaping);  // plain letters when the text is copied
    auto line = [&](const QString& text, double points, bool bold = false) {
        font.setPointSizeF(points);
        font.setBold(bold);
        painter.setFont(font);
        const QFontMetricsF metrics(font, &pdf);
        painter.drawText(QPointF(0, y + metrics.ascent()), text);
        y += metrics.lineSpacing();
    };

    line(QStringLiteral("Bladder-wall dose of a patient scenario"), 15, true);
    line(QString::fromStdString(scenario.name), 11);
    y += 2 * mm;
    for (const std::string& words : scenarioInWords(scenario, result)) line(text(words), 9);
    y += 2 * mm;
    QString dose = QStringLiteral("Bladder-wall dose: %1 mGy/MBq")
                       .arg(QString::fromStdString(formatScientific(result.dose)));
    if (scenario.administeredActivity) {
        dose += QStringLiteral(" (%1 mGy)")
                    .arg(QString::fromStdString(
                        formatScientific(result.dose * *scenario.administeredActivity)));
    }
    line(dose, 14, true);
    // Each warning in as many lines as the page's width needs.
    font.setPointSizeF(9);
    font.setBold(false);
    painter.setFont(font);
    painter.save();
    painter.setPen(QColor(0x9a, 0x4b, 0x00));
    for (const Warning& warning : warnings) {
        const QString said = QStringLiteral("Warning: ") + text(warning.message);
        const QRectF room(0, y, page.width(), page.height() - y);
        const QRectF used = painter.boundingRect(room, Qt::TextWordWrap, said);
        painter.drawText(room, Qt::TextWordWrap, said);
        y += used.height();
    }
    painter.restore();
    y += 2 * mm;

    // The plots as laid out on screen, scaled to the page's width (at most 45 % of its height).
    const QSizeF shown = plots.size();
    const double scale =
        std::min(page.width() / shown.width(), 0.45 * page.height() / shown.height());
    painter.save();
    painter.translate(0, y);
    painter.scale(scale, scale);
    plots.renderWithoutReadout(painter, QWidget::DrawChildren);
    painter.restore();
    y += shown.height() * scale + 3 * mm;

    // The void table, as many rows as the page holds. The headers take two lines, in a font
    // small enough for their widest line to fit its column.
    const QStringList header{QStringLiteral("Void\n"),
                             QStringLiteral("Time\n(min)"),
                             QStringLiteral("Clock\n"),
                             QStringLiteral("Volume\n(ml)"),
                             QStringLiteral("Activity\n(fraction)"),
                             QStringLiteral("Voided\n(fraction)"),
                             QStringLiteral("Excreted\n(fraction)")};
    const double column = page.width() / header.size();
    font.setPointSizeF(8);
    const double row = QFontMetricsF(font, &pdf).lineSpacing();
    font.setBold(true);
    double headerPoints = 8;
    for (const QString& name : header) {
        for (const QString& part : name.split(QLatin1Char('\n'))) {
            const double wide = QFontMetricsF(font, &pdf).horizontalAdvance(part);
            if (wide > column - mm) headerPoints = std::min(headerPoints, 8 * (column - mm) / wide);
        }
    }
    auto cells = [&](const QStringList& texts, bool bold) {
        font.setPointSizeF(bold ? headerPoints : 8);
        font.setBold(bold);
        painter.setFont(font);
        const double height = bold ? 2 * row : row;
        for (int c = 0; c < texts.size(); ++c) {
            painter.drawText(QRectF(c * column, y, column - mm, height),
                             Qt::AlignRight | Qt::AlignBottom, texts[c]);
        }
        y += height;
    };
    cells(header, true);
    const double footer = page.height() - 2 * row;
    const auto fits = static_cast<std::size_t>(std::max(0.0, (footer - y) / row) - 1);
    for (std::size_t i = 0; i < result.voids.size() && i < fits; ++i) {
        const ScenarioVoid& v = result.voids[i];
        cells({QString::number(i + 1), text(formatOneDecimal(v.time)), clock(v.clock),
               text(formatOneDecimal(v.volume)), text(formatSignificant(v.activity, 4)),
               text(formatSignificant(v.voided, 4)), text(formatSignificant(v.excreted, 4))},
              false);
    }
    if (result.voids.size() > fits) {
        line(QStringLiteral("... and %1 more voids (the window's void table has them all)")
                 .arg(result.voids.size() - fits),
             8);
    }
    y = footer + row;
    line(QStringLiteral("Orvane %1, Revised Dynamic Bladder Model")
             .arg(QString::fromLatin1(kVersion)),
         8);
    if (uncertainty) {
        pdf.newPage();
        y = 0;
        line(QStringLiteral("How sure is the dose: uncertainty and sensitivity"), 15, true);
        line(QString::fromStdString(scenario.name), 11);
        y += 2 * mm;
        // Side by side, each at most 340/480 as high as wide.
        const QRectF charts(0, y, page.width(), page.width() / 2 * 340 / 480);
        painter.save();
        uncertainty->drawCharts(painter, charts);
        painter.restore();
        y = charts.bottom() + 3 * mm;
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setStyleStrategy(QFont::PreferNoShaping);
        // The widest line fits the page's width, at most 9 points.
        double points = 9;
        for (const QString& text : uncertainty->lines) {
            fixed.setPointSizeF(9);
            const double wide = QFontMetricsF(fixed, &pdf).horizontalAdvance(text);
            if (wide > page.width()) points = std::min(points, 9 * page.width() / wide);
        }
        fixed.setPointSizeF(points);
        painter.setFont(fixed);
        const QFontMetricsF metrics(fixed, &pdf);
        for (const QString& text : uncertainty->lines) {
            painter.drawText(QPointF(0, y + metrics.ascent()), text);
            y += metrics.lineSpacing();
        }
    }
    painter.end();
    return bytes;
}

}  // namespace orvane
