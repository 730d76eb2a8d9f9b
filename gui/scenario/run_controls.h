// A run off the window's thread, as the cohort dialog and the Uncertainty tab show it: Run and
// Cancel, and a progress bar that follows the run's fraction done while it runs.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QProgressBar;
class QPushButton;
class QTimer;

namespace orvane {

class RunControls : public QWidget {
    Q_OBJECT
public:
    // The buttons and the bar are named <prefix>Run, <prefix>Cancel and <prefix>Progress.
    RunControls(const QString& runText, const QString& prefix, QWidget* parent = nullptr);

    // A run began: Run off, Cancel on, the bar from empty, following done() (0 to 1; nullopt
    // leaves it) ten times a second.
    void started(std::function<std::optional<double>()> done);
    // The run ended: Run on, Cancel off, the bar full when it completed, else empty.
    void ended(bool completed);

signals:
    void runClicked();
    void cancelClicked();

private:
    QPushButton* run_;
    QPushButton* cancel_;
    QProgressBar* progress_;
    QTimer* poll_;
    std::function<std::optional<double>()> done_;
};

}  // namespace orvane
