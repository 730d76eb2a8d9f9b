#include "gui/scenario/measurements_tab.h"

#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "engine/calculation.h"
#include "engine/numtext.h"
#include "gui/common/window_support.h"
#include "gui/scenario/run_controls.h"
#include "library/scenario_run.h"
#include "report/fit_report.h"

namespace orvane {

// One fit in flight; shared with its thread so that either may finish first.
struct FitRun {
    std::atomic<std::uint64_t> done{0};
    std::uint64_t samples = 0;
    ScenarioDocument document;  // what it fits, to tell a stale outcome
    MeasurementSections sections;
    std::shared_ptr<const Workbench> workbench;  // the thread's own: a reload may replace it
    std::optional<ScenarioOutcome> outcome;
    std::string error;
};
namespace {

constexpr int kKinds = 4;
const char* const kTitles[kKinds] = {"Activity voided (MBq at the void)",
                                     "Cumulative urine (fraction of the administered)",
                                     "Bladder (MBq)", "Whole body (MBq)"};

QString number(const std::optional<double>& value) {
    return value ? QString::fromStdString(formatShortest(*value)) : QString();
}

// One row of a table read as numbers; an empty cell is nullopt, any other text must be a
// number. Throws ScenarioError at "<list>[index].<key>".
struct RowReader {
    const QTableWidget* table;
    int row;
    std::string path;  // "measurements.voids[2]"

    bool empty() const {
        for (int c = 0; c < table->columnCount(); ++c)
            if (!text(c).empty()) return false;
        return true;
    }
    std::string text(int column) const {
        const QTableWidgetItem* item = table->item(row, column);
        return item ? std::string(trimBlanks(item->text().trimmed().toStdString())) : std::string();
    }
    std::optional<double> optional(int column, const char* key) const {
        const std::string cell = text(column);
        if (cell.empty()) return std::nullopt;
        const LeadingNumber read = readLeadingNumber(cell);
        if (!read.found() || read.length != cell.size() || !std::isfinite(read.value))
            throw ScenarioError(path + "." + key, "expected a number, got \"" + cell + "\"");
        return read.value;
    }
    double required(int column, const char* key) const {
        const std::optional<double> value = optional(column, key);
        if (!value) throw ScenarioError(path + "." + key, "missing");
        return *value;
    }
};

// The rows that are not empty, each with its key path in the section's list.
template <typename Read>
void readRows(const QTableWidget* table, const char* list, Read read) {
    int index = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        const RowReader reader{
            table, row, std::string("measurements.") + list + "[" + std::to_string(index) + "]"};
        if (reader.empty()) continue;
        read(reader);
        ++index;
    }
}

void fillValues(QTableWidget* table, const std::vector<MeasuredValue>& values) {
    table->setRowCount(static_cast<int>(values.size()) + 1);
    for (int r = 0; r < static_cast<int>(values.size()); ++r) {
        const MeasuredValue& v = values[static_cast<std::size_t>(r)];
        table->setItem(r, 0, new QTableWidgetItem(number(v.at)));
        table->setItem(r, 1, new QTableWidgetItem(number(v.value)));
        table->setItem(r, 2, new QTableWidgetItem(number(v.sd)));
    }
}

std::vector<MeasuredValue> readValues(const QTableWidget* table, const char* list,
                                      const char* key) {
    std::vector<MeasuredValue> values;
    readRows(table, list, [&](const RowReader& row) {
        values.push_back({row.required(0, "at"), row.required(1, key), row.optional(2, "sd")});
    });
    return values;
}

}  // namespace

