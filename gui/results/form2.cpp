#include "gui/results/form2.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/model.h"
#include "engine/numtext.h"
#include "engine/table_cell.h"
#include "gui/common/menus.h"
#include "gui/results/dose_chart_window.h"
#include "gui/results/picture1.h"
#include "gui/results/results_controls.h"
#include "gui/results/results_export.h"
#include "library/scenario_file.h"
#include "report/report.h"

namespace orvane {
namespace {

// The labelled T0 values: the first, 16 blanks, the second, then 18 blanks before each other.
QString columnCaptions() {
    QString caption;
    for (int t = 0; t < kT0Count; ++t) {
        if (t > 0) caption += QString(t == 1 ? 16 : 18, QLatin1Char(' '));
        caption += QString::fromStdString(formatWhole(kLabelledT0Grid[t]));
    }
    return caption;
}

// The labelled V0 values, one caption per row of doses (the first followed by two blanks).
QString rowCaption(int v0Index) {
    return QString::fromStdString(formatWhole(kLabelledV0Grid[v0Index])) +
           QString(v0Index == 0 ? 2 : 0, QLatin1Char(' '));
}

struct RowCaption {
    const char* name;
    int left, top, width, height;
};
constexpr std::array<RowCaption, kV0Count> kRowCaptions{{{"Label5", 600, 4440, 255, 255},
                                                         {"Label6", 600, 4680, 375, 375},
                                                         {"Label7", 480, 4920, 375, 375},
                                                         {"Label8", 480, 5160, 495, 375},
                                                         {"Label9", 480, 5400, 495, 375},
                                                         {"Label10", 480, 5640, 375, 375},
                                                         {"Label11", 480, 5880, 375, 375}}};

constexpr int kTableColumns = 9;
constexpr int kValueWidth = 8;    // characters of one "scientific" dose
constexpr int kColumnPitch = 10;  // a value and its two blanks
constexpr int kTableLineLength = 88;
constexpr int kRowPitchTwips = 240;

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* caption = named(new QLabel(text, parent), name);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return caption;
}

QFrame* rule(QWidget* parent, const char* name, QFrame::Shape shape) {
    auto* line = named(new QFrame(parent), name);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    return line;
}

// The dose table and the report show what was computed, which is what Copy, Print and Save
// use: they can be selected and copied, by mouse or keyboard, but not changed.
void showComputedOnly(QTextEdit* field) {
    field->setReadOnly(true);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

constexpr double kReportMargin = 4;

double tabStopPosition(double x, double tabStop) {
    return (std::floor(x / tabStop) + 1) * tabStop;
}

// Width of the widest report line, with tabs expanded to the edit's tab stops.
double reportWidth(const QString& report, const QFont& font, double tabStop) {
    const QFontMetricsF metrics(font);
    double widest = 0;
    for (const QString& line : report.split(QStringLiteral("\r\n"))) {
        double x = 0;
        const QStringList pieces = line.split(QLatin1Char('\t'));
        for (int i = 0; i < pieces.size(); ++i) {
            x += metrics.horizontalAdvance(pieces[i]);
            if (i + 1 < pieces.size()) x = tabStopPosition(x, tabStop);
        }
        widest = std::max(widest, x);
    }
    return widest;
}

// A tab distance at which the values of the report's "Label: <tabs> value" lines start in one
// column, as the report's tabs intend. Each label must clear its stop by some room to spare, as
// drawn text may be a little wider or narrower than measured.
double alignedTabStop(const QString& report, const QFont& font) {
    const QFontMetricsF metrics(font);
    const double spare = 2;
    std::vector<std::pair<double, int>> labelled;  // label width, number of tabs
    for (const QString& line : report.split(QStringLiteral("\r\n"))) {
        const QStringList pieces = line.split(QLatin1Char('\t'));
        if (pieces.size() < 2 || !pieces[0].trimmed().endsWith(QLatin1Char(':'))) continue;
        labelled.emplace_back(metrics.horizontalAdvance(pieces[0]),
                              static_cast<int>(pieces.size()) - 1);
    }
    auto landing = [](double x, int tabs, double tabStop) {
        for (int i = 0; i < tabs; ++i) x = tabStopPosition(x, tabStop);
        return x;
    };
    const double character = metrics.averageCharWidth();
    for (double tabStop = 4 * character; tabStop < 16 * character; tabStop += 0.25) {
        const double column = landing(labelled.front().first, labelled.front().second, tabStop);
        bool aligned = true;
        for (const auto& [width, tabs] : labelled) {
            aligned = aligned && landing(width - spare, tabs, tabStop) == column &&
                      landing(width + spare, tabs, tabStop) == column;
        }
        if (aligned) return tabStop;
    }
    return 8 * character;
}

}  // namespace

Form2::Form2(Module1& module, QWidget* parent) : QWidget(parent, Qt::Window), module_(module) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Orvane, Revised Dynamic Bladder Model"));
    setClientSizeInTwips(this, 10845, 6915);
    createControls();
    fitFonts();
    setUpTable();
    Option1->setChecked(true);
    export_ = new ResultsExport(*this, Picture1_, Text1, Text2, module_);
    createMenus();
    statusBar_ = named(new QStatusBar(this), "statusBar");
    placeStatusBarBelow(this, statusBar_);
    connect(&module_, &Module1::resultsSaved, this,
            [this](const QString& path, const QDateTime& when) {
                statusBar_->showMessage(QStringLiteral("Results saved to %1 at %2")
                                            .arg(path, when.toString(QStringLiteral("HH:mm:ss"))));
            });
    Picture1_->installEventFilter(this);
    Text1->viewport()->installEventFilter(this);
    Text1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Text1, &QTextEdit::customContextMenuRequested, this, &Form2::showTableMenu);

    connect(Option1, &QRadioButton::clicked, this, &Form2::Form2_Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &Form2::Form2_Option2_Click);
    connect(Option3, &QRadioButton::clicked, this, &Form2::Form2_Option3_Click);
    connect(Command1, &QPushButton::clicked, this, &Form2::Form2_Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Form2_Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form2::Form2_Command3_Click);
}

