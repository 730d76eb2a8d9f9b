#include "gui/results/results_export.h"

#include <QAction>
#include <QChart>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPageLayout>
#include <QPrinter>
#include <QTextEdit>
#include <cstddef>
#include <memory>
#include <utility>

#include "engine/numtext.h"
#include "gui/common/file_name.h"
#include "gui/results/dose_chart.h"
#include "gui/results/export_file.h"
#include "gui/results/form2.h"
#include "gui/results/graph_export.h"
#include "gui/results/picture1.h"
#include "gui/results/schedule_print.h"
#include "report/table_export.h"

namespace orvane {
namespace {

// The exported chart in logical pixels; the PNG holds twice as many.
constexpr QSize kExportedChartSize(820, 540);

}  // namespace

ResultsExport::ResultsExport(Form2& window, Picture1* picture, QTextEdit* table, QTextEdit* report,
                             Module1& module)
    : QObject(&window),
      window_(window),
      picture_(picture),
      table_(table),
      report_(report),
      module_(module),
      folder_(QDir::currentPath()) {
    picture_->setContextMenuPolicy(Qt::ActionsContextMenu);
    addCommand("saveGraphAction", QStringLiteral("Save Graph as PNG or SVG..."),
               {QKeySequence::Save}, [this] { saveGraph(); });
    addCommand("copyTableAction", QStringLiteral("Copy Dose Table"),
               {QKeySequence::Copy, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
               [this] { copyTable(); });
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    picture_->addAction(separator);
    addCommand("printAction", QStringLiteral("Print..."), {QKeySequence::Print},
               [this] { print(); });
    addCommand("saveAllPdfAction", QStringLiteral("Save All Schedules as PDF..."),
               {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)}, [this] { savePdf(true); });
    addCommand("saveShownPdfAction", QStringLiteral("Save Shown Schedule as PDF..."), {},
               [this] { savePdf(false); });
    table_->installEventFilter(this);
    report_->installEventFilter(this);
}

QAction* ResultsExport::addCommand(const char* name, const QString& text,
                                   const QList<QKeySequence>& keys, std::function<void()> command) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, std::move(command));
    // The picture is a child of the window: its actions' shortcuts work anywhere in it.
    picture_->addAction(action);
    return action;
}

