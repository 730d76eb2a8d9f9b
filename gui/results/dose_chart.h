// The dose table as a chart a value can be read from: T0 at its true place on a 0-180 min axis
// with a tick every 20 min, one curve per V0 with its points marked, the dose axis from zero or
// logarithmic. The chart window, the graph exports and the printed page all draw it.
#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <vector>

#include "engine/model.h"

class QPainter;

class QChart;
class QXYSeries;

namespace orvane {

enum class DoseScale { FromZero, Logarithmic };

// What to draw: the schedules (0..2) as curves, and the schedules whose doses set the dose
// axis (so that charts side by side share one scale).
struct DoseChartPlan {
    std::vector<int> schedules;
    std::vector<int> axisSchedules;
    DoseScale scale = DoseScale::FromZero;
    // For a chart a third of a window wide: T0 labelled every 60 min (ticks still every 20),
    // a short T0 axis title, and no legend.
    bool narrow = false;
};

// The colour of the curve of V0 row v0Index (0..6), the same in every chart.
QColor v0Colour(int v0Index);

// True when every dose of the schedules is above zero, as a logarithmic axis needs.
bool logarithmicPossible(const DoseResults& results, const std::vector<int>& schedules);

// A new chart (the caller owns it). Each series carries the properties "schedule" and "v0Index"
// and holds the points (T0 min, dose mGy/MBq) of one table row. A logarithmic scale that is
// not possible falls back to the axis from zero.
QChart* makeDoseChart(const DoseResults& results, const DoseChartPlan& plan);

// Sets the chart's title to its full text (as makeDoseChart made it) broken into lines at
// blanks, so that no line is wider than the chart: Qt Charts would cut a long title short.
void wrapTitle(QChart& chart);

// The read-out for a place on a series: the nearest tabulated point, as V0, T0, the fill rate
// and the dose in the table's own notation.
QString doseReadout(const DoseResults& results, const QXYSeries& series, QPointF place);

// Paints the chart into area (device coordinates of painter), laid out at layoutSize (logical
// pixels, where the fonts' point sizes apply; empty: area's size) and scaled to fit.
void paintChart(QChart& chart, QPainter& painter, const QRectF& area, QSizeF layoutSize = {});

}  // namespace orvane
