// The right side of the scenario window: bladder volume, activity in the bladder and cumulative
// wall dose, stacked against one time axis (hours after administration, the clock above), with
// the voids as vertical lines, the night as a shaded band and the bladder's capacity as a dashed
// line. Wheel zooms, dragging pans and a double-click shows the whole scenario again; the mouse
// reads the values at its time.
#pragma once

#include <QWidget>
#include <array>

#include "engine/scenario.h"
#include "report/plot_state.h"

class QChart;
class QChartView;
class QLabel;
class QPainter;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QCategoryAxis;

namespace orvane {

class ScenarioPlots : public QWidget {
    Q_OBJECT
public:
    explicit ScenarioPlots(QWidget* parent = nullptr);

    // Draws a computed scenario (its time course must have been asked for).
    void show(const Scenario& scenario, const ScenarioResult& result);

    // The three charts, top to bottom: volume, activity, cumulative dose.
    QChart* chart(int index) const;
    // Shows the hours lo..hi on every chart (the clock axis follows).
    void setTimeRange(double lo, double hi);
    // The values at a time (h), as the read-out states them.
    QString readoutAt(double hours) const;
    // The read-out under the charts: the values where the mouse last was, none after show().
    QString readout() const;
    // Draws the plots without the read-out (exports show the scenario, not the mouse).
    void renderWithoutReadout(QPainter& painter,
                              RenderFlags flags = DrawWindowBackground | DrawChildren);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyTimeWindow();
    void relabelClock();
    // The dashed line at the capacity in force, labelled "capacity N ml".
    void addCapacity(QChart& chart, double capacity, double endHours);

    std::array<QChartView*, 3> views_{};
    std::array<QValueAxis*, 3> timeAxes_{};
    QCategoryAxis* clockAxis_ = nullptr;
    QScatterSeries* capacityLabel_ = nullptr;  // in the volume chart, when there is a capacity
    QLabel* readout_;
    Scenario scenario_;
    ScenarioResult result_;
    TimeWindow window_;     // h
    double dragFrom_ = -1;  // h under the mouse when a drag began, or -1
};

// The activity and dose factors of a scenario's plots and void table: 100 (per cent) and 1
// (mGy/MBq) without an administered activity, A (MBq) and A (mGy) with one; and their units.
struct ScenarioUnits {
    double activityFactor;
    QString activityUnit;
    double doseFactor;
    QString doseUnit;
};
ScenarioUnits scenarioUnits(const Scenario& scenario);

}  // namespace orvane
