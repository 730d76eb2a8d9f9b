// The scenario on one A4 page: the inputs in words, the dose, the plots and the void table.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "engine/scenario.h"

class QPainter;
class QRectF;
class QWidget;

namespace orvane {

// An uncertainty analysis on paper: charts drawn into a rectangle of the page (in the painter's
// units) and the statistics, one line each.
struct UncertaintyPage {
    std::function<void(QPainter& painter, const QRectF& area)> drawCharts;
    QStringList lines;
};

// The scenario's inputs, one line each ("Fill rate: 1 ml/min by day, ...").
QStringList scenarioInWords(const Scenario& scenario);

// The PDF document of the page; plots is drawn as it is laid out on screen, scaled to fit.
// With an uncertainty analysis, a second page holds its charts and its statistics.
QByteArray scenarioReportPdf(const Scenario& scenario, const ScenarioResult& result, QWidget& plots,
                             const QString& title, const UncertaintyPage* uncertainty = nullptr);

}  // namespace orvane
