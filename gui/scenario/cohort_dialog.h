// File > Run cohort: a JSON Lines cohort, or a CSV over a template scenario, computed off the
// window's thread with a progress bar and Cancel, the results saved as orvane-cli --batch --csv
// writes them (library/batch_file.h), atomically.
#pragma once

#include <QWidget>
#include <memory>

#include "gui/common/module1.h"
#include "gui/scenario/run_thread.h"
#include "library/workbench.h"

class QLabel;
class QLineEdit;

namespace orvane {

struct CohortRun;
class RunControls;

class CohortDialog : public QWidget {
    Q_OBJECT
public:
    CohortDialog(Module1& module, const LibraryFiles& libraries, QWidget* parent = nullptr);
    // Stops a run and waits for its thread; nothing is saved then.
    ~CohortDialog() override;

    bool running() const { return run_ != nullptr; }

signals:
    // A run ended: saved, cancelled or failed (the message says which).
    void finished();

private:
    void browseInput();
    void browseTemplate();
    void start();
    void cancel();
    void done(std::shared_ptr<CohortRun> job);
    void say(const QString& text, bool refusal);

    Module1& module_;
    LibraryFiles libraries_;
    Workbench workbench_;  // read anew for each run: an entry saved meanwhile is offered
    QLineEdit* input_;
    QLineEdit* template_;
    RunControls* controls_;
    QLabel* message_;
    std::shared_ptr<CohortRun> run_;
    RunThread thread_;  // last: joined before the workbench the run reads goes
};

}  // namespace orvane
