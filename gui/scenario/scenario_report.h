// The scenario on one A4 page: the inputs in words, the dose, the plots and the void table.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "engine/scenario.h"

class QWidget;

namespace orvane {

// The scenario's inputs, one line each ("Fill rate: 1 ml/min by day, ...").
QStringList scenarioInWords(const Scenario& scenario);

// The PDF document of the page; plots is drawn as it is laid out on screen, scaled to fit.
// With an uncertainty view (its charts and statistics), a second page shows it likewise.
QByteArray scenarioReportPdf(const Scenario& scenario, const ScenarioResult& result, QWidget& plots,
                             const QString& title, QWidget* uncertainty = nullptr);

}  // namespace orvane
