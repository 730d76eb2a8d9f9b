// What the scenario window's tests share: the dose line as shown and as the engine gives it.
#pragma once

#include <QAreaSeries>
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QRegularExpression>
#include <nlohmann/json.hpp>

#include "engine/numtext.h"
#include "gui/scenario/scenario_window.h"
#include "gui_test_support.h"
#include "library/scenario_file.h"

namespace orvane::testing {

using ScenarioWindowTest = WindowTest;

// The dose line without the activity left at the end, which follows the dose.
inline QString doseText(QWidget* window) {
    QString line = control<QLabel>(window, "scenarioDose")->text();
    return line.remove(
        QRegularExpression(QStringLiteral("   Activity left at the end: [^(]*"
                                          "\\(not in the dose\\)")));
}

// The dose line of a dose in mGy/MBq.
inline QString doseLine(double dose) {
    return QStringLiteral("Bladder-wall dose: %1 mGy/MBq")
        .arg(QString::fromStdString(formatScientific(dose)));
}

// The series of a chart with that objectName (or the upper line of an area series that has it).
template <typename T>
T* seriesNamed(QChart* chart, const QString& name) {
    for (QAbstractSeries* series : chart->series()) {
        if (series->objectName() == name) return qobject_cast<T*>(series);
        if (auto* area = qobject_cast<QAreaSeries*>(series);
            area && area->upperSeries()->objectName() == name)
            return qobject_cast<T*>(area->upperSeries());
    }
    return nullptr;
}

inline ScenarioResult computed(const Scenario& scenario, const StandardData& data) {
    return computeScenario(scenario, {data.tables.quadratureNodes, data.tables.quadratureWeights});
}

inline ScenarioResult computed(const nlohmann::json& document, const StandardData& data) {
    return computed(scenarioFromJson(document, data), data);
}

}  // namespace orvane::testing
