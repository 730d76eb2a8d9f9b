#include "gui/results/dose_chart.h"

#include <QChart>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "engine/numtext.h"

namespace orvane {
namespace {

constexpr double kMinutesPerTick = 20;
constexpr double kFirstVoidAxisEnd = 180;  // min; further when the grid goes further
// One colour per V0, told apart also in grey print by their lightness steps.
const std::array<QColor, kV0Count> kV0Colours{QColor(0x1f, 0x4e, 0x9c), QColor(0xd6, 0x27, 0x28),
                                              QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                                              QColor(0xff, 0x7f, 0x0e), QColor(0x17, 0xbe, 0xcf),
                                              QColor(0x5a, 0x5a, 0x5a)};
const std::array<Qt::PenStyle, kScheduleCount> kScheduleStyles{Qt::SolidLine, Qt::DashLine,
                                                               Qt::DotLine};
const std::array<const char*, kScheduleCount> kStyleNames{"solid", "dashed", "dotted"};
constexpr const char* kFullTitle = "fullTitle";  // the chart's title in one line, plain text

// "1.0/0.5", as the option buttons write the schedules.
QString fillRate(int schedule) {
    const FillRateSchedule& rates = kFillRateSchedules[static_cast<std::size_t>(schedule)];
    return QStringLiteral("%1/%2").arg(QString::number(rates.dayRate, 'f', 1),
                                       QString::number(rates.nightRate));
}

// The family the font resolves to here, not an alias that an SVG viewer elsewhere would not know.
QFont resolved(QFont font) {
    font.setFamily(QFontInfo(font).family());
    return font;
}

void resolveFonts(QChart& chart) {
    chart.setTitleFont(resolved(chart.titleFont()));
    chart.legend()->setFont(resolved(chart.legend()->font()));
    for (QAbstractAxis* axis : chart.axes()) {
        axis->setLabelsFont(resolved(axis->labelsFont()));
        axis->setTitleFont(resolved(axis->titleFont()));
    }
}

QString title(const DoseResults& results, const std::vector<int>& schedules) {
    QString name = QString::fromStdString(results.parameters.name);
    if (name.isEmpty()) name = QStringLiteral("Typed-in radiopharmaceutical");
    if (schedules.size() == 1) {
        return QStringLiteral("%1: bladder-wall dose, fill rate %2 ml/min day/night")
            .arg(name, fillRate(schedules.front()));
    }
    QStringList styles;
    for (int s : schedules) {
        styles << QStringLiteral("%1 %2").arg(QString::fromLatin1(kStyleNames[s]), fillRate(s));
    }
    return QStringLiteral("%1: bladder-wall dose, fill rates %2 ml/min day/night")
        .arg(name, styles.join(QStringLiteral(", ")));
}

std::pair<double, double> doseRange(const DoseResults& results, const std::vector<int>& schedules) {
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int s : schedules) {
        for (const auto& row : results.tables[static_cast<std::size_t>(s)].dose) {
            for (double dose : row) {
                low = std::min(low, dose);
                high = std::max(high, dose);
            }
        }
    }
    return {low, high};
}

QAbstractAxis* doseAxis(const DoseResults& results, const DoseChartPlan& plan, bool logarithmic) {
    const auto [low, high] =
        doseRange(results, plan.axisSchedules.empty() ? plan.schedules : plan.axisSchedules);
    if (logarithmic) {
        auto* axis = new QLogValueAxis;
        axis->setBase(10);
        axis->setLabelFormat(QStringLiteral("%g"));
        axis->setMinorTickCount(8);
        axis->setRange(std::pow(10, std::floor(std::log10(low))),
                       std::pow(10, std::ceil(std::log10(high))));
        axis->setTitleText(QStringLiteral("Bladder-wall dose (mGy/MBq, logarithmic)"));
        return axis;
    }
    auto* axis = new QValueAxis;
    // From zero, or from below zero when a dose is negative; an all-zero table still spans.
    const double top = std::max(high, 0.0);
    const double bottom = std::min(low, 0.0);
    axis->setRange(bottom, top > bottom ? top : 1.0);
    axis->applyNiceNumbers();
    axis->setLabelFormat(QStringLiteral("%g"));
    axis->setMinorTickCount(1);
    axis->setTitleText(QStringLiteral("Bladder-wall dose (mGy/MBq)"));
    return axis;
}

QValueAxis* firstVoidAxis(const DoseResults& results, bool narrow) {
    const double last = *std::max_element(results.grids.t0Grid.begin(), results.grids.t0Grid.end());
    // Narrow, a label every third tick: ten labels would not fit.
    const double labelled = narrow ? 3 * kMinutesPerTick : kMinutesPerTick;
    const double end = std::max(kFirstVoidAxisEnd, std::ceil(last / labelled) * labelled);
    auto* axis = new QValueAxis;
    axis->setRange(0, end);
    axis->setTickCount(static_cast<int>(end / labelled) + 1);
    if (narrow) axis->setMinorTickCount(2);
    axis->setLabelFormat(QStringLiteral("%.0f"));
    axis->setTitleText(narrow ? QStringLiteral("First void T0 (min)")
                              : QStringLiteral("First-void time T0 (min after administration)"));
    return axis;
}

}  // namespace