void Form2::createControls() {
    Picture1_ = named(new Picture1(this), "Picture1");
    placeInTwips(Picture1_, 120, 240, 4455, 2895);

    Text1 = named(new QTextEdit(this), "Text1");
    Text1->setLineWrapMode(QTextEdit::NoWrap);
    Text1->setAcceptRichText(false);
    showComputedOnly(Text1);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    placeInTwips(Text1, 960, 4440, 9735, 1695);

    const std::array<WrappingOptionButton**, kScheduleCount> options{&Option1, &Option2, &Option3};
    const std::array<const char*, kScheduleCount> optionNames{"Option1", "Option2", "Option3"};
    for (int s = 0; s < kScheduleCount; ++s) {
        auto* option = named(new WrappingOptionButton(kScheduleCaptions[s], this), optionNames[s]);
        placeInTwips(option, 8880, 360 + 960 * s, 1695, 735);
        *options[s] = option;
    }

    Text2 = named(new QTextEdit(this), "Text2");
    Text2->setAcceptRichText(false);
    showComputedOnly(Text2);
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    placeInTwips(Text2, 4800, 240, 3975, 2895);

    Command1 = named(new QPushButton(QStringLiteral("Save Results to File"), this), "Command1");
    placeInTwips(Command1, 480, 6360, 1695, 495);
    Command2 = named(new QPushButton(QStringLiteral("Go back to Input Form"), this), "Command2");
    placeInTwips(Command2, 4080, 6360, 1935, 495);
    Command3 = named(new QPushButton(QStringLiteral("Quit program"), this), "Command3");
    placeInTwips(Command3, 7560, 6360, 2055, 495);

    Label1 = label(this, "Label1", QStringLiteral("Bladder dose (mGy/MBq)"));
    placeInTwips(Label1, 4200, 3360, 2295, 255);
    Label2 = label(this, "Label2", QStringLiteral("T0 (min)"));
    placeInTwips(Label2, 4800, 3840, 1575, 255);
    Label3 = label(this, "Label3", QStringLiteral("V0 (ml)"));
    placeInTwips(Label3, 120, 4080, 615, 495);
    Label4 = named(new ColumnCaptionLabel(columnCaptions(), this), "Label4");
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeInTwips(Label4, 1560, 4080, 8535, 495);
    for (std::size_t r = 0; r < kRowCaptions.size(); ++r) {
        const RowCaption& row = kRowCaptions[r];
        rowCaptions_[r] = label(this, row.name, rowCaption(static_cast<int>(r)));
        placeInTwips(rowCaptions_[r], row.left, row.top, row.width, row.height);
    }

    Line1 = rule(this, "Line1", QFrame::HLine);
    placeInTwips(Line1, 3720, 3720, 6960 - 3720, 15);
    Line2 = rule(this, "Line2", QFrame::HLine);
    placeInTwips(Line2, 1200, 4080, 10200 - 1200, 15);
    Line3 = rule(this, "Line3", QFrame::VLine);
    placeInTwips(Line3, 240, 4440, 15, 6120 - 4440);

    setTabOrder(Picture1_, Text1);
    setTabOrder(Text1, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Option3);
    setTabOrder(Option3, Text2);
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
}

