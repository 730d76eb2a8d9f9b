#include "gui/scenario/run_controls.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "gui/common/window_support.h"

namespace orvane {
namespace {
constexpr int kSteps = 1000;  // the bar's resolution
}

RunControls::RunControls(const QString& runText, const QString& prefix, QWidget* parent)
    : QWidget(parent) {
    run_ = named(new QPushButton(runText), prefix + QStringLiteral("Run"));
    cancel_ = named(new QPushButton(QStringLiteral("Cancel")), prefix + QStringLiteral("Cancel"));
    cancel_->setEnabled(false);
    progress_ = named(new QProgressBar, prefix + QStringLiteral("Progress"));
    progress_->setRange(0, kSteps);
    progress_->setValue(0);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(run_);
    layout->addWidget(cancel_);
    layout->addWidget(progress_, 1);

    poll_ = new QTimer(this);
    poll_->setInterval(100);
    connect(poll_, &QTimer::timeout, this, [this] {
        if (const std::optional<double> done = done_ ? done_() : std::nullopt)
            progress_->setValue(static_cast<int>(kSteps * std::clamp(*done, 0.0, 1.0)));
    });
    connect(run_, &QPushButton::clicked, this, &RunControls::runClicked);
    connect(cancel_, &QPushButton::clicked, this, &RunControls::cancelClicked);
}

void RunControls::started(std::function<std::optional<double>()> done) {
    done_ = std::move(done);
    run_->setEnabled(false);
    cancel_->setEnabled(true);
    progress_->setValue(0);
    poll_->start();
}

void RunControls::ended(bool completed) {
    poll_->stop();
    done_ = nullptr;
    run_->setEnabled(true);
    cancel_->setEnabled(false);
    progress_->setValue(completed ? kSteps : 0);
}

}  // namespace orvane
