// The chart window of the dose table: one schedule, the three overlaid or side by side, the
// dose axis from zero or logarithmic, and a read-out of the point under the mouse.
#pragma once

#include <QWidget>

#include "engine/model.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;

namespace orvane {

class DoseChartWindow : public QWidget {
    Q_OBJECT
public:
    // Choices of the "chartSchedules" box after the three single schedules.
    static constexpr int kOverlaid = kScheduleCount;
    static constexpr int kSideBySide = kScheduleCount + 1;

    // Keeps its own copy of the results, so a later calculation does not change it.
    DoseChartWindow(DoseResults results, int schedule, QWidget* parent = nullptr);

private:
    void rebuild();

    DoseResults results_;
    QComboBox* schedules_;
    QCheckBox* logarithmic_;
    QHBoxLayout* charts_;
    QLabel* legend_;  // side by side, below the charts
    QLabel* readout_;
};

}  // namespace orvane