bool logarithmicPossible(const DoseResults& results, const std::vector<int>& schedules) {
    const auto [low, high] = doseRange(results, schedules);
    return low > 0 && std::isfinite(high);
}

QChart* makeDoseChart(const DoseResults& results, const DoseChartPlan& plan) {
    auto* chart = new QChart;
    const QString text = title(results, plan.schedules);
    chart->setTitle(text.toHtmlEscaped());
    chart->setProperty(kFullTitle, text);
    chart->setBackgroundBrush(Qt::white);
    chart->legend()->setAlignment(Qt::AlignRight);
    const bool logarithmic =
        plan.scale == DoseScale::Logarithmic &&
        logarithmicPossible(results,
                            plan.axisSchedules.empty() ? plan.schedules : plan.axisSchedules);
    QValueAxis* x = firstVoidAxis(results, plan.narrow);
    QAbstractAxis* y = doseAxis(results, plan, logarithmic);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (int s : plan.schedules) {
        const DoseTable& table = results.tables[static_cast<std::size_t>(s)];
        for (int v = 0; v < kV0Count; ++v) {
            auto* series = new QLineSeries;
            series->setName(QStringLiteral("V0 = %1 ml")
                                .arg(QString::fromStdString(formatWhole(results.grids.v0Grid[v]))));
            series->setProperty("schedule", s);
            series->setProperty("v0Index", v);
            for (int t = 0; t < kT0Count; ++t) {
                series->append(results.grids.t0Grid[t], table.at(t, v));
            }
            QPen pen(v0Colour(v), 1.6);
            pen.setStyle(kScheduleStyles[static_cast<std::size_t>(s)]);
            series->setPen(pen);
            series->setPointsVisible(true);
            series->setMarkerSize(6);
            chart->addSeries(series);
            series->attachAxis(x);
            series->attachAxis(y);
            // With schedules overlaid, the legend names each V0 once; the title names the styles.
            if (s != plan.schedules.front()) {
                for (QLegendMarker* marker : chart->legend()->markers(series)) {
                    marker->setVisible(false);
                }
            }
        }
    }
    if (plan.narrow) chart->legend()->hide();
    resolveFonts(*chart);
    return chart;
}

QColor v0Colour(int v0Index) {
    return kV0Colours[static_cast<std::size_t>(std::clamp(v0Index, 0, kV0Count - 1))];
}

void wrapTitle(QChart& chart) {
    const QString text = chart.property(kFullTitle).toString();
    const QFontMetricsF metrics(chart.titleFont());
    // The title spans the chart less its margins, its frame and the title's own margins.
    const double room =
        chart.size().width() - chart.margins().left() - chart.margins().right() - 40;
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > room) {
            lines << line.toHtmlEscaped();
            line = word;
        } else {
            line = longer;
        }
    }
    lines << line.toHtmlEscaped();
    const QString wrapped = lines.join(QStringLiteral("<br>"));
    if (chart.title() != wrapped) chart.setTitle(wrapped);
}

QString doseReadout(const DoseResults& results, const QXYSeries& series, QPointF place) {
    const int schedule = series.property("schedule").toInt();
    const int v = series.property("v0Index").toInt();
    if (schedule < 0 || schedule >= kScheduleCount || v < 0 || v >= kV0Count) return {};
    int nearest = 0;
    for (int t = 1; t < kT0Count; ++t) {
        if (std::abs(results.grids.t0Grid[t] - place.x()) <
            std::abs(results.grids.t0Grid[nearest] - place.x())) {
            nearest = t;
        }
    }
    const double dose = results.tables[static_cast<std::size_t>(schedule)].at(nearest, v);
    return QStringLiteral("V0 = %1 ml, T0 = %2 min, fill rate %3 ml/min: %4 mGy/MBq")
        .arg(QString::fromStdString(formatWhole(results.grids.v0Grid[v])),
             QString::fromStdString(formatWhole(results.grids.t0Grid[nearest])), fillRate(schedule),
             QString::fromStdString(formatScientific(dose)));
}

void paintChart(QChart& chart, QPainter& painter, const QRectF& area, QSizeF layoutSize) {
    if (layoutSize.isEmpty()) layoutSize = area.size();
    QGraphicsScene scene;
    scene.addItem(&chart);
    chart.setGeometry(QRectF(QPointF(0, 0), layoutSize));
    scene.setSceneRect(QRectF(QPointF(0, 0), layoutSize));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, area, scene.sceneRect());
    painter.restore();
    scene.removeItem(&chart);
}

}  // namespace orvane
