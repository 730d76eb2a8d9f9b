// The scenario window: the editor on the left, the bladder over time on the right (plots, the
// dose in large type, the void table), recomputed on every edit. Opens and saves scenario
// files, exports the plots as PNG or SVG and the scenario as a one-page PDF report.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "engine/scenario.h"
#include "engine/warning.h"
#include "gui/common/module1.h"
#include "library/scenario_form.h"
#include "library/workbench.h"

class QLabel;
class QTabWidget;

namespace orvane {

class MeasurementsTab;
class ScenarioEditor;
class ScenarioPlots;
class UncertaintyTab;
class VoidTableModel;
class VoidTableView;

class ScenarioWindow : public QWidget {
    Q_OBJECT
public:
    // Offers and resolves what a workbench of the module's data and these library files
    // offers, as every other door does.
    explicit ScenarioWindow(Module1& module, const LibraryFiles& libraries = {},
                            QWidget* parent = nullptr);

    // Shows a scenario document in the editor (newScenarioDocument, a file's) and computes it.
    void load(const ScenarioDocument& document);
    // Reads a scenario file; a file that cannot be read or is refused is reported and the
    // window keeps what it shows. True when the file was loaded.
    bool openFile(const QString& path);
    // Writes the shown scenario, atomically; refused input is not saved. True when written.
    bool saveFile(const QString& path);
    // Reads the libraries anew (after an entry was saved) and offers their entries; the
    // editor's choice stays.
    void reloadLibrary();
    // The plots as PNG, or SVG for a name ending in .svg; the report as PDF. Atomic.
    bool exportPlots(const QString& path);
    bool exportReport(const QString& path);

    // The last scenario computed without a refusal, and its result.
    const std::optional<Scenario>& scenario() const { return scenario_; }
    const ScenarioResult& result() const { return result_; }
    // Its warnings (Workbench::scenarioWarnings), shown next to the dose.
    const std::vector<Warning>& warnings() const { return warnings_; }

private:
    void createMenus();
    void recompute();
    // The scenario file the window shows: the editor's fields, the uncertainty section and the
    // measurements. Throws ScenarioError for a measurement cell that is not a number.
    ScenarioDocument document() const;
    void tell(const QString& text);
    QString askForFile(const QString& caption, const QString& ending, const QStringList& filters);
    bool writeBytes(const QString& path, const QByteArray& bytes, const char* what);

    Module1& module_;
    LibraryFiles libraries_;
    std::shared_ptr<const Workbench> workbench_;  // shared with a fit in flight
    ScenarioEditor* editor_;
    ScenarioPlots* plots_;
    QLabel* dose_;
    QString doseText_;  // the dose of scenario_, as shown while it is the editor's
    QLabel* warningsLabel_;
    VoidTableModel* voids_;
    VoidTableView* voidView_;
    QTabWidget* tabs_;
    UncertaintyTab* uncertainty_;
    MeasurementsTab* measurements_;
    std::optional<Scenario> scenario_;
    ScenarioResult result_;
    std::vector<Warning> warnings_;
    QString folder_;
};

}  // namespace orvane
