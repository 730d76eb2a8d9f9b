// The scenario window's "Measurements" tab: the patient's measured voids, cumulative urine,
// bladder and whole-body activities as tables that take rows pasted from a spreadsheet, the fit
// of the window's scenario to them (library/measurements_file), measured against model for each
// kind with the voids marked, the fit's summary, "Use the fitted kinetics" and "Save to my
// library".
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "library/measurements_file.h"
#include "library/scenario_document.h"
#include "library/workbench.h"

class QChartView;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace orvane {

class MeasurementsTab : public QWidget {
    Q_OBJECT
public:
    // Fits with this workbench's data; the workbench must outlive the tab.
    explicit MeasurementsTab(const Workbench& workbench, QWidget* parent = nullptr);

    // Shows a file's sections (nullopt: empty tables and the default options) and forgets the
    // last fit.
    void setSections(const std::optional<MeasurementSections>& sections);
    // The sections as the tables and options give them; nullopt when no table has a row.
    // Throws ScenarioError naming the cell's key path ("measurements.voids[1].activity").
    std::optional<MeasurementSections> sections() const;
    // The scenario of the window's fields, which Fit fits; nullopt while they hold an error
    // (Fit and "Use the fitted kinetics" then refuse rather than use an older scenario).
    void setScenario(const std::optional<ScenarioInput>& input) { input_ = input; }

    // Fits the scenario to the tables; false (the reason shown) when refused or when the fit
    // does not converge.
    bool fit();
    // The last converged fit since the tables were loaded, or null.
    const ScenarioFit* outcome() const { return outcome_ ? &*outcome_ : nullptr; }

signals:
    // "Use the fitted kinetics": the window's scenario with the fitted kinetics as its own.
    void useFitted(const ScenarioDocument& document);

private:
    QTableWidget* addTable(const char* name, const QStringList& columns);
    void paste(QTableWidget* table);
    void keepSpareRow(QTableWidget* table);
    void forget(const QString& message);
    void showOutcome();
    void plot();
    bool eventFilter(QObject* watched, QEvent* event) override;

    const Workbench& workbench_;
    QTabWidget* kinds_;
    QTableWidget* voids_;
    QTableWidget* cumulativeUrine_;
    QTableWidget* bladder_;
    QTableWidget* wholeBody_;
    QComboBox* components_;
    QSpinBox* samples_;
    QPushButton* fitButton_;
    QPushButton* useButton_;
    QPushButton* saveButton_;
    QLabel* message_;
    std::vector<QChartView*> charts_;  // one per kind, in MeasurementKind order
    QPlainTextEdit* summary_;

    MeasurementSections loaded_;  // what the tables do not show (interval, seed, fill rate)
    std::optional<ScenarioInput> input_;
    std::optional<ScenarioFit> outcome_;
    std::vector<double> voidTimes_;  // of the fitted scenario, min
};

}  // namespace orvane
