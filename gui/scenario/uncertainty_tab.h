// The scenario window's "Uncertainty" tab: the varied keys and their distributions as an
// editable table (or the population preset), a run off the UI thread with progress and
// Cancel, and the outcome as a histogram of the dose with its percentiles, a tornado chart and
// the statistics.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "engine/sampling.h"
#include "engine/scenario.h"
#include "gui/scenario/run_thread.h"
#include "library/scenario_document.h"
#include "library/uncertainty_form.h"

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPlainTextEdit;
class QRectF;
class QSpinBox;
class QTableWidget;

namespace orvane {

struct UncertaintyRun;
class RunControls;

class UncertaintyTab : public QWidget {
    Q_OBJECT
public:
    explicit UncertaintyTab(QWidget* parent = nullptr);
    ~UncertaintyTab() override;  // cancels a run and waits for its thread (thread_)

    // Shows a file's "uncertainty" section (uncertaintyForm); forgets the last outcome.
    void setSection(const UncertaintyForm& form);
    // The form as the table gives it, and its section for the scenario file (null when
    // nothing is varied).
    UncertaintyForm form() const;
    JsonValue section() const { return uncertaintySection(form()); }
    // The scenario (and its document, for the keys it gives) that Run samples.
    void setScenario(const ScenarioDocument& document, const Scenario& scenario,
                     const QuadratureRule& rule);
    // No scenario to sample (the window's is refused): Run refuses until setScenario.
    void clearScenario() { scenario_.reset(); }

    // Checks the table and starts the analysis; false (with the row marked) when refused.
    bool run();
    void cancel();
    bool running() const;

    // The last finished analysis (null when none since the table was loaded).
    const UncertaintyResult* outcome() const { return outcome_ ? &*outcome_ : nullptr; }
    // Draws the histogram and the tornado side by side into area, laid out at a size legible
    // on paper whatever their size on screen.
    void renderCharts(QPainter& painter, const QRectF& area) const;
    // The statistics as shown, line by line.
    QStringList statisticsLines() const;

signals:
    void finished();
    // The section changed: rows added, removed or edited, or the preset chosen.
    void edited();

private:
    void addRow(const QString& path, const QString& kind, const QString& parameters,
                const QString& min, const QString& max);
    void clearMarks();
    void markRow(int row, const QString& text);
    void refuse(const QString& text);
    void done(std::shared_ptr<UncertaintyRun> run);
    void showOutcome();

    QComboBox* vary_;
    QSpinBox* samples_;
    QLineEdit* seed_;
    QTableWidget* table_;
    RunControls* controls_;
    QLabel* message_;
    QChartView* histogram_;
    QChartView* tornado_;
    QPlainTextEdit* statistics_;

    ScenarioDocument document_;
    std::optional<Scenario> scenario_;
    QuadratureRule rule_;
    std::shared_ptr<UncertaintyRun> run_;
    std::vector<UncertainInput> inputs_;
    UncertaintyOptions options_;
    std::optional<UncertaintyResult> outcome_;
    RunThread thread_;  // last: joined before the members the run uses go
};

}  // namespace orvane
