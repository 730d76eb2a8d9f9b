#include "gui/scenario/scenario_report.h"

#include <QBuffer>
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

namespace orvane {
namespace {

constexpr double kMarginMm = 15;
constexpr int kResolution = 600;  // dots per inch of the PDF's coordinates

QString number(double value) {
    return QString::number(value, 'g', 6);
}

QString clock(double minutes) {
    return QString::fromStdString(clockText(minutes));
}

QString regular(const RegularVoiding& r) {
    return QStringLiteral("every %1 min while awake, bedtime %2, wake-up %3")
        .arg(number(r.interval), clock(r.bedtime), clock(r.wake));
}

}  // namespace

QStringList scenarioInWords(const Scenario& s) {
    QStringList lines;
    lines << QStringLiteral("Radiopharmaceutical: %1, physical half-life %2 min")
                 .arg(QString::fromStdString(s.radiopharmaceutical.name),
                      number(s.radiopharmaceutical.physicalHalfLife));
    QString patient =
        QStringLiteral("Administration at %1; V0 %2 ml; residual %3 ml")
            .arg(clock(s.administrationClock), number(s.initialVolume), number(s.residualVolume));
    if (s.administeredActivity) {
        patient += QStringLiteral("; %1 MBq administered").arg(number(*s.administeredActivity));
    }
    lines << patient;
    const FillRatePattern& f = s.fillRate;
    if (f.steps.empty()) {
        lines << QStringLiteral("Fill rate: %1 ml/min by day, %2 ml/min from %3 to %4")
                     .arg(number(f.dayRate), number(f.nightRate), clock(f.nightFrom),
                          clock(f.nightTo));
    } else {
        QStringList steps;
        for (const FillStep& step : f.steps) {
            steps << QStringLiteral("%1 ml/min from %2 min")
                         .arg(number(step.rate), number(step.from));
        }
        lines << QStringLiteral("Fill rate: ") + steps.join(QStringLiteral(", "));
    }
    const VoidingPattern& v = s.voiding;
    switch (v.kind) {
        case VoidingKind::Table:
            lines << QStringLiteral("Voiding: the dose tables' schedule, first void at %1 min")
                         .arg(number(v.firstVoid));
            break;
        case VoidingKind::Regular:
            lines << QStringLiteral("Voiding: first at %1 min, then %2")
                         .arg(number(v.firstVoid), regular(v.regular));
            break;
        case VoidingKind::Diary: {
            QStringList at;
            for (const DiaryVoid& d : v.voids) {
                at << number(d.at) + (d.residual
                                          ? QStringLiteral(" (%1 ml left)").arg(number(*d.residual))
                                          : QString());
            }
            lines << QStringLiteral("Voiding diary at %1 min").arg(at.join(QStringLiteral(", ")));
            if (v.then) lines << QStringLiteral("Then ") + regular(v.regular);
            break;
        }
        case VoidingKind::Capacity:
            lines << QStringLiteral("Voiding: only when the bladder is full");
            break;
    }
    if (v.capacity) {
        lines << QStringLiteral("Bladder capacity %1 ml").arg(number(*v.capacity));
    }
    return lines;
}

QByteArray scenarioReportPdf(const Scenario& scenario, const ScenarioResult& result, QWidget& plots,
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
    for (const QString& text : scenarioInWords(scenario)) line(text, 9);
    y += 2 * mm;
    QString dose = QStringLiteral("Bladder-wall dose: %1 mGy/MBq")
                       .arg(QString::fromStdString(formatScientific(result.dose)));
    if (scenario.administeredActivity) {
        dose += QStringLiteral(" (%1 mGy)")
                    .arg(QString::fromStdString(
                        formatScientific(result.dose * *scenario.administeredActivity)));
    }
    line(dose, 14, true);
    y += 2 * mm;

    // The plots as laid out on screen, scaled to the page's width (at most 45 % of its height).
    const QSizeF shown = plots.size();
    const double scale =
        std::min(page.width() / shown.width(), 0.45 * page.height() / shown.height());
    painter.save();
    painter.translate(0, y);
    painter.scale(scale, scale);
    plots.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.restore();
    y += shown.height() * scale + 3 * mm;

    // The void table, as many rows as the page holds.
    const QStringList header{QStringLiteral("Void"),
                             QStringLiteral("Time (min)"),
                             QStringLiteral("Clock"),
                             QStringLiteral("Volume (ml)"),
                             QStringLiteral("Activity (fraction)"),
                             QStringLiteral("Voided (fraction)"),
                             QStringLiteral("Excreted (fraction)")};
    font.setPointSizeF(8);
    const double row = QFontMetricsF(font, &pdf).lineSpacing();
    const double column = page.width() / header.size();
    auto cells = [&](const QStringList& texts, bool bold) {
        font.setPointSizeF(8);
        font.setBold(bold);
        painter.setFont(font);
        for (int c = 0; c < texts.size(); ++c) {
            painter.drawText(QRectF(c * column, y, column - mm, row),
                             Qt::AlignRight | Qt::AlignVCenter, texts[c]);
        }
        y += row;
    };
    cells(header, true);
    const double footer = page.height() - 2 * row;
    const auto fits = static_cast<std::size_t>(std::max(0.0, (footer - y) / row) - 1);
    for (std::size_t i = 0; i < result.voids.size() && i < fits; ++i) {
        const ScenarioVoid& v = result.voids[i];
        cells({QString::number(i + 1), QString::number(v.time, 'f', 1), clock(v.clock),
               QString::number(v.volume, 'f', 1), QString::number(v.activity, 'g', 4),
               QString::number(v.voided, 'g', 4), QString::number(v.excreted, 'g', 4)},
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