void Form2::createMenus() {
    menuBar_ = named(new QMenuBar(this), QStringLiteral("menuBar"));
    auto command = [this](const char* name) {
        return findChild<QAction*>(QString::fromLatin1(name));
    };
    QMenu* file = named(menuBar_->addMenu(QStringLiteral("&File")), QStringLiteral("fileMenu"));
    named(file->addAction(QStringLiteral("&Save Results..."), this, &Form2::Form2_Command1_Click),
          QStringLiteral("saveResultsAction"));
    QMenu* exports = named(file->addMenu(QStringLiteral("&Export")), QStringLiteral("exportMenu"));
    for (const char* name :
         {"saveGraphAction", "copyTableAction", "saveAllPdfAction", "saveShownPdfAction"}) {
        exports->addAction(command(name));
    }
    file->addAction(command("printAction"));
    QMenu* tools = named(menuBar_->addMenu(QStringLiteral("&Tools")), QStringLiteral("toolsMenu"));
    named(tools->addAction(QStringLiteral("&Chart of the dose table..."), this,
                           &Form2::openDoseChart),
          QStringLiteral("doseChartAction"));
    addHelpMenu(menuBar_, this, module_);
    placeMenuBarAbove(this, menuBar_);
}

void Form2::fitFonts() {
    std::vector<CaptionBox> captions{buttonCaption(Command1), buttonCaption(Command2),
                                     buttonCaption(Command3)};
    for (WrappingOptionButton* option : {Option1, Option2, Option3}) {
        captions.push_back({option, option->text(), option->captionSpace(), true});
    }
    fitCaptionFont(captions, font());
    // Label4 and the row captions name the table's columns and rows in the same size.
    std::vector<CaptionBox> rows;
    for (QLabel* row : rowCaptions_) rows.push_back(labelCaption(row));
    fitCaptionFont(rows, font());
    Label4->setFont(rowCaptions_[0]->font());

    QFont bold = font();
    bold.setBold(true);
    fitCaptionFont({labelCaption(Label1), labelCaption(Label2), labelCaption(Label3)}, bold);

    // The report's widest line and all its lines fit the field without scrolling.
    DoseResults widest;
    widest.parameters.name = "Tc-99m pertechnetate";
    widest.parameters.fraction = {1, 1, 1, 1};
    const QString sample = QString::fromStdString(RenderSchedule(widest, 0).report);
    const QSize space = Text2->contentsRect().size();
    Text2->document()->setDocumentMargin(kReportMargin);
    const double room = space.width() - 2 * kReportMargin;
    const QFont report = shrunkToFit(font(), 6.0, [&](const QFont& candidate) {
        const double height = QFontMetricsF(candidate).lineSpacing() * (sample.count('\n') + 1);
        return reportWidth(sample, candidate, alignedTabStop(sample, candidate)) <= room &&
               height <= space.height();
    });
    Text2->setFont(report);
    Text2->setTabStopDistance(alignedTabStop(sample, report));
}

void Form2::setUpTable() {
    // The fixed-pitch font, as large as lets an 88-character line fit the field.
    QFont start = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    start.setPointSizeF(8.25);
    const int room = Text1->contentsRect().width() - 4;
    const QFont fixed = shrunkToFit(start, 5.0, [room](const QFont& font) {
        return QFontMetricsF(font).horizontalAdvance(QString(kTableLineLength, QLatin1Char('0'))) <=
               room;
    });
    Text1->setFont(fixed);
    Text1->document()->setDocumentMargin(0);

    // The captions of Label4 stand over the centres of the columns.
    const QFontMetricsF metrics(fixed);
    const double character = metrics.horizontalAdvance(QLatin1Char('0'));
    const double left = tableLeftMargin();
    const double origin = Text1->x() + Text1->contentsRect().x();
    std::vector<double> centres;
    for (int column = 0; column < kTableColumns; ++column) {
        const double inField = left + (column * kColumnPitch + kValueWidth / 2.0) * character;
        centres.push_back(origin + inField - Label4->x());
    }
    Label4->setColumnCentres(std::move(centres));
}

double Form2::tableLeftMargin() const {
    // The table lines stand in the middle of the field.
    const double character = QFontMetricsF(Text1->font()).horizontalAdvance(QLatin1Char('0'));
    return std::max(0.0, (Text1->contentsRect().width() - kTableLineLength * character) / 2);
}

void Form2::showTable(const QString& table) {
    // Lines end in CR LF; the field shows one line per CR LF.
    QString lines = table;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (lines.endsWith(QLatin1Char('\n'))) lines.chop(1);
    Text1->setPlainText(lines);

    QTextFrameFormat frame = Text1->document()->rootFrame()->frameFormat();
    frame.setLeftMargin(tableLeftMargin());
    Text1->document()->rootFrame()->setFrameFormat(frame);

    // One table line per row caption: the rows are 240 twips apart.
    QTextBlockFormat rows;
    rows.setLineHeight(twipsY(this, kRowPitchTwips), QTextBlockFormat::FixedHeight);
    QTextCursor cursor(Text1->document());
    cursor.select(QTextCursor::Document);
    cursor.mergeBlockFormat(rows);
}

