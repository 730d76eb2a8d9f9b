// The scenario window's "Measurements" tab: the patient's measured voids, cumulative urine,
// bladder and whole-body activities as tables that take rows pasted from a spreadsheet, the fit
// of the window's scenario to them (library/measurements_file), measured against model for each
// kind with the voids marked, the fit's summary, "Use the fitted kinetics" and "Save to my
// library". The fit runs off the window's thread, with progress and Cancel.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "gui/scenario/run_thread.h"
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

struct FitRun;
class RunControls;

class MeasurementsTab : public QWidget {
    Q_OBJECT
public:
    // Fits with this workbench's data and libraries (setWorkbench: after a library changed).
    explicit MeasurementsTab(std::shared_ptr<const Workbench> workbench, QWidget* parent = nullptr);
    ~MeasurementsTab() override;  // cancels a fit and waits for its thread (thread_)
    void setWorkbench(std::shared_ptr<const Workbench> workbench) {
        workbench_ = std::move(workbench);
    }

    // Shows a file's sections (nullopt: empty tables and the default options) and forgets the
    // last fit.
    void setSections(const std::optional<MeasurementSections>& sections);
    // The sections as the tables and options give them; nullopt when no table has a row.
    // Throws ScenarioError naming the cell's key path ("measurements.voids[1].activity").
    std::optional<MeasurementSections> sections() const;
    // The window's scenario file (its fields and every section), which Fit runs through the
    // front door (runScenarioDocument); nullopt while it is refused (Fit and "Use the fitted
    // kinetics" then refuse rather than use an older one).
    void setDocument(const std::optional<ScenarioDocument>& document) { document_ = document; }

    // Starts the fit of the document off the window's thread; false (the reason shown) when
    // there is nothing to fit. finished() tells when it ended.
    bool fit();
    void cancel();
    bool running() const { return run_ != nullptr; }
    // The last converged fit since the tables were loaded, or null.
    const ScenarioFit* outcome() const { return outcome_ ? &*outcome_ : nullptr; }

signals:
    // "Use the fitted kinetics": the window's scenario with the fitted kinetics as its own.
    void useFitted(const ScenarioDocument& document);
    // A table or an option was edited.
    void edited();
    // "Save to my library" wrote the fitted entry.
    void librarySaved();
    // A fit ended: fitted, refused, not converged or cancelled (the message says which).
    void finished();

private:
    QTableWidget* addTable(const char* name, const QStringList& columns);
    void paste(QTableWidget* table);
    void keepSpareRow(QTableWidget* table);
    void forget(const QString& message);
    void refuse(const QString& message);
    void done(std::shared_ptr<FitRun> job);
    void showOutcome();
    void plot();
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::shared_ptr<const Workbench> workbench_;
    QTabWidget* kinds_;
    QTableWidget* voids_;
    QTableWidget* cumulativeUrine_;
    QTableWidget* bladder_;
    QTableWidget* wholeBody_;
    QComboBox* components_;
    QSpinBox* samples_;
    RunControls* controls_;
    QPushButton* useButton_;
    QPushButton* saveButton_;
    QLabel* message_;
    std::vector<QChartView*> charts_;  // one per kind, in MeasurementKind order
    QPlainTextEdit* summary_;

    MeasurementSections loaded_;  // what the tables do not show (interval, seed)
    std::optional<ScenarioDocument> document_;
    std::optional<ScenarioFit> outcome_;
    std::vector<double> voidTimes_;  // of the fitted scenario, min
    std::shared_ptr<FitRun> run_;
    RunThread thread_;  // last: joined before the members the fit uses go
};

}  // namespace orvane
