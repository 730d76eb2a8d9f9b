#include "gui/scenario/uncertainty_tab.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/scenario_uncertainty.h"
#include "gui/common/window_support.h"
#include "gui/scenario/run_controls.h"
#include "gui/scenario/uncertainty_charts.h"
#include "library/uncertainty_file.h"
#include "report/uncertainty_report.h"

namespace orvane {

// One analysis in flight; shared with its thread so that either may finish first.
struct UncertaintyRun {
    std::atomic<std::uint64_t> done{0};
    std::uint64_t samples = 0;
    ScenarioDocument document;  // the scenario it samples, to tell a stale outcome
    std::optional<UncertaintyResult> result;
    std::string error;
};

namespace {

enum Column { PathColumn, KindColumn, ParametersColumn, MinColumn, MaxColumn, ColumnCount };
const QStringList kKinds{QStringLiteral("normal"), QStringLiteral("lognormal"),
                         QStringLiteral("uniform"), QStringLiteral("triangular")};

}  // namespace

UncertaintyTab::UncertaintyTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("uncertaintyTab"));
    vary_ = named(new QComboBox, QStringLiteral("uncertaintyVary"));
    vary_->addItems(
        {QStringLiteral("The distributions in the table"),
         QStringLiteral("Population preset (residual volume, urine output, interval)")});
    samples_ = named(new QSpinBox, QStringLiteral("uncertaintySamples"));
    samples_->setRange(1, static_cast<int>(kMaxSamples));
    samples_->setValue(static_cast<int>(kDefaultSamples));
    seed_ = named(new QLineEdit(QStringLiteral("1")), QStringLiteral("uncertaintySeed"));

    table_ = named(new QTableWidget(0, ColumnCount), QStringLiteral("uncertaintyTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Key path"), QStringLiteral("Distribution"),
                                       QStringLiteral("Parameters"), QStringLiteral("Min"),
                                       QStringLiteral("Max")});
    table_->horizontalHeader()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(ParametersColumn, QHeaderView::Stretch);
    table_->setToolTip(
        QStringLiteral("Parameters: normal \"mean=..., sd=...\", lognormal \"median=..., "
                       "gsd=...\" (without a mean or median the scenario's value is the "
                       "centre), uniform \"lowest, highest\", triangular \"lowest, mode, "
                       "highest\". Min and max reject the samples outside them."));
    auto* addButton =
        named(new QPushButton(QStringLiteral("Add row")), QStringLiteral("uncertaintyAddRow"));
    auto* removeButton = named(new QPushButton(QStringLiteral("Remove row")),
                               QStringLiteral("uncertaintyRemoveRow"));
    controls_ = new RunControls(QStringLiteral("Run"), QStringLiteral("uncertainty"));
    message_ = named(new QLabel, QStringLiteral("uncertaintyMessage"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    histogram_ =
        named(new QChartView(newUncertaintyChart()), QStringLiteral("uncertaintyHistogram"));
    tornado_ = named(new QChartView(newUncertaintyChart()), QStringLiteral("uncertaintyTornado"));
    for (QChartView* view : {histogram_, tornado_}) {
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumHeight(220);
    }
    statistics_ = named(new QPlainTextEdit, QStringLiteral("uncertaintyStatistics"));
    statistics_->setReadOnly(true);
    statistics_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Lines wrap at the edge, as the fit's summary does: the percentiles' line is longer than the
    // tab is wide in a window of usual width, and its last figures went out of view.
    statistics_->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    auto* settings = new QFormLayout;
    settings->addRow(QStringLiteral("Vary:"), vary_);
    auto* counts = new QHBoxLayout;
    counts->addWidget(samples_);
    counts->addWidget(new QLabel(QStringLiteral("Seed:")));
    counts->addWidget(seed_);
    settings->addRow(QStringLiteral("Samples:"), counts);
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(addButton);
    rowButtons->addWidget(removeButton);
    rowButtons->addStretch();
    rowButtons->addWidget(controls_, 1);
    auto* inputs = new QWidget;
    auto* inputLayout = new QVBoxLayout(inputs);
    inputLayout->setContentsMargins(4, 4, 4, 4);
    inputLayout->addLayout(settings);
    inputLayout->addWidget(table_);
    inputLayout->addLayout(rowButtons);
    inputLayout->addWidget(message_);

    auto* resultsView = new QWidget;
    auto* resultsLayout = new QVBoxLayout(resultsView);
    resultsLayout->setContentsMargins(0, 0, 0, 0);
    auto* charts = new QHBoxLayout;
    charts->addWidget(histogram_, 1);
    charts->addWidget(tornado_, 1);
    resultsLayout->addLayout(charts, 3);
    resultsLayout->addWidget(statistics_, 2);

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(inputs);
    split->addWidget(resultsView);
    split->setStretchFactor(1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    connect(vary_, &QComboBox::currentIndexChanged, this, [this](int index) {
        table_->setEnabled(index == 0);
        emit edited();
    });
    connect(addButton, &QPushButton::clicked, this, [this] {
        addRow({}, kKinds[1], {}, {}, {});
        emit edited();
    });
    connect(removeButton, &QPushButton::clicked, this, [this] {
        if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
        emit edited();
    });
    connect(table_, &QTableWidget::itemChanged, this, &UncertaintyTab::edited);
    connect(controls_, &RunControls::runClicked, this, &UncertaintyTab::run);
    connect(controls_, &RunControls::cancelClicked, this, &UncertaintyTab::cancel);
}

UncertaintyTab::~UncertaintyTab() = default;

void UncertaintyTab::addRow(const QString& path, const QString& kind, const QString& parameters,
                            const QString& min, const QString& max) {
    const QSignalBlocker quiet(table_);  // edited() once the row is whole
    const int row = table_->rowCount();
    table_->insertRow(row);
    auto* choice = new QComboBox;
    choice->addItems(kKinds);
    choice->setCurrentIndex(std::max<qsizetype>(0, kKinds.indexOf(kind)));
    table_->setCellWidget(row, KindColumn, choice);
    table_->setItem(row, KindColumn, new QTableWidgetItem);
    for (const auto& [column, text] : {std::pair{PathColumn, path},
                                       {ParametersColumn, parameters},
                                       {MinColumn, min},
                                       {MaxColumn, max}})
        table_->setItem(row, column, new QTableWidgetItem(text));
}

void UncertaintyTab::setSection(const UncertaintyForm& form) {
    cancel();
    table_->setRowCount(0);
    vary_->setCurrentIndex(form.population ? 1 : 0);
    samples_->setValue(static_cast<int>(form.samples));
    seed_->setText(QString::fromStdString(form.seed));
    for (const UncertaintyForm::Row& row : form.rows) {
        addRow(QString::fromStdString(row.path), QString::fromStdString(row.kind),
               QString::fromStdString(row.parameters), QString::fromStdString(row.min),
               QString::fromStdString(row.max));
    }
    outcome_.reset();
    showOutcome();
    clearMarks();
}

UncertaintyForm UncertaintyTab::form() const {
    UncertaintyForm form;
    form.population = vary_->currentIndex() == 1;
    form.samples = static_cast<std::uint64_t>(samples_->value());
    form.seed = seed_->text().toStdString();
    for (int r = 0; r < table_->rowCount(); ++r) {
        auto text = [&](int column) { return table_->item(r, column)->text().toStdString(); };
        const auto* choice = qobject_cast<QComboBox*>(table_->cellWidget(r, KindColumn));
        form.rows.push_back({text(PathColumn), choice->currentText().toStdString(),
                             text(ParametersColumn), text(MinColumn), text(MaxColumn)});
    }
    return form;
}

void UncertaintyTab::setScenario(const ScenarioDocument& document, const Scenario& scenario,
                                 const QuadratureRule& rule) {
    if (!(document == document_) && outcome_) {
        outcome_.reset();
        showOutcome();
    }
    document_ = document;
    scenario_ = scenario;
    rule_ = rule;
}

void UncertaintyTab::clearMarks() {
    message_->clear();
    for (int r = 0; r < table_->rowCount(); ++r)
        for (int c = 0; c < ColumnCount; ++c)
            if (QTableWidgetItem* item = table_->item(r, c)) {
                item->setBackground(QBrush());
                item->setToolTip(QString());
            }
}

void UncertaintyTab::markRow(int row, const QString& text) {
    for (int c = 0; c < ColumnCount; ++c) {
        table_->item(row, c)->setBackground(QColor(255, 200, 200));
        table_->item(row, c)->setToolTip(text);
    }
}

void UncertaintyTab::refuse(const QString& text) {
    message_->setStyleSheet(QStringLiteral("color: #b00000"));
    message_->setText(text);
}

bool UncertaintyTab::run() {
    if (running()) return false;
    clearMarks();
    if (!scenario_) {
        refuse(QStringLiteral("The scenario is refused; mend it before the analysis."));
        return false;
    }
    // The same path twice would collapse into one key of the section: refuse it instead.
    QStringList paths;
    for (int r = 0; r < table_->rowCount() && vary_->currentIndex() == 0; ++r) {
        const QString path = table_->item(r, PathColumn)->text().trimmed();
        if (!path.isEmpty() && paths.contains(path)) {
            const QString at = QStringLiteral("uncertainty.vary[\"%1\"]").arg(path);
            markRow(r, at);
            refuse(QStringLiteral("%1: varies what %1 varies already; vary it once").arg(at));
            return false;
        }
        paths << path;
    }
    const JsonValue section = this->section();
    if (section.isNull()) {
        refuse(QStringLiteral("Nothing is varied: add a row or choose the population preset."));
        return false;
    }
    UncertaintyPlan plan;
    try {
        plan = readUncertaintySection(section, document_, *scenario_);
    } catch (const ScenarioError& error) {
        const QString text = QString::fromStdString(error.what());
        const std::string prefix = "uncertainty.vary[\"";
        if (error.path().rfind(prefix, 0) == 0) {
            const std::string rest = error.path().substr(prefix.size());
            const QString path = QString::fromStdString(rest.substr(0, rest.find("\"]")));
            for (int r = 0; r < table_->rowCount(); ++r)
                if (table_->item(r, PathColumn)->text().trimmed() == path) markRow(r, text);
        }
        refuse(text);
        return false;
    }
    plan.options.threads = defaultSamplingThreads(plan.options.samples);
    auto job = std::make_shared<UncertaintyRun>();
    job->samples = plan.options.samples;
    job->document = document_;
    plan.options.done = &job->done;
    plan.options.cancel = thread_.cancelFlag();
    inputs_ = plan.inputs;
    options_ = plan.options;
    run_ = job;
    controls_->started([this]() -> std::optional<double> {
        if (!run_ || run_->samples == 0) return std::nullopt;
        return static_cast<double>(run_->done) / static_cast<double>(run_->samples);
    });
    message_->setStyleSheet(QString());
    message_->setText(QStringLiteral("Sampling %1 scenarios...").arg(plan.options.samples));
    thread_.start(
        this,
        [this, job, scenario = *scenario_, rule = rule_, plan = std::move(plan)] {
            try {
                job->result =
                    runScenarioUncertainty(scenario, rule, plan.keys, plan.inputs, plan.options);
            } catch (const UncertaintyCancelled&) {
                job->error = "Cancelled.";
            } catch (const std::exception& e) {
                job->error = std::string("uncertainty: ") + e.what();
            }
        },
        [this, job] { done(job); });
    return true;
}

void UncertaintyTab::cancel() {
    if (run_) thread_.cancel();
}

bool UncertaintyTab::running() const {
    return run_ != nullptr;
}

void UncertaintyTab::done(std::shared_ptr<UncertaintyRun> job) {
    thread_.join();
    if (job != run_) return;
    run_.reset();
    const bool current = job->result && job->document == document_;
    controls_->ended(current);
    if (!job->result) {
        refuse(QString::fromStdString(job->error));
    } else if (!current) {
        refuse(QStringLiteral("The scenario changed during the run; run again."));
    } else {
        message_->clear();
        outcome_ = std::move(job->result);
        showOutcome();
    }
    emit finished();
}

void UncertaintyTab::renderCharts(QPainter& painter, const QRectF& area) const {
    const QSizeF paper(480, 340);  // px: the charts' fonts stay readable at half a page's width
    const double scale =
        std::min(area.width() / (2 * paper.width()), area.height() / paper.height());
    for (int i = 0; i < 2; ++i) {
        QChart* chart = (i == 0 ? histogram_ : tornado_)->chart();
        // Laid out at the paper size for the drawing, then back at the size on screen.
        const QSizeF shown = chart->size();
        chart->resize(paper);
        chart->layout()->activate();
        chart->scene()->render(&painter,
                               QRectF(area.left() + i * paper.width() * scale, area.top(),
                                      paper.width() * scale, paper.height() * scale),
                               QRectF(chart->pos(), paper));
        chart->resize(shown);
        chart->layout()->activate();
    }
}

QStringList UncertaintyTab::statisticsLines() const {
    return statistics_->toPlainText().split(QLatin1Char('\n'));
}

void UncertaintyTab::showOutcome() {
    QChart* histogram = newUncertaintyChart();
    QChart* tornado = newUncertaintyChart();
    // A view gives up the chart it showed before without deleting it.
    for (const auto& [view, chart] :
         {std::pair{histogram_, histogram}, std::pair{tornado_, tornado}}) {
        QChart* previous = view->chart();
        view->setChart(chart);
        delete previous;
    }
    statistics_->clear();
    if (!outcome_) return;
    const UncertaintyResult& r = *outcome_;
    statistics_->setPlainText(QString::fromStdString(uncertaintyText(inputs_, options_, r)));

    drawDoseHistogram(*histogram, r);
    drawTornado(*tornado, r);
}

}  // namespace orvane
