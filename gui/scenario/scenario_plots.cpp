#include "gui/scenario/scenario_plots.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "engine/dose_rate.h"
#include "engine/numtext.h"
#include "engine/scenario_events.h"
#include "gui/common/window_support.h"

namespace orvane {
namespace {

constexpr int kChartMargin = 4;  // px
const std::array<const char*, 3> kChartNames{"volumeChart", "activityChart", "doseChart"};

// A tick step in hours that gives about six to twelve ticks over span hours.
double hourStep(double span) {
    for (double step : {0.25, 0.5, 1.0, 2.0, 3.0, 6.0, 12.0, 24.0, 48.0, 96.0, 168.0}) {
        if (span / step <= 12) return step;
    }
    return 24 * 7 * std::ceil(span / (12 * 24 * 7));
}

QString clockLabel(double clockMinutes) {
    return QString::fromStdString(clockText(
        std::fmod(std::fmod(clockMinutes, kMinutesPerDay) + kMinutesPerDay, kMinutesPerDay)));
}

// Width of the widest tick label of a value axis, as the chart writes them ("%g").
double valueLabelWidth(const QValueAxis& axis) {
    const QFontMetricsF metrics(axis.labelsFont());
    const int ticks = std::max(axis.tickCount(), 2);
    double widest = 0;
    for (int k = 0; k < ticks; ++k) {
        const double value = axis.min() + (axis.max() - axis.min()) * k / (ticks - 1);
        widest = std::max(widest, metrics.horizontalAdvance(QString::asprintf("%g", value)));
    }
    return widest;
}

// Where the capacity's label stands along the time axis: near the right end of the window.
constexpr double kCapacityLabelAt = 0.85;

// The capacity in force: the scenario's (its voiding at capacity), else its reference
// patient's; none for a scenario that has neither.
std::optional<double> capacityOf(const Scenario& scenario) {
    if (scenario.voiding.capacity) return scenario.voiding.capacity;
    if (scenario.origin.patient) return scenario.origin.patient->capacity;
    return std::nullopt;
}

}  // namespace

ScenarioUnits scenarioUnits(const Scenario& scenario) {
    if (scenario.administeredActivity) {
        return {*scenario.administeredActivity, QStringLiteral("MBq"),
                *scenario.administeredActivity, QStringLiteral("mGy")};
    }
    return {100, QStringLiteral("%"), 1, QStringLiteral("mGy/MBq")};
}

ScenarioPlots::ScenarioPlots(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("scenarioPlots"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (std::size_t i = 0; i < views_.size(); ++i) {
        auto* chart = new QChart;
        chart->setObjectName(QString::fromLatin1(kChartNames[i]));
        chart->legend()->hide();
        chart->setMargins(QMargins(kChartMargin, 2, kChartMargin, 2));
        views_[i] = named(new QChartView(chart, this),
                          QString::fromLatin1(kChartNames[i]) + QStringLiteral("View"));
        views_[i]->setRenderHint(QPainter::Antialiasing);
        views_[i]->setMouseTracking(true);
        views_[i]->viewport()->installEventFilter(this);
        layout->addWidget(views_[i], 1);
    }
    readout_ = named(new QLabel(this), QStringLiteral("plotReadout"));
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line high whether it shows a read-out or none, so that the charts do not move.
    readout_->setMinimumHeight(readout_->fontMetrics().lineSpacing());
    layout->addWidget(readout_);
}

QChart* ScenarioPlots::chart(int index) const {
    return views_[static_cast<std::size_t>(index)]->chart();
}

void ScenarioPlots::show(const Scenario& scenario, const ScenarioResult& result) {
    scenario_ = scenario;
    result_ = result;
    const ScenarioUnits units = scenarioUnits(scenario);
    const double endMinutes = result.timeCourse.empty() ? 60 : result.timeCourse.back().time;
    window_.showWhole(endMinutes / kMinutesPerHour);
    // A read-out belongs to the scenario it was read from.
    readout_->clear();
    // Short titles: the charts are not tall.
    const std::array<QString, 3> titles{QStringLiteral("Volume (ml)"),
                                        QStringLiteral("Activity (%1)").arg(units.activityUnit),
                                        QStringLiteral("Dose (%1)").arg(units.doseUnit)};
    const std::vector<TimeSpan> nightSpans = scenarioNights(scenario, endMinutes);
    const std::optional<double> capacity = capacityOf(scenario);
    capacityLabel_ = nullptr;

    std::array<double, 3> labelWidths{};
    for (std::size_t i = 0; i < views_.size(); ++i) {
        QChart* chart = views_[i]->chart();
        chart->removeAllSeries();
        for (QAbstractAxis* axis : chart->axes()) {
            chart->removeAxis(axis);
            delete axis;
        }
        auto* values = new QLineSeries;
        values->setObjectName(QStringLiteral("values"));
        double low = 0, high = 0;
        for (const TimePoint& p : result.timeCourse) {
            const double y = i == 0   ? p.volume
                             : i == 1 ? p.activity * units.activityFactor
                                      : p.cumulativeDose * units.doseFactor;
            values->append(p.time / kMinutesPerHour, y);
            low = std::min(low, y);
            high = std::max(high, y);
        }
        // The capacity line and its label stand inside the volume chart.
        if (i == 0 && capacity) high = std::max(high, *capacity * 1.15);
        auto* time = new QValueAxis;
        time->setRange(window_.lo(), window_.hi());
        time->setLabelFormat(QStringLiteral("%g"));
        time->setTickType(QValueAxis::TicksDynamic);
        time->setTickAnchor(0);
        if (i + 1 == views_.size())
            time->setTitleText(QStringLiteral("Time after administration (h)"));
        auto* value = new QValueAxis;
        value->setRange(low, high > low ? high : low + 1);
        value->applyNiceNumbers();
        value->setLabelFormat(QStringLiteral("%g"));
        value->setTitleText(titles[i]);
        QFont small = value->titleFont();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        value->setTitleFont(small);
        chart->addAxis(time, Qt::AlignBottom);
        chart->addAxis(value, Qt::AlignLeft);
        timeAxes_[i] = time;
        labelWidths[i] = valueLabelWidth(*value);

        // The night: one band series from the bottom of the axis to its top.
        auto* upper = new QLineSeries;
        auto* lower = new QLineSeries;
        // Each night a rectangle; between nights the band is closed down to the bottom.
        for (const TimeSpan& span : nightSpans) {
            const double a = span.from / kMinutesPerHour;
            const double b = span.to / kMinutesPerHour;
            for (const auto& [x, top] : {std::pair{a, value->min()}, std::pair{a, value->max()},
                                         std::pair{b, value->max()}, std::pair{b, value->min()}}) {
                upper->append(x, top);
                lower->append(x, value->min());
            }
        }
        auto* night = new QAreaSeries(upper, lower);
        // An area series does not own its boundary lines.
        upper->setParent(night);
        lower->setParent(night);
        night->setObjectName(QStringLiteral("night"));
        night->setName(QStringLiteral("Night"));
        night->setBrush(QColor(40, 60, 140, 38));
        night->setPen(Qt::NoPen);
        chart->addSeries(night);

        // Each void as a line over the whole height (joined along the axis' bottom).
        auto* voids = new QLineSeries;
        voids->setObjectName(QStringLiteral("voids"));
        voids->setPen(QPen(QColor(225, 120, 120), 1));
        for (const ScenarioVoid& v : result.voids) {
            const double t = v.time / kMinutesPerHour;
            voids->append(t, value->min());
            voids->append(t, value->max());
            voids->append(t, value->min());
        }
        chart->addSeries(voids);
        if (i == 0 && capacity) addCapacity(*chart, *capacity, endMinutes / kMinutesPerHour);
        values->setPen(QPen(QColor(0x1f, 0x4e, 0x9c), 1.8));
        chart->addSeries(values);
        for (QAbstractSeries* series : chart->series()) {
            series->attachAxis(time);
            series->attachAxis(value);
        }
    }
    // The clock along the top of the first chart.
    clockAxis_ = new QCategoryAxis;
    clockAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    chart(0)->addAxis(clockAxis_, Qt::AlignTop);
    chart(0)->series().front()->attachAxis(clockAxis_);
    // The plot areas start at one x, so that a time stands at the same place in every chart:
    // the charts with narrower value labels get the difference as left margin.
    const double widest = *std::max_element(labelWidths.begin(), labelWidths.end());
    for (std::size_t i = 0; i < views_.size(); ++i) {
        views_[i]->chart()->setMargins(
            QMargins(kChartMargin + qRound(widest - labelWidths[i]), 2, kChartMargin, 2));
    }
    applyTimeWindow();
}

void ScenarioPlots::addCapacity(QChart& chart, double capacity, double endHours) {
    auto* line = new QLineSeries;
    line->setObjectName(QStringLiteral("capacity"));
    line->setPen(QPen(QColor(160, 60, 60), 1.2, Qt::DashLine));
    line->append(0, capacity);
    line->append(endHours, capacity);
    chart.addSeries(line);
    // The label: one invisible point whose label is drawn above it, kept in the window.
    capacityLabel_ = new QScatterSeries;
    capacityLabel_->setObjectName(QStringLiteral("capacityLabel"));
    capacityLabel_->setMarkerSize(1);
    capacityLabel_->setColor(Qt::transparent);
    capacityLabel_->setBorderColor(Qt::transparent);
    capacityLabel_->setPointLabelsFormat(
        QStringLiteral("capacity %1 ml")
            .arg(QString::fromStdString(formatSignificant(capacity, 4))));
    capacityLabel_->setPointLabelsColor(QColor(160, 60, 60));
    capacityLabel_->setPointLabelsVisible(true);
    capacityLabel_->append(window_.lo() + kCapacityLabelAt * (window_.hi() - window_.lo()),
                           capacity);
    chart.addSeries(capacityLabel_);
}

void ScenarioPlots::setTimeRange(double lo, double hi) {
    if (window_.show(lo, hi)) applyTimeWindow();
}

void ScenarioPlots::applyTimeWindow() {
    const double step = hourStep(window_.hi() - window_.lo());
    for (QValueAxis* axis : timeAxes_) {
        if (!axis) return;
        axis->setRange(window_.lo(), window_.hi());
        axis->setTickInterval(step);
    }
    if (capacityLabel_ && capacityLabel_->count() == 1) {
        capacityLabel_->replace(0, window_.lo() + kCapacityLabelAt * (window_.hi() - window_.lo()),
                                capacityLabel_->at(0).y());
    }
    relabelClock();
}

void ScenarioPlots::renderWithoutReadout(QPainter& painter, RenderFlags flags) {
    // Charts drop the items of their old axes and lay themselves out when their posted events
    // are handled: a render right after show(), before the event loop ran, would draw the new
    // series on the old axes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents();
    const QString shown = readout_->text();
    readout_->setText(QString());
    render(&painter, QPoint(), QRegion(), flags);
    readout_->setText(shown);
}

QString ScenarioPlots::readout() const {
    return readout_->text();
}

void ScenarioPlots::relabelClock() {
    if (!clockAxis_) return;
    const QValueAxis* time = timeAxes_[0];
    for (const QString& label : clockAxis_->categoriesLabels()) clockAxis_->remove(label);
    // One category around each tick, its label the clock at the tick. A label with its day
    // ("04:00 +1d") needs about twice a tick's room in a window of usual width, so past six
    // ticks every other one is labelled (Qt would cut the labels short).
    double step = time->tickInterval();
    while ((time->max() - time->min()) / step > 6) step *= 2;
    const double first = std::ceil(time->min() / step) * step;
    clockAxis_->setStartValue(first - step / 2);
    for (double t = first; t <= time->max() + 1e-9; t += step) {
        const double clock = scenario_.administrationClock + t * kMinutesPerHour;
        // Labels must differ: the day after the administration's tells the same time apart.
        QString label = clockLabel(clock);
        const int day = static_cast<int>(std::floor(clock / kMinutesPerDay));
        if (day > 0) label += QStringLiteral(" +%1d").arg(day);
        clockAxis_->append(label, t + step / 2);
    }
    clockAxis_->setRange(time->min(), time->max());
}

QString ScenarioPlots::readoutAt(double hours) const {
    const std::vector<TimePoint>& course = result_.timeCourse;
    if (course.empty()) return {};
    const double minutes = hours * kMinutesPerHour;
    auto after = std::lower_bound(course.begin(), course.end(), minutes,
                                  [](const TimePoint& p, double t) { return p.time < t; });
    if (after == course.end()) after = course.end() - 1;
    if (after != course.begin() && minutes - (after - 1)->time < after->time - minutes) --after;
    const TimePoint& p = *after;
    const ScenarioUnits units = scenarioUnits(scenario_);
    auto text = [](const std::string& number) { return QString::fromStdString(number); };
    return QStringLiteral("%1 h (%2): volume %3 ml, activity %4 %5, dose so far %6 %7")
        .arg(text(formatFixed(p.time / kMinutesPerHour, 2)),
             clockLabel(scenario_.administrationClock + p.time), text(formatOneDecimal(p.volume)),
             text(formatSignificant(p.activity * units.activityFactor, 4)), units.activityUnit,
             text(formatScientific(p.cumulativeDose * units.doseFactor)), units.doseUnit);
}

bool ScenarioPlots::eventFilter(QObject* watched, QEvent* event) {
    QChartView* view = nullptr;
    for (QChartView* v : views_) {
        if (v->viewport() == watched) view = v;
    }
    if (!view || !timeAxes_[0]) return QWidget::eventFilter(watched, event);
    auto hoursAt = [view](QPointF position) {
        return view->chart()->mapToValue(view->mapToScene(position.toPoint())).x();
    };
    switch (event->type()) {
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const double at = hoursAt(mouse->position());
            if (dragFrom_ >= 0 && (mouse->buttons() & Qt::LeftButton)) {
                window_.pan(dragFrom_ - at);
                applyTimeWindow();
            } else {
                readout_->setText(readoutAt(window_.withinWhole(at)));
            }
            return true;
        }
        case QEvent::MouseButtonPress:
            dragFrom_ = hoursAt(static_cast<QMouseEvent*>(event)->position());
            return true;
        case QEvent::MouseButtonRelease:
            dragFrom_ = -1;
            return true;
        case QEvent::MouseButtonDblClick:
            window_.showWhole();
            applyTimeWindow();
            return true;
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            if (window_.zoom(hoursAt(wheel->position()), wheel->angleDelta().y() > 0)) {
                applyTimeWindow();
            }
            return true;
        }
        default:
            return QWidget::eventFilter(watched, event);
    }
}

}  // namespace orvane