bool ResultsExport::eventFilter(QObject* watched, QEvent* event) {
    // Ctrl+C in a text field copies its selected text (the fields are read-only, so they would
    // not claim the key themselves); with nothing selected it is left to the window, where it
    // copies the dose table.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* field = qobject_cast<QTextEdit*>(watched);
        if (field && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            event->setAccepted(field->textCursor().hasSelection());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QString ResultsExport::suggestedPath(const QString& ending, bool withRates) const {
    QString base = QString::fromStdString(
        safeFileName(module_.doseResults() ? module_.doseResults()->parameters.name : std::string(),
                     "bladder-dose"));
    if (withRates) {
        const FillRateSchedule& rates =
            kFillRateSchedules[static_cast<std::size_t>(window_.shownSchedule())];
        auto rate = [](double millilitresPerMinute) {
            QString text = QString::fromStdString(formatUpTo3Decimals(millilitresPerMinute));
            if (text.endsWith(QLatin1Char('.'))) text.chop(1);  // "1." -> "1"
            return text;
        };
        base += QStringLiteral("-%1-%2").arg(rate(rates.dayRate), rate(rates.nightRate));
    }
    return QDir(folder_).filePath(base + ending);
}

QString ResultsExport::title(const std::vector<int>& schedules) const {
    const QString name = QString::fromStdString(module_.doseResults()->parameters.name);
    QString what = QStringLiteral("all three fill-rate schedules");
    if (schedules.size() == 1) {
        what = QString::fromLatin1(kScheduleCaptions[static_cast<std::size_t>(schedules.front())]);
    } else if (schedules.size() < static_cast<std::size_t>(kScheduleCount)) {
        QStringList numbers;
        for (const int schedule : schedules) numbers << QString::number(schedule + 1);
        what = QStringLiteral("fill-rate schedules ") + numbers.join(QStringLiteral(" and "));
    }
    return name.isEmpty() ? QStringLiteral("Bladder dose (mGy/MBq), %1").arg(what)
                          : QStringLiteral("Bladder dose (mGy/MBq), %1, %2").arg(name, what);
}

QString ResultsExport::askForFile(const QString& caption, const QString& suggested,
                                  const QStringList& filters) {
    if (!module_.doseResults() || !module_.services().exportDialogs.saveFileName) return {};
    const QString path =
        module_.services().exportDialogs.saveFileName(&window_, caption, suggested, filters);
    if (!path.isEmpty()) folder_ = QFileInfo(path).absolutePath();
    return path;
}

void ResultsExport::tell(const QString& text) {
    if (const MessageSink& sink = module_.services().messageSink) sink(&window_, text);
}

void ResultsExport::saveGraph() {
    const QString path =
        askForFile(QStringLiteral("Save Graph"), suggestedPath(QStringLiteral(".png"), true),
                   {QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG drawing (*.svg)")});
    if (path.isEmpty()) return;
    const bool svg =
        QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0;
    const int schedule = window_.shownSchedule();
    // The chart that values can be read from, not the window's picture; its own title names
    // the radiopharmaceutical and the schedule.
    const DoseResults& results = *module_.doseResults();
    const GraphPicture picture{[&results, schedule](QPainter& painter, const QRectF& area) {
                                   std::unique_ptr<QChart> chart(makeDoseChart(
                                       results, {{schedule}, {schedule}, DoseScale::FromZero}));
                                   paintChart(*chart, painter, area);
                               },
                               kExportedChartSize,
                               picture_->font(),
                               picture_->logicalDpiX(),
                               title({schedule}),
                               {}};
    const QString failure = writeExportFile(path, "the graph", [&](QIODevice& file) {
        return svg ? writeGraphSvg(picture, file) : writeGraphPng(picture, file);
    });
    if (!failure.isEmpty()) tell(failure);
}

void ResultsExport::copyTable() {
    if (!module_.doseResults()) return;
    const std::string text = doseTableTabSeparated(*module_.doseResults(), window_.shownSchedule());
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void ResultsExport::print() {
    if (!module_.doseResults() || !module_.services().exportDialogs.print) return;
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer);
    // The print dialog makes its "print to file" name from the document's name.
    const QString docTitle = title(schedulesToPrint(QPrinter::AllPages, 0, 1, kScheduleCount));
    printer.setDocName(
        QString::fromStdString(safeFileName(docTitle.toStdString(), "bladder-dose")));
    printer.setFromTo(1, kScheduleCount);
    if (!module_.services().exportDialogs.print(&window_, printer)) return;
    const std::vector<int> schedules = schedulesToPrint(
        printer.printRange(), window_.shownSchedule(), printer.fromPage(), printer.toPage());
    const QString file = printer.outputFileName();
    if (printer.outputFormat() == QPrinter::PdfFormat && !file.isEmpty()) {
        // Printed to a file: written like any other export, so that a failure keeps the old
        // file and says why.
        const QPageLayout layout = printer.pageLayout();
        writePdf(file, schedules, &layout);
        return;
    }
    if (!printSchedules(printer, *module_.doseResults(), schedules, currentPrintFooter())) {
        tell(QStringLiteral("The results could not be printed."));
    }
}

void ResultsExport::savePdf(bool allSchedules) {
    const QString path = askForFile(allSchedules ? QStringLiteral("Save All Schedules as PDF")
                                                 : QStringLiteral("Save Shown Schedule as PDF"),
                                    allSchedules ? suggestedPath(QStringLiteral("-all.pdf"), false)
                                                 : suggestedPath(QStringLiteral(".pdf"), true),
                                    {QStringLiteral("PDF document (*.pdf)")});
    if (path.isEmpty()) return;
    const std::vector<int> schedules =
        schedulesToPrint(allSchedules ? QPrinter::AllPages : QPrinter::CurrentPage,
                         window_.shownSchedule(), 1, kScheduleCount);
    writePdf(path, schedules, nullptr);
}

void ResultsExport::writePdf(const QString& path, const std::vector<int>& schedules,
                             const QPageLayout* layout) {
    const PrintFooter footer = currentPrintFooter();
    const QString docTitle = title(schedules);
    const QString failure = writeExportFile(path, "the PDF", [&](QIODevice& file) {
        return writeSchedulesPdf(file, *module_.doseResults(), schedules, footer, docTitle, layout);
    });
    if (!failure.isEmpty()) tell(failure);
}

}  // namespace orvane
