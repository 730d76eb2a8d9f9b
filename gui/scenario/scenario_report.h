// The scenario on one A4 page: the inputs in words, the dose, the plots and the void table.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "engine/scenario.h"
#include "engine/warning.h"

class QPainter;
class QRectF;

namespace orvane {

class ScenarioPlots;

// An uncertainty analysis on paper: charts drawn into a rectangle of the page (in the painter's
// units) and the statistics, one line each.
struct UncertaintyPage {
    std::function<void(QPainter& painter, const QRectF& area)> drawCharts;
    QStringList lines;
};

// The PDF document of the page: the scenario in words as report/ gives them, the dose, the
// warnings (Workbench::scenarioWarnings), the plots as laid out on screen (scaled to fit,
// without the mouse's read-out) and the voids. With an uncertainty analysis, a second page
// holds its charts and its statistics.
QByteArray scenarioReportPdf(const Scenario& scenario, const ScenarioResult& result,
                             const std::vector<Warning>& warnings, ScenarioPlots& plots,
                             const QString& title, const UncertaintyPage* uncertainty = nullptr);

}  // namespace orvane
