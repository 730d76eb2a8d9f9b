#include "gui/scenario/cohort_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>

#include "gui/common/window_support.h"
#include "gui/scenario/run_controls.h"
#include "library/batch_file.h"
#include "report/fit_report.h"
#include "report/uncertainty_report.h"

namespace orvane {

// One run in flight; shared with its thread so that either may finish first.
struct CohortRun {
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    CohortFileRun request;
    CohortFileOutcome outcome;
    std::string error;
};

namespace {

bool isCsv(const QString& path) {
    return QFileInfo(path).suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0;
}

}  // namespace

CohortDialog::CohortDialog(Module1& module, const LibraryFiles& libraries, QWidget* parent)
    : QWidget(parent, Qt::Window),
      module_(module),
      libraries_(libraries),
      workbench_(module.standardData(), libraries) {
    setObjectName(QStringLiteral("cohortWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Run cohort"));

    input_ = named(new QLineEdit, QStringLiteral("cohortInput"));
    input_->setPlaceholderText(QStringLiteral("JSON Lines (one scenario a line) or CSV"));
    template_ = named(new QLineEdit, QStringLiteral("cohortTemplate"));
    template_->setPlaceholderText(
        QStringLiteral("for a CSV: the scenario file each row overrides"));
    auto* browseInput =
        named(new QPushButton(QStringLiteral("Browse...")), QStringLiteral("cohortBrowseInput"));
    auto* browseTemplate =
        named(new QPushButton(QStringLiteral("Browse...")), QStringLiteral("cohortBrowseTemplate"));
    controls_ = new RunControls(QStringLiteral("Run and save..."), QStringLiteral("cohort"));
    message_ = named(new QLabel, QStringLiteral("cohortMessage"));
    message_->setWordWrap(true);

    auto* inputRow = new QHBoxLayout;
    inputRow->addWidget(input_, 1);
    inputRow->addWidget(browseInput);
    auto* templateRow = new QHBoxLayout;
    templateRow->addWidget(template_, 1);
    templateRow->addWidget(browseTemplate);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Cohort:"), inputRow);
    form->addRow(QStringLiteral("Template:"), templateRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(controls_);
    layout->addWidget(message_);
    resize(560, sizeHint().height());

    connect(browseInput, &QPushButton::clicked, this, &CohortDialog::browseInput);
    connect(browseTemplate, &QPushButton::clicked, this, &CohortDialog::browseTemplate);
    connect(controls_, &RunControls::runClicked, this, &CohortDialog::start);
    connect(controls_, &RunControls::cancelClicked, this, &CohortDialog::cancel);
}

CohortDialog::~CohortDialog() = default;

void CohortDialog::browseInput() {
    const auto& ask = module_.services().exportDialogs.openFileName;
    const QString path =
        ask ? ask(this, QStringLiteral("Open Cohort"), QString(),
                  {QStringLiteral("Cohort (*.jsonl *.csv)"), QStringLiteral("All files (*)")})
            : QString();
    if (!path.isEmpty()) input_->setText(path);
}

void CohortDialog::browseTemplate() {
    const auto& ask = module_.services().exportDialogs.openFileName;
    const QString path = ask ? ask(this, QStringLiteral("Open Template Scenario"), QString(),
                                   {QStringLiteral("Scenario file (*.json)")})
                             : QString();
    if (!path.isEmpty()) template_->setText(path);
}

void CohortDialog::say(const QString& text, bool refusal) {
    message_->setStyleSheet(refusal ? QStringLiteral("color: #b00020") : QString());
    message_->setText(text);
}

void CohortDialog::start() {
    if (run_) return;
    const QString input = input_->text().trimmed();
    const QString base = template_->text().trimmed();
    if (input.isEmpty()) return say(QStringLiteral("Choose a cohort file."), true);
    if (isCsv(input) && base.isEmpty())
        return say(QStringLiteral("A CSV cohort needs a template scenario file."), true);
    const auto& ask = module_.services().exportDialogs.saveFileName;
    const QFileInfo info(input);
    const QString suggested = info.dir().filePath(info.completeBaseName() + "-results.csv");
    const QString output = ask ? ask(this, QStringLiteral("Save Cohort Results"), suggested,
                                     {QStringLiteral("CSV table (*.csv)")})
                               : QString();
    if (output.isEmpty()) return;

    workbench_ = Workbench(module_.standardData(), libraries_);  // no run reads it now
    auto job = std::make_shared<CohortRun>();
    job->request.input = input.toStdString();
    if (isCsv(input)) job->request.templateFile = base.toStdString();
    job->request.output = output.toStdString();
    job->request.cancel = thread_.cancelFlag();
    CohortRun* raw = job.get();  // the thread holds job; progress is called on that thread
    job->request.progress = [raw](const BatchProgress& p) {
        raw->done = p.done;
        raw->total = p.total.value_or(0);
    };
    run_ = job;
    controls_->started([this]() -> std::optional<double> {
        if (!run_ || run_->total == 0) return std::nullopt;
        return static_cast<double>(run_->done) / static_cast<double>(run_->total);
    });
    say(QStringLiteral("Running the cohort..."), false);
    thread_.start(
        this,
        [this, job] {
            try {
                job->outcome = runCohortFile(workbench_, uncertaintyJson, job->request, fitJson);
            } catch (const std::exception& e) {
                job->error = e.what();
            }
        },
        [this, job] { done(job); });
}

void CohortDialog::cancel() {
    if (run_) thread_.cancel();
}

void CohortDialog::done(std::shared_ptr<CohortRun> job) {
    thread_.join();
    if (job != run_) return;
    run_.reset();
    const CohortFileOutcome& o = job->outcome;
    controls_->ended(job->error.empty() && !o.cancelled && o.written.ok);
    if (!job->error.empty()) {
        say(QString::fromStdString(job->error), true);
    } else if (o.cancelled) {
        say(QStringLiteral("Cancelled; nothing was saved."), true);
    } else if (!o.written.ok) {
        say(QString::fromStdString(o.written.message), true);
    } else {
        say(QStringLiteral("%1 computed, %2 failed; saved %3")
                .arg(o.summary.computed)
                .arg(o.summary.failed)
                .arg(QString::fromStdString(job->request.output.string())),
            o.summary.failed > 0);
    }
    emit finished();
}

}  // namespace orvane
