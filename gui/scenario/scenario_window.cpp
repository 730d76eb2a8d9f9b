#include "gui/scenario/scenario_window.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "engine/atomic_file.h"
#include "engine/numtext.h"
#include "gui/common/file_name.h"
#include "gui/common/menus.h"
#include "gui/scenario/measurements_tab.h"
#include "gui/scenario/scenario_editor.h"
#include "gui/scenario/scenario_plots.h"
#include "gui/scenario/scenario_report.h"
#include "gui/scenario/uncertainty_tab.h"
#include "gui/scenario/void_table.h"
#include "library/measurements_file.h"
#include "library/scenario_file.h"
#include "library/scenario_schema.h"
#include "library/uncertainty_form.h"

namespace orvane {
namespace {

constexpr double kTimeCourseStep = 5;       // min, or longer for a long scenario:
constexpr double kTimeCoursePoints = 2000;  // about as many samples as the plots can show
constexpr int kPngScale = 2;

// The scenario of a document as the front door reads it (one with measurements as its fit
// starts from it: the measured voids its diary, "from_voids" derived); reference patients that
// cannot be read refuse its "patient", as any refused key is refused, instead of escaping the
// window.
ScenarioInput readScenario(const Workbench& workbench, const ScenarioDocument& document) {
    try {
        if (hasFitSections(document))
            return readMeasuredScenario(workbench, document.json(), document.file()).input;
        return workbench.readScenario(document, {schema::kUncertainty});
    } catch (const DataFileError& error) {
        throw ScenarioError(schema::kPatient, error.what());
    }
}

QStringList libraryNames(const Workbench& workbench) {
    QStringList names;
    const std::vector<std::string> choices = workbench.choiceNames();
    for (std::size_t i = kStandardCount; i < choices.size(); ++i)
        names << QString::fromStdString(choices[i]);
    return names;
}

}  // namespace

ScenarioWindow::ScenarioWindow(Module1& module, const LibraryFiles& libraries, QWidget* parent)
    : QWidget(parent, Qt::Window),
      module_(module),
      libraries_(libraries),
      workbench_(std::make_shared<const Workbench>(module.standardData(), libraries)),
      folder_(QDir::currentPath()) {
    setObjectName(QStringLiteral("scenarioWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Orvane: patient scenario"));

    editor_ = new ScenarioEditor(libraryNames(*workbench_));
    editor_->setChoiceOf([this](const std::string& name) {
        const std::optional<std::size_t> index = workbench_->choiceIndex(name);
        return index ? static_cast<int>(*index) : -1;
    });
    auto* editorScroll = new QScrollArea;
    editorScroll->setWidget(editor_);
    editorScroll->setWidgetResizable(true);
    editorScroll->setMinimumWidth(editor_->sizeHint().width() + 24);

    plots_ = new ScenarioPlots;
    dose_ = named(new QLabel, QStringLiteral("scenarioDose"));
    QFont large = dose_->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    dose_->setFont(large);
    dose_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dose_->setWordWrap(true);  // with the activity left and the mGy, wider than a screen
    voids_ = new VoidTableModel(this);
    voidView_ = new VoidTableView(voids_);

    auto* overTime = new QSplitter(Qt::Vertical);
    overTime->addWidget(plots_);
    auto* below = new QWidget;
    auto* belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(4, 4, 4, 4);
    belowLayout->addWidget(dose_);
    warningsLabel_ = named(new QLabel, QStringLiteral("scenarioWarnings"));
    warningsLabel_->setWordWrap(true);
    warningsLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    warningsLabel_->setStyleSheet(QStringLiteral("color: #9a4b00;"));
    warningsLabel_->hide();
    belowLayout->addWidget(warningsLabel_);
    belowLayout->addWidget(voidView_);
    overTime->addWidget(below);
    overTime->setStretchFactor(0, 3);
    overTime->setStretchFactor(1, 1);
    // Tabs, so that further views of the same scenario can join this one.
    tabs_ = named(new QTabWidget, QStringLiteral("scenarioTabs"));
    tabs_->addTab(overTime, QStringLiteral("Bladder over time"));
    uncertainty_ = new UncertaintyTab;
    tabs_->addTab(uncertainty_, QStringLiteral("Uncertainty"));
    measurements_ = new MeasurementsTab(workbench_);
    tabs_->addTab(measurements_, QStringLiteral("Measurements"));
    // The fitted kinetics become the radiopharmaceutical; every other field stays as it is.
    connect(measurements_, &MeasurementsTab::useFitted, this, [this](const ScenarioDocument& d) {
        ScenarioForm form = editor_->form();
        form.radiopharmaceutical = scenarioForm(d).radiopharmaceutical;
        editor_->load(scenarioForm(scenarioDocument(form)));
        recompute();
    });
    connect(measurements_, &MeasurementsTab::edited, this, &ScenarioWindow::recompute);
    connect(uncertainty_, &UncertaintyTab::edited, this, &ScenarioWindow::recompute);
    // Every open window offers an entry saved here (or in any other window) at once.
    connect(measurements_, &MeasurementsTab::librarySaved, &module,
            &Module1::announceLibraryChanged);
    connect(&module, &Module1::libraryChanged, this, &ScenarioWindow::reloadLibrary);

    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(editorScroll);
    split->addWidget(tabs_);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    createMenus();
    layout->setMenuBar(findChild<QMenuBar*>(QStringLiteral("menuBar")));
    resize(1280, 860);

    connect(editor_, &ScenarioEditor::edited, this, &ScenarioWindow::recompute);
}

void ScenarioWindow::createMenus() {
    auto* bar = named(new QMenuBar(this), QStringLiteral("menuBar"));
    QMenu* file = named(bar->addMenu(QStringLiteral("&File")), QStringLiteral("fileMenu"));
    // A command that asks for a file (to read when ending is empty) and hands it to act.
    auto command = [this, file](const char* name, const QString& text, const QString& caption,
                                const QString& ending, const QStringList& filters,
                                bool (ScenarioWindow::*act)(const QString&)) {
        QAction* action = file->addAction(text, this, [=, this] {
            const QString path = askForFile(caption, ending, filters);
            if (!path.isEmpty()) (this->*act)(path);
        });
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    const QStringList json{QStringLiteral("Scenario file (*.json)")};
    command("openScenarioAction", QStringLiteral("&Open scenario..."),
            QStringLiteral("Open Scenario"), QString(), json, &ScenarioWindow::openFile)
        ->setShortcut(QKeySequence::Open);
    command("saveScenarioAction", QStringLiteral("&Save scenario..."),
            QStringLiteral("Save Scenario"), QStringLiteral(".json"), json,
            &ScenarioWindow::saveFile)
        ->setShortcut(QKeySequence::Save);
    file->addSeparator();
    command("exportPlotsAction", QStringLiteral("Export &plots as PNG or SVG..."),
            QStringLiteral("Export Plots"), QStringLiteral(".png"),
            {QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG drawing (*.svg)")},
            &ScenarioWindow::exportPlots);
    command("exportReportAction", QStringLiteral("Export &report as PDF..."),
            QStringLiteral("Export Report"), QStringLiteral(".pdf"),
            {QStringLiteral("PDF document (*.pdf)")}, &ScenarioWindow::exportReport);
    file->addSeparator();
    file->addAction(QStringLiteral("&Close"), QKeySequence::Close, this, &QWidget::close);
    addHelpMenu(bar, this, module_);
}

void ScenarioWindow::tell(const QString& text) {
    module_.services().messageSink(this, text);
}

QString ScenarioWindow::askForFile(const QString& caption, const QString& ending,
                                   const QStringList& filters) {
    const ExportDialogs& dialogs = module_.services().exportDialogs;
    const bool opening = ending.isEmpty();
    const auto& ask = opening ? dialogs.openFileName : dialogs.saveFileName;
    if (!ask) return {};
    const QString base = QString::fromStdString(
        safeFileName(scenario_ ? scenario_->name : std::string(), "scenario"));
    const QString path =
        ask(this, caption, opening ? folder_ : QDir(folder_).filePath(base + ending), filters);
    if (!path.isEmpty()) folder_ = QFileInfo(path).absolutePath();
    return path;
}

void ScenarioWindow::load(const ScenarioDocument& document) {
    editor_->load(scenarioForm(document));
    uncertainty_->setSection(uncertaintyForm(document));
    std::optional<MeasurementSections> sections;
    try {
        sections = readMeasurementSections(document);
    } catch (const ScenarioError&) {  // openFile has told why
    }
    measurements_->setSections(sections);
    recompute();
}

bool ScenarioWindow::openFile(const QString& path) {
    ScenarioDocument document;
    try {
        document = ScenarioDocument::parse(readScenarioText(path.toStdString()));
        // The uncertainty tab reads its section.
        readScenario(*workbench_, document);
    } catch (const ScenarioFileError& error) {
        tell(QString::fromStdString(error.what()));
        return false;
    } catch (const ScenarioError& error) {
        tell(QStringLiteral("%1: %2").arg(path, QString::fromStdString(error.what())));
        return false;
    }
    load(document);
    setWindowTitle(QStringLiteral("Orvane: patient scenario, ") + QFileInfo(path).fileName());
    return true;
}

ScenarioDocument ScenarioWindow::document() const {
    const ScenarioForm form = editor_->form();
    std::optional<MeasurementSections> sections = measurements_->sections();
    if (sections) sections->fillRateFromVoids = form.fromVoids;
    const ScenarioDocument fields =
        scenarioDocument(form).with(schema::kUncertainty, uncertainty_->section());
    return withMeasurementSections(fields, sections);
}

void ScenarioWindow::reloadLibrary() {
    workbench_ = std::make_shared<const Workbench>(module_.standardData(), libraries_);
    measurements_->setWorkbench(workbench_);
    editor_->setLibraryNames(libraryNames(*workbench_));
    recompute();
}

void ScenarioWindow::recompute() {
    const ScenarioDocument document = scenarioDocument(editor_->form());
    try {
        const ScenarioDocument whole = this->document();
        measurements_->setDocument(whole);
        ScenarioInput input = readScenario(*workbench_, whole);
        Scenario& scenario = input.scenario;
        const QuadratureRule rule{module_.standardData().tables.quadratureNodes,
                                  module_.standardData().tables.quadratureWeights};
        // Every void is sampled anyway; between them a few thousand points are plenty to plot.
        const double end = scenario.endTime.value_or(defaultEndTime(scenario.radiopharmaceutical));
        ScenarioResult result =
            computeScenario(scenario, rule, std::max(kTimeCourseStep, end / kTimeCoursePoints));
        editor_->clearMarks();
        const auto& patient = scenario.origin.patient;
        editor_->setPatientValues(patient ? patient->values : std::vector<SourcedInput>{});
        warnings_ = workbench_->scenarioWarnings(input, result);
        uncertainty_->setScenario(document, scenario, rule);
        scenario_ = std::move(scenario);
        result_ = std::move(result);
    } catch (const ScenarioError& error) {
        // The refused field is marked; the plots keep the last scenario that was accepted,
        // and its dose says that it is not the editor's.
        editor_->markInvalid(error.path(), error.reason());
        // A refused age or sex gives no values.
        if (error.path().rfind(schema::kPatient, 0) == 0) editor_->setPatientValues({});
        measurements_->setDocument(std::nullopt);
        uncertainty_->clearScenario();
        if (scenario_) {
            dose_->setText(doseText_ +
                           QStringLiteral("   (out of date: the editor shows an error)"));
            dose_->setStyleSheet(QStringLiteral("color: gray"));
        }
        return;
    }
    const ScenarioUnits units = scenarioUnits(*scenario_);
    QString dose = QStringLiteral("Bladder-wall dose: %1 mGy/MBq")
                       .arg(QString::fromStdString(formatScientific(result_.dose)));
    if (scenario_->administeredActivity) {
        dose +=
            QStringLiteral("   (%1 mGy for %2 MBq)")
                .arg(
                    QString::fromStdString(formatScientific(result_.dose * units.doseFactor)),
                    QString::fromStdString(formatSignificant(*scenario_->administeredActivity, 6)));
    }
    // What is still in the bladder or on its way at the end is not in the dose: said beside it.
    dose += QStringLiteral("   Activity left at the end: %1 % (not in the dose)")
                .arg(QString::fromStdString(formatSignificant(100 * result_.activityLeft, 3)));
    doseText_ = dose;
    dose_->setText(dose);
    dose_->setStyleSheet(QString());
    QStringList warned;
    for (const Warning& warning : warnings_) warned << QString::fromStdString(warning.message);
    warningsLabel_->setText(warned.join(QLatin1Char('\n')));
    warningsLabel_->setVisible(!warned.isEmpty());
    plots_->show(*scenario_, result_);
    voids_->setVoids(result_.voids, units.activityFactor, units.activityUnit);
}

bool ScenarioWindow::writeBytes(const QString& path, const QByteArray& bytes, const char* what) {
    const WriteOutcome outcome = writeFileAtomically(
        path.toStdString(), std::string_view(bytes.constData(), bytes.size()), what);
    if (!outcome.ok) tell(QString::fromStdString(outcome.message));
    return outcome.ok;
}

bool ScenarioWindow::saveFile(const QString& path) {
    // What the front door refuses is not saved: checked again here, since an edit of the
    // uncertainty table or of the measurements may have come after the last recompute.
    recompute();
    if (!editor_->message().isEmpty()) {
        tell(QStringLiteral("The scenario is not saved: ") + editor_->message());
        return false;
    }
    return writeBytes(path, QByteArray::fromStdString(document().text()), "the scenario file");
}

bool ScenarioWindow::exportPlots(const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(plots_->size());
        svg.setViewBox(QRect(QPoint(0, 0), plots_->size()));
        svg.setTitle(windowTitle());
        QPainter painter(&svg);
        plots_->renderWithoutReadout(painter);
    } else {
        QImage image(plots_->size() * kPngScale, QImage::Format_RGB32);
        image.setDevicePixelRatio(kPngScale);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            plots_->renderWithoutReadout(painter);
        }
        image.save(&buffer, "PNG");
    }
    return writeBytes(path, bytes, "the plots");
}

bool ScenarioWindow::exportReport(const QString& path) {
    if (!scenario_) return false;
    std::optional<UncertaintyPage> page;
    if (uncertainty_->outcome()) {
        page = UncertaintyPage{[this](QPainter& painter, const QRectF& area) {
                                   uncertainty_->renderCharts(painter, area);
                               },
                               uncertainty_->statisticsLines()};
    }
    const QByteArray bytes = scenarioReportPdf(*scenario_, result_, warnings_, *plots_,
                                               windowTitle(), page ? &*page : nullptr);
    return writeBytes(path, bytes, "the report");
}

}  // namespace orvane