MeasurementsTab::MeasurementsTab(std::shared_ptr<const Workbench> workbench, QWidget* parent)
    : QWidget(parent), workbench_(std::move(workbench)) {
    setObjectName(QStringLiteral("measurementsTab"));
    voids_ = addTable("measurementsVoids",
                      {QStringLiteral("at (min)"), QStringLiteral("volume (ml)"),
                       QStringLiteral("activity (MBq)"), QStringLiteral("measured at (min)"),
                       QStringLiteral("sd (MBq)")});
    cumulativeUrine_ =
        addTable("measurementsCumulativeUrine",
                 {QStringLiteral("at (min)"), QStringLiteral("fraction"), QStringLiteral("sd")});
    bladder_ = addTable(
        "measurementsBladder",
        {QStringLiteral("at (min)"), QStringLiteral("activity (MBq)"), QStringLiteral("sd (MBq)")});
    wholeBody_ = addTable(
        "measurementsWholeBody",
        {QStringLiteral("at (min)"), QStringLiteral("activity (MBq)"), QStringLiteral("sd (MBq)")});
    kinds_ = named(new QTabWidget, QStringLiteral("measurementKinds"));
    kinds_->addTab(voids_, QStringLiteral("Voids"));
    kinds_->addTab(cumulativeUrine_, QStringLiteral("Cumulative urine"));
    kinds_->addTab(bladder_, QStringLiteral("Bladder"));
    kinds_->addTab(wholeBody_, QStringLiteral("Whole body"));

    components_ = named(new QComboBox, QStringLiteral("measurementsComponents"));
    components_->addItems({QStringLiteral("auto (lowest AICc)"), QStringLiteral("1"),
                           QStringLiteral("2"), QStringLiteral("3")});
    samples_ = named(new QSpinBox, QStringLiteral("measurementsSamples"));
    samples_->setRange(0, static_cast<int>(kMaxFitSamples));
    samples_->setSingleStep(500);
    controls_ = new RunControls(QStringLiteral("&Fit"), QStringLiteral("measurementsFit"));
    useButton_ = named(new QPushButton(QStringLiteral("&Use the fitted kinetics")),
                       QStringLiteral("measurementsUseFitted"));
    useButton_->setToolTip(
        QStringLiteral("Puts the fitted components into the scenario's radiopharmaceutical as "
                       "its own values, named \"... (fitted)\""));
    saveButton_ = named(new QPushButton(QStringLiteral("Save to my &library")),
                        QStringLiteral("measurementsSaveToLibrary"));
    message_ = named(new QLabel, QStringLiteral("measurementsMessage"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* options = new QHBoxLayout;
    options->addWidget(new QLabel(QStringLiteral("Components:")));
    options->addWidget(components_);
    options->addWidget(new QLabel(QStringLiteral("Interval samples:")));
    options->addWidget(samples_);
    options->addWidget(controls_, 1);

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto* hint = new QLabel(QStringLiteral(
        "Times in min after administration; paste rows from a spreadsheet with Ctrl+V."));
    hint->setWordWrap(true);
    leftLayout->addWidget(hint);
    kinds_->setMinimumWidth(kinds_->tabBar()->sizeHint().width() + 8);  // every kind in view
    leftLayout->addWidget(kinds_);
    auto* plots = named(new QWidget, QStringLiteral("measurementsPlot"));
    auto* grid = new QGridLayout(plots);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int k = 0; k < kKinds; ++k) {
        auto* view = new QChartView;
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumSize(180, 150);
        grid->addWidget(view, k / 2, k % 2);
        charts_.push_back(view);
    }
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(plots);
    split->setStretchFactor(1, 1);

    // The fit's summary across the tab (its columns kept), and what to do with the fit below it.
    summary_ = named(new QPlainTextEdit, QStringLiteral("measurementsSummary"));
    summary_->setReadOnly(true);
    summary_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Every line of a fit of three components, the dose and its interval among them, in view.
    summary_->setMinimumHeight(12 * summary_->fontMetrics().lineSpacing());
    auto* below = new QWidget;
    auto* belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(0, 0, 0, 0);
    belowLayout->addWidget(summary_);
    auto* fitted = new QHBoxLayout;
    fitted->addWidget(useButton_);
    fitted->addWidget(saveButton_);
    fitted->addStretch();
    belowLayout->addLayout(fitted);
    auto* vertical = new QSplitter(Qt::Vertical);
    vertical->addWidget(split);
    vertical->addWidget(below);
    vertical->setStretchFactor(0, 3);
    vertical->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(options);
    layout->addWidget(message_);
    layout->addWidget(vertical, 1);

    connect(controls_, &RunControls::runClicked, this, [this] { fit(); });
    connect(controls_, &RunControls::cancelClicked, this, &MeasurementsTab::cancel);
    const auto changed = [this] {
        forget(QString());
        emit edited();
    };
    connect(components_, &QComboBox::currentIndexChanged, this, changed);
    connect(samples_, &QSpinBox::valueChanged, this, changed);
    connect(useButton_, &QPushButton::clicked, this, [this] {
        if (!document_) {
            refuse(QStringLiteral("The scenario's fields hold an error: mend them first."));
        } else if (outcome_) {
            emit useFitted(withFittedKinetics(outcome_->input.scenario, outcome_->fit));
        }
    });
    connect(saveButton_, &QPushButton::clicked, this, [this] {
        if (!outcome_) return;
        const WriteOutcome saved = saveFittedEntry(*workbench_, *outcome_);
        message_->setStyleSheet(saved.ok ? QString() : QStringLiteral("color: #b00020"));
        message_->setText(saved.ok ? QStringLiteral("Saved to your library as \"%1\".")
                                         .arg(QString::fromStdString(
                                             outcome_->input.scenario.radiopharmaceutical.name))
                                   : QString::fromStdString(saved.message));
        message_->setVisible(true);
        if (saved.ok) emit librarySaved();
    });
    setSections(std::nullopt);
}

MeasurementsTab::~MeasurementsTab() = default;

QTableWidget* MeasurementsTab::addTable(const char* name, const QStringList& columns) {
    auto* table =
        named(new QTableWidget(1, static_cast<int>(columns.size())), QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(columns);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->installEventFilter(this);
    connect(table, &QTableWidget::itemChanged, this, [this, table] {
        keepSpareRow(table);
        forget(QString());
        emit edited();
    });
    return table;
}

bool MeasurementsTab::eventFilter(QObject* watched, QEvent* event) {
    auto* table = qobject_cast<QTableWidget*>(watched);
    if (table && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
        paste(table);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Rows of tab-, semicolon- or comma-separated cells from the current cell on, adding rows.
void MeasurementsTab::paste(QTableWidget* table) {
    const QString text = QGuiApplication::clipboard()->text();
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r?\n")));
    const int top = std::max(0, table->currentRow());
    const int leftColumn = std::max(0, table->currentColumn());
    const QSignalBlocker quiet(table);
    int row = top;
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty()) continue;
        const QChar separator = line.contains(QLatin1Char('\t'))  ? QLatin1Char('\t')
                                : line.contains(QLatin1Char(';')) ? QLatin1Char(';')
                                                                  : QLatin1Char(',');
        const QStringList cells = line.split(separator);
        if (row >= table->rowCount()) table->setRowCount(row + 1);
        for (int c = 0; c < cells.size() && leftColumn + c < table->columnCount(); ++c)
            table->setItem(row, leftColumn + c, new QTableWidgetItem(cells[c].trimmed()));
        ++row;
    }
    keepSpareRow(table);
    forget(QString());
    emit edited();
}

// One empty row at the end to type into.
void MeasurementsTab::keepSpareRow(QTableWidget* table) {
    const int last = table->rowCount() - 1;
    const RowReader reader{table, last, {}};
    if (last < 0 || !reader.empty()) {
        const QSignalBlocker quiet(table);
        table->setRowCount(table->rowCount() + 1);
    }
}

void MeasurementsTab::setSections(const std::optional<MeasurementSections>& sections) {
    loaded_ = sections.value_or(MeasurementSections{});
    const Measurements& m = loaded_.measurements;
    {
        const QSignalBlocker quiet(voids_);
        voids_->clearContents();
        voids_->setRowCount(static_cast<int>(m.voids.size()) + 1);
        for (int r = 0; r < static_cast<int>(m.voids.size()); ++r) {
            const MeasuredVoid& v = m.voids[static_cast<std::size_t>(r)];
            const std::optional<double> cells[] = {v.at, v.volume, v.activity, v.measuredAt, v.sd};
            for (int c = 0; c < 5; ++c)
                voids_->setItem(r, c, new QTableWidgetItem(number(cells[c])));
        }
    }
    const std::pair<QTableWidget*, const std::vector<MeasuredValue>*> lists[] = {
        {cumulativeUrine_, &m.cumulativeUrine}, {bladder_, &m.bladder}, {wholeBody_, &m.wholeBody}};
    for (const auto& [table, values] : lists) {
        const QSignalBlocker quiet(table);
        table->clearContents();
        fillValues(table, *values);
    }
    // The first kind that has points is shown.
    const bool has[] = {!m.voids.empty(), !m.cumulativeUrine.empty(), !m.bladder.empty(),
                        !m.wholeBody.empty()};
    kinds_->setCurrentIndex(static_cast<int>(std::find(has, has + kKinds, true) - has) % kKinds);
    {
        const QSignalBlocker quietComponents(components_), quietSamples(samples_);
        components_->setCurrentIndex(loaded_.options.components);
        samples_->setValue(static_cast<int>(loaded_.options.samples));
    }
    cancel();
    forget(QString());
}

std::optional<MeasurementSections> MeasurementsTab::sections() const {
    MeasurementSections s = loaded_;
    Measurements& m = s.measurements;
    m.voids.clear();
    readRows(voids_, "voids", [&](const RowReader& row) {
        MeasuredVoid v;
        v.at = row.required(0, "at");
        v.volume = row.optional(1, "volume");
        v.activity = row.optional(2, "activity");
        v.measuredAt = row.optional(3, "measured_at");
        v.sd = row.optional(4, "sd");
        m.voids.push_back(v);
    });
    m.cumulativeUrine = readValues(cumulativeUrine_, "cumulative_urine", "fraction");
    m.bladder = readValues(bladder_, "bladder", "activity");
    m.wholeBody = readValues(wholeBody_, "whole_body", "activity");
    if (m.voids.empty() && m.cumulativeUrine.empty() && m.bladder.empty() && m.wholeBody.empty())
        return std::nullopt;
    s.options.components = components_->currentIndex();
    s.options.samples = static_cast<std::uint64_t>(samples_->value());
    return s;
}

void MeasurementsTab::forget(const QString& message) {
    outcome_.reset();
    voidTimes_.clear();
    useButton_->setEnabled(false);
    saveButton_->setEnabled(false);
    message_->setText(message);
    message_->setVisible(!message.isEmpty());
    summary_->setPlainText(QStringLiteral("Not fitted yet: fill the tables and press Fit."));
    plot();
}

bool MeasurementsTab::fit() {
    if (running()) return false;
    try {
        if (!sections()) throw ScenarioError("measurements", "no measured point: fill a table");
    } catch (const ScenarioError& e) {
        refuse(QStringLiteral("Not fitted: ") + QString::fromStdString(e.what()));
        return false;
    }
    if (!document_) {
        refuse(QStringLiteral("The scenario's fields hold an error: mend them to fit."));
        return false;
    }
    forget(QStringLiteral("Fitting..."));
    message_->setStyleSheet(QString());
    auto job = std::make_shared<FitRun>();
    job->document = *document_;
    job->sections = *sections();
    job->samples = job->sections.options.samples;
    job->workbench = workbench_;
    run_ = job;
    controls_->started([this]() -> std::optional<double> {
        if (!run_ || run_->samples == 0) return std::nullopt;
        return static_cast<double>(run_->done) / static_cast<double>(run_->samples);
    });
    ScenarioRunOptions options;
    options.fitDone = &job->done;
    options.cancel = thread_.cancelFlag();
    thread_.start(
        this,
        [this, job, options] {
            try {
                job->outcome = runScenarioDocument(*job->workbench, job->document, options);
            } catch (const UncertaintyCancelled&) {
                job->error = "Cancelled.";
            } catch (const std::exception& e) {
                job->error = std::string("Not fitted: ") + e.what();
            }
        },
        [this, job] { done(job); });
    return true;
}

void MeasurementsTab::cancel() {
    if (run_) thread_.cancel();
}

void MeasurementsTab::done(std::shared_ptr<FitRun> job) {
    thread_.join();
    if (job != run_) return;
    run_.reset();
    const bool current = job->outcome && document_ && job->document == *document_;
    controls_->ended(current);
    if (!job->outcome) {
        refuse(QString::fromStdString(job->error));
    } else if (!current) {
        refuse(QStringLiteral("The scenario changed during the fit; fit again."));
    } else {
        ScenarioOutcome& o = *job->outcome;
        forget(QString());
        for (const ScenarioVoid& v : o.result.voids) voidTimes_.push_back(v.time);
        outcome_ = ScenarioFit{std::move(o.input), std::move(job->sections.measurements),
                               o.fitOptions, std::move(*o.fit), job->sections.fillRateFromVoids};
        showOutcome();
    }
    emit finished();
}

void MeasurementsTab::refuse(const QString& message) {
    forget(message);
    message_->setStyleSheet(QStringLiteral("color: #b00020"));
}

void MeasurementsTab::showOutcome() {
    summary_->setPlainText(QString::fromStdString(fitText(outcome_->fit, outcome_->options)));
    useButton_->setEnabled(true);
    saveButton_->setEnabled(true);
    plot();
}

// For each kind with points: measured (circles, with their sd as bars) against the model
// (squares) over time in hours, the fitted scenario's voids as dashed verticals.
void MeasurementsTab::plot() {
    const QColor measuredColor(0x1f, 0x4e, 0x9a), modelColor(0xd9, 0x5f, 0x02),
        voidColor(0x99, 0x99, 0x99);
    std::vector<MeasurementPoint> points;
    if (outcome_) points = measurementPoints(outcome_->measurements, outcome_->input.scenario);
    for (int k = 0; k < kKinds; ++k) {
        auto* chart = new QChart;
        chart->setTitle(QString::fromLatin1(kTitles[k]));
        // A view gives up the chart it showed before without deleting it.
        QChart* previous = charts_[static_cast<std::size_t>(k)]->chart();
        charts_[static_cast<std::size_t>(k)]->setChart(chart);
        delete previous;
        auto* measured = new QScatterSeries;
        measured->setName(QStringLiteral("measured ± sd"));
        measured->setMarkerSize(9);
        measured->setColor(measuredColor);
        measured->setBorderColor(measuredColor);
        auto* model = new QScatterSeries;
        model->setName(QStringLiteral("model"));
        model->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        model->setMarkerSize(8);
        model->setColor(modelColor);
        model->setBorderColor(modelColor);
        std::vector<QLineSeries*> bars;
        double top = 0.0, last = 0.0;
        const std::vector<FitResidual> none;
        for (const FitResidual& r : outcome_ ? outcome_->fit.residuals : none) {
            if (static_cast<int>(r.kind) != k) continue;
            const auto point = std::find_if(points.begin(), points.end(), [&](const auto& p) {
                return p.kind == r.kind && p.index == r.index;
            });
            const double sd = point != points.end() ? point->sd : 0.0;
            const double hours = r.at / 60;
            measured->append(hours, r.measured);
            auto* bar = new QLineSeries;
            bar->setPen(QPen(measuredColor, 1.5));
            bar->append(hours, std::max(0.0, r.measured - sd));
            bar->append(hours, r.measured + sd);
            bars.push_back(bar);
            if (std::isfinite(r.model)) model->append(hours, r.model);
            top = std::max({top, r.measured + sd, std::isfinite(r.model) ? r.model : 0.0});
            last = std::max(last, hours);
        }
        charts_[static_cast<std::size_t>(k)]->setVisible(!outcome_ || measured->count() > 0);
        auto* x = new QValueAxis;
        x->setTitleText(QStringLiteral("time after administration (h)"));
        x->setRange(0, last > 0 ? last * 1.08 : 24);
        x->applyNiceNumbers();
        x->setLabelFormat(QStringLiteral("%g"));
        auto* y = new QValueAxis;
        y->setRange(0, top > 0 ? top * 1.1 : 1);
        y->applyNiceNumbers();
        y->setLabelFormat(QStringLiteral("%g"));
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        auto add = [&](QAbstractSeries* series, bool inLegend) {
            chart->addSeries(series);
            series->attachAxis(x);
            series->attachAxis(y);
            if (!inLegend) chart->legend()->markers(series).value(0)->setVisible(false);
        };
        bool first = true;
        for (double at : voidTimes_) {
            if (at / 60 > x->max()) break;
            auto* mark = new QLineSeries;
            mark->setName(QStringLiteral("void"));
            QPen pen(voidColor);
            pen.setStyle(Qt::DashLine);
            mark->setPen(pen);
            mark->append(at / 60, 0);
            mark->append(at / 60, y->max());
            add(mark, first);
            first = false;
        }
        for (QLineSeries* bar : bars) add(bar, false);
        add(measured, true);
        add(model, true);
    }
}

}  // namespace orvane
