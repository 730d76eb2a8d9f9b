#include "gui/scenario/uncertainty_charts.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QHorizontalBarSeries>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "engine/numtext.h"
#include "gui/common/window_support.h"
#include "report/plot_state.h"

namespace orvane {
namespace {

constexpr int kHistogramBins = 40;
constexpr double kHistogramTop = 99.5;  // percentile: a long tail beyond it is counted, not drawn

QValueAxis* valueAxis(const QString& title) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%.3g"));
    return axis;
}

}  // namespace

QChart* newUncertaintyChart() {
    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

void drawDoseHistogram(QChart& chart, const UncertaintyResult& r) {
    // Histogram of the used doses up to a high percentile, with the reported percentiles.
    const Histogram bins = histogramOf(r.doses, kHistogramBins, kHistogramTop);
    if (bins.counts.empty()) return;  // no sample was used
    auto* outline = named(new QLineSeries, QStringLiteral("doseHistogram"));
    auto* base = new QLineSeries;
    const int tallest = std::max(bins.tallest, 1);
    for (std::size_t b = 0; b < bins.counts.size(); ++b) {
        outline->append(bins.edge(b), bins.counts[b]);
        outline->append(bins.edge(b + 1), bins.counts[b]);
    }
    base->append(bins.low, 0);
    base->append(bins.top, 0);
    auto* area = new QAreaSeries(outline, base);
    // An area series does not own its boundary lines.
    outline->setParent(area);
    base->setParent(area);
    area->setName(QStringLiteral("Samples"));
    area->setColor(QColor(120, 160, 210));
    area->setBorderColor(QColor(40, 80, 140));
    chart.addSeries(area);
    auto* doseAxis = valueAxis(QStringLiteral("Bladder-wall dose (mGy/MBq)"));
    auto* countAxis = valueAxis(QStringLiteral("Samples per bin"));
    countAxis->setLabelFormat(QStringLiteral("%d"));
    chart.addAxis(doseAxis, Qt::AlignBottom);
    chart.addAxis(countAxis, Qt::AlignLeft);
    area->attachAxis(doseAxis);
    area->attachAxis(countAxis);
    for (std::size_t i = 0; i < kReportedPercentiles.size(); ++i) {
        const double p = kReportedPercentiles[i];
        auto* marker = new QLineSeries;
        marker->setName(QStringLiteral("P%1").arg(p));
        marker->setObjectName(QStringLiteral("percentile%1").arg(p));
        marker->append(r.percentiles[i], 0);
        marker->append(r.percentiles[i], tallest * 1.05);
        QPen pen(p == 50              ? QColor(180, 0, 0)
                 : p == 25 || p == 75 ? QColor(220, 110, 0)
                                      : QColor(90, 90, 90));
        pen.setWidthF(1.5);
        pen.setStyle(p == 50 ? Qt::SolidLine : p == 25 || p == 75 ? Qt::DashLine : Qt::DotLine);
        marker->setPen(pen);
        chart.addSeries(marker);
        marker->attachAxis(doseAxis);
        marker->attachAxis(countAxis);
    }
    doseAxis->setRange(bins.low, bins.top);
    doseAxis->applyNiceNumbers();
    countAxis->setRange(0, tallest * 1.1);
    countAxis->applyNiceNumbers();
    chart.legend()->markers(area).front()->setVisible(false);
    QString title = QStringLiteral("%1 doses and their percentiles").arg(r.used);
    if (bins.beyond > 0)
        title += QStringLiteral("<br>(%1 above %2 mGy/MBq not drawn)")
                     .arg(bins.beyond)
                     .arg(QString::fromStdString(formatSignificant(bins.top, 3)));
    chart.setTitle(title);
}

void drawTornado(QChart& chart, const UncertaintyResult& r) {
    // Tornado: the change from the nominal dose with each input at its 5th and 95th percentile,
    // the largest swing on top.
    auto* lowSet =
        named(new QBarSet(QStringLiteral("Input at its P5")), QStringLiteral("tornadoLow"));
    auto* highSet =
        named(new QBarSet(QStringLiteral("Input at its P95")), QStringLiteral("tornadoHigh"));
    QStringList categories;
    for (auto bar = r.tornado.rbegin(); bar != r.tornado.rend(); ++bar) {
        const bool refused = std::isnan(bar->low) || std::isnan(bar->high);
        categories << QString::fromStdString(bar->path) +
                          (refused ? QStringLiteral(" (refused)") : QString());
        *lowSet << (std::isnan(bar->low) ? 0.0 : bar->low - r.nominal);
        *highSet << (std::isnan(bar->high) ? 0.0 : bar->high - r.nominal);
    }
    auto* bars = named(new QHorizontalBarSeries, QStringLiteral("tornadoSeries"));
    bars->append(lowSet);
    bars->append(highSet);
    chart.addSeries(bars);
    auto* names = new QBarCategoryAxis;
    names->append(categories);
    auto* change = valueAxis(QStringLiteral("Dose minus nominal (mGy/MBq)"));
    chart.addAxis(names, Qt::AlignLeft);
    chart.addAxis(change, Qt::AlignBottom);
    bars->attachAxis(names);
    bars->attachAxis(change);
    change->applyNiceNumbers();
    // Fixed decimals down to the tick step, so that the tick at the nominal dose reads 0 and not
    // a rounding residue of the order of 1e-17.
    const double step = (change->max() - change->min()) / (change->tickCount() - 1);
    const int decimals =
        step > 0 ? std::max(0, 1 - static_cast<int>(std::floor(std::log10(step)))) : 3;
    change->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
    chart.setTitle(QStringLiteral("One at a time, around the nominal %1 mGy/MBq")
                       .arg(QString::fromStdString(formatScientific(r.nominal))));
}

}  // namespace orvane