void Form2::alignRowCaptions() {
    // Each row caption's text stands on the baseline of its table line.
    QTextBlock block = Text1->document()->firstBlock();
    const double fieldTop = Text1->y() + Text1->contentsRect().y();
    for (QLabel* row : rowCaptions_) {
        if (!block.isValid() || !block.layout() || block.layout()->lineCount() == 0) break;
        const QRectF bounds = Text1->document()->documentLayout()->blockBoundingRect(block);
        const QTextLine line = block.layout()->lineAt(0);
        const double baseline = fieldTop + bounds.top() + line.y() + line.ascent();
        const double shift = baseline - row->y() - QFontMetricsF(row->font()).ascent();
        row->setContentsMargins(0, std::max(0, static_cast<int>(std::lround(shift))), 0, 0);
        block = block.next();
    }
}

void Form2::renderSchedule(int schedule) {
    if (!module_.doseResults()) return;
    if (schedule >= 0 && schedule < kScheduleCount) shownSchedule_ = schedule;
    ScheduleView view = RenderSchedule(*module_.doseResults(), schedule);
    Picture1_->setDrawing(std::move(view.drawing));
    showTable(QString::fromStdString(view.table));
    alignRowCaptions();
    QString report = QString::fromStdString(view.report);
    report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text2->setPlainText(report);
}

void Form2::openDoseChart() {
    if (!module_.doseResults()) return;
    auto* chart = new DoseChartWindow(*module_.doseResults(), shownSchedule_, this);
    chart->show();
}

std::optional<std::pair<int, int>> Form2::cellAt(QPoint position) const {
    const QTextCursor cursor = Text1->cursorForPosition(position);
    const int row = cursor.blockNumber();
    const int column = cursor.positionInBlock() / kColumnPitch;
    if (row < 0 || row >= kV0Count || column < 0 || column >= kT0Count) return std::nullopt;
    // The click must land on the line's text, not beside it.
    if (!Text1->cursorRect(cursor).adjusted(-20, -2, 20, 2).contains(position)) return std::nullopt;
    return std::make_pair(row, column);
}

void Form2::openCellScenario(int v0Index, int t0Index) {
    if (!module_.doseResults() || !module_.openers().scenario) return;
    const Scenario cell =
        tableCellScenario(*module_.doseResults(), shownSchedule_, v0Index, t0Index);
    module_.openers().scenario({}, scenarioJsonText(cell));
}

void Form2::showTableMenu(QPoint position) {
    QMenu* menu = Text1->createStandardContextMenu(position);
    menu->setObjectName(QStringLiteral("tableMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    const auto cell = cellAt(position);
    QAction* overTime =
        menu->addAction(QStringLiteral("Show this cell over time..."), this, [this, cell] {
            if (cell) openCellScenario(cell->first, cell->second);
        });
    overTime->setObjectName(QStringLiteral("cellOverTimeAction"));
    overTime->setEnabled(cell.has_value());
    menu->popup(Text1->viewport()->mapToGlobal(position));
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    // A double-click on the graph opens the chart that values can be read from.
    if (watched == Picture1_ && event->type() == QEvent::MouseButtonDblClick) {
        openDoseChart();
        return true;
    }
    // A double-click on a dose shows that cell over time.
    if (watched == Text1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        if (const auto cell = cellAt(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            openCellScenario(cell->first, cell->second);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::Form2_Option1_Click() {
    renderSchedule(0);
}
void Form2::Form2_Option2_Click() {
    renderSchedule(1);
}
void Form2::Form2_Option3_Click() {
    renderSchedule(2);
}

void Form2::Form2_Command1_Click() {
    const bool alreadyOpen = module_.saveWindow() && module_.saveWindow()->isVisible();
    QWidget* saveWindow = module_.openers().save();
    if (alreadyOpen || !screen()) return;
    // A new save window goes beside the results window when the screen has room for it there.
    const QPoint beside = frameGeometry().topRight() + QPoint(8, 0);
    if (screen()->availableGeometry().contains(QRect(beside, saveWindow->frameGeometry().size()))) {
        saveWindow->move(beside);
    }
}

void Form2::Form2_Command2_Click() {
    try {
        module_.openers().input();
    } catch (const DataFileError& error) {
        // The results stay on screen; nothing is lost.
        module_.services().messageSink(this, QString::fromStdString(error.what()));
        return;
    }
    close();
}

void Form2::Form2_Command3_Click() {
    module_.services().quit();
}

}  // namespace orvane
