#include "gui/input/form1.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <utility>
#include <vector>

#include "engine/estimate.h"
#include "gui/common/menus.h"
#include "gui/input/information_text.h"
#include "library/standards.h"
#include "library/warnings.h"

namespace orvane {
namespace {

constexpr std::array<int, 3> kColumnLefts{4080, 5640, 7200};
constexpr std::array<int, 4> kComponentRowTops{960, 1560, 2160, 2760};
constexpr int kFieldWidth = 1215;
constexpr int kFieldHeight = 375;

// Shows the wait cursor while a long computation runs on this thread.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

Form1::Form1(Module1& module, QWidget* parent) : QWidget(parent, Qt::Window), module_(module) {
    setObjectName(QStringLiteral("Form1"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Orvane, Revised Dynamic Bladder Model Software"));
    setClientSizeInTwips(this, 8925, 7470);
    createControls();
    fitFonts();
    createMenus();

    // A selection, not a mere current row: the list gets a current row when it takes the focus.
    connect(List1, &QListWidget::itemSelectionChanged, this, &Form1::Form1_List1_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Form1_Command3_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Form1_Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Form1_Command2_Click);
}

Form1* Form1::open(Module1& module) {
    auto* form = new Form1(module);
    try {
        form->Form1_Form_Load();
    } catch (...) {
        delete form;
        throw;
    }
    form->show();
    return form;
}

void Form1::createControls() {
    auto label = [this](const char* name, const char* text, int left, int top, int width,
                        int height) {
        auto* caption = named(new QLabel(QString::fromLatin1(text), this), name);
        caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        caption->setWordWrap(true);
        placeInTwips(caption, left, top, width, height);
        return caption;
    };
    auto field = [this](int number, int left, int top, int width, int height) {
        auto* text = named(new QLineEdit(this), QStringLiteral("Text%1").arg(number));
        placeInTwips(text, left, top, width, height);
        fields_[static_cast<std::size_t>(number - 1)] = text;
        return text;
    };
    auto button = [this](const char* name, const char* caption, int left, int top, int width) {
        auto* command = named(new QPushButton(QString::fromLatin1(caption), this), name);
        placeInTwips(command, left, top, width, 495);
        return command;
    };

    Label1 = label("Label1", "Standard Radiopharmaceuticals:", 1200, 120, 1695, 375);
    List1 = named(new QListWidget(this), QStringLiteral("List1"));
    placeInTwips(List1, 840, 600, 2295, 3960);
    Label11 = label("Label11", "Radiopharmaceutical Name", 840, 4680, 2295, 255);
    field(16, 840, 4920, 2295, 375);

    Label6 = label("Label6", "RADIOPHARMACEUTICAL DATA", 4320, 120, 3735, 255);
    Label2 = label("Label2", "Fraction", 4080, 600, 1215, 255);
    Label3 = label("Label3", "Biological Rate Constant (min^-1)", 5640, 480, 1335, 375);
    Label4 = label("Label4", "Biological Half-Life (min)", 7200, 480, 1215, 375);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            field(componentField(row, column) + 1, kColumnLefts[column], kComponentRowTops[row],
                  kFieldWidth, kFieldHeight);
        }
    }

    Label7 = label("Label7", "RADIONUCLIDE DATA", 4320, 3360, 3735, 255);
    Label5 = label("Label5", "Physical Half-Life (min)", 4080, 3720, 1095, 495);
    Label8 = label("Label8", "Delta (mGy-kg/MBq-s)", 5520, 3720, 1335, 495);
    Label9 = label("Label9", "Gamma (mGy-cm^2/MBq-s)", 7080, 3720, 1455, 495);
    for (int column = 0; column < 3; ++column) {
        field(kPhysicalHalfLifeField + 1 + column, kColumnLefts[column], 4200, kFieldWidth,
              kFieldHeight);
    }

    Label12 = label("Label12", "Estimated time to calculate:", 6360, 4680, 2055, 255);
    Command3 = button("Command3", "Check Calculation Time", 4080, 5040, 2055);
    field(17, 6240, 5040, 2175, 405);
    Label13 =
        label("Label13", "To begin calculations, click 'Calculate Doses'", 6240, 5640, 2175, 495);
    Label13->hide();

    // The information box: the whole text, wrapped, with a scroll bar when it needs one.
    information_ = new QScrollArea(this);
    information_->setFrameShape(QFrame::Box);
    information_->setFocusPolicy(Qt::NoFocus);
    information_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    information_->setWidgetResizable(true);
    placeInTwips(information_, 360, 5640, 5535, 1695);
    Label10 = named(new QLabel, QStringLiteral("Label10"));
    Label10->setWordWrap(true);
    Label10->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room at the sides only: a line of text starts at the top of the box.
    Label10->setContentsMargins(3, 0, 3, 0);
    information_->setWidget(Label10);
    showWholeInformationLines();

    Command1 = button("Command1", "Calculate Doses", 6360, 6120, 1935);
    Command1->setEnabled(false);
    Command2 = button("Command2", "Quit Program", 6360, 6720, 1935);

    QWidget* previous = List1;
    auto chain = [&previous, this](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };
    for (int number = 1; number <= 13; ++number) chain(fields_[number - 1]);
    chain(Command1);
    chain(fields_[kDeltaField]);
    chain(fields_[kGammaField]);
    chain(Command2);
    chain(fields_[15]);
    chain(fields_[16]);
    chain(Command3);
}

void Form1::createMenus() {
    menuBar_ = named(new QMenuBar(this), QStringLiteral("menuBar"));
    QMenu* file = named(menuBar_->addMenu(QStringLiteral("&File")), QStringLiteral("fileMenu"));
    named(file->addAction(QStringLiteral("&Open scenario..."), QKeySequence::Open, this,
                          [this] {
                              const auto& ask = module_.services().exportDialogs.openFileName;
                              const QString path =
                                  ask ? ask(this, QStringLiteral("Open Scenario"), QString(),
                                            {QStringLiteral("Scenario file (*.json)")})
                                      : QString();
                              if (!path.isEmpty()) module_.openers().scenario(path, {});
                          }),
          QStringLiteral("openScenarioAction"));
    named(file->addAction(QStringLiteral("Run &cohort..."), this,
                          [this] {
                              if (module_.openers().cohort) module_.openers().cohort();
                          }),
          QStringLiteral("runCohortAction"));
    file->addSeparator();
    QAction* quitAction =
        file->addAction(QStringLiteral("&Quit"), this, &Form1::Form1_Command2_Click);
    quitAction->setObjectName(QStringLiteral("quitAction"));
    quitAction->setShortcut(QKeySequence::Quit);
    QMenu* tools = named(menuBar_->addMenu(QStringLiteral("&Tools")), QStringLiteral("toolsMenu"));
    named(tools->addAction(QStringLiteral("&Patient scenario..."), this, &Form1::openScenario),
          QStringLiteral("scenarioAction"));
    QMenu* library =
        named(menuBar_->addMenu(QStringLiteral("&Library")), QStringLiteral("libraryMenu"));
    QAction* chooseAction = library->addAction(QStringLiteral("&Choose radiopharmaceutical..."),
                                               this, &Form1::chooseFromLibrary);
    chooseAction->setObjectName(QStringLiteral("chooseRadiopharmaceuticalAction"));
    chooseAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    QAction* saveAction = library->addAction(QStringLiteral("&Save current values as..."), this,
                                             &Form1::saveInLibrary);
    saveAction->setObjectName(QStringLiteral("saveRadiopharmaceuticalAction"));
    addHelpMenu(menuBar_, this, module_);
    placeMenuBarAbove(this, menuBar_);
}

void Form1::showWholeInformationLines() {
    // The box holds a whole number of lines, and a step, a page and the whole range of the
    // scroll bar are whole lines, so that no line is cut at the box's top or bottom.
    const int line = wrappedLineHeight(Label10);
    const int spare = (information_->height() - 2 * information_->frameWidth()) % line;
    information_->resize(information_->width(), information_->height() - spare);
    information_->verticalScrollBar()->setSingleStep(line);
}

void Form1::fitFonts() {
    // The column heads share one size, the other captions another.
    fitCaptionFont({labelCaption(Label2), labelCaption(Label3), labelCaption(Label4),
                    labelCaption(Label5), labelCaption(Label8), labelCaption(Label9)},
                   font());
    std::vector<CaptionBox> captions{
        labelCaption(Label1),    labelCaption(Label11),   labelCaption(Label6),
        labelCaption(Label7),    labelCaption(Label12),   labelCaption(Label13),
        buttonCaption(Command1), buttonCaption(Command2), buttonCaption(Command3)};
    captions.push_back({Command1, QStringLiteral("Calculating...."), captions[6].space, false});
    fitCaptionFont(captions, font());

    // Every standard's name fits the list without a horizontal scroll bar.
    const int room =
        List1->contentsRect().width() - List1->verticalScrollBar()->sizeHint().width() - 8;
    List1->setFont(shrunkToFit(font(), 6.0, [room](const QFont& list) {
        return std::ranges::all_of(kStandardNames, [&](const char* name) {
            return QFontMetricsF(list).horizontalAdvance(QString::fromLatin1(name)) <= room;
        });
    }));
}

void Form1::Form1_Form_Load() {
    module_.loadStandardData();
    List1->clear();
    for (const char* name : kStandardNames) List1->addItem(QString::fromLatin1(name));
    QString information = QString::fromStdString(informationText());
    information.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Label10->setText(information);

    // After a calculation the fields show what it was started from, so that a typed-in tracer
    // survives a look at its results. Calculate waits for a new time check all the same.
    if (const std::optional<CalculationInput>& last = module_.lastInput()) {
        for (int i = 0; i < kFieldCount; ++i) {
            fields_[static_cast<std::size_t>(i)]->setText(
                QString::fromStdString(last->fields[static_cast<std::size_t>(i)]));
        }
        fields_[15]->setText(QString::fromStdString(last->name));
    }
}

void Form1::Form1_List1_Click() {
    const QList<QListWidgetItem*> selected = List1->selectedItems();
    if (selected.isEmpty()) return;
    const int k = List1->row(selected.front());
    if (k < 0 || k >= kStandardCount) return;
    chosenEntry_.reset();
    showChoice(standardFieldTexts(module_.standardData().library[static_cast<std::size_t>(k)]));
}

// A choice, from the list or the library, fills the sixteen fields and asks for a new time
// check.
void Form1::showChoice(const StandardFieldTexts& texts) {
    fields_[16]->clear();
    Label13->hide();
    Command1->setEnabled(false);
    for (int i = 0; i < kFieldCount; ++i) {
        fields_[static_cast<std::size_t>(i)]->setText(
            QString::fromStdString(texts.fields[static_cast<std::size_t>(i)]));
    }
    fields_[15]->setText(QString::fromStdString(texts.name));
}

void Form1::chooseFromLibrary() {
    if (!module_.openers().chooseRadiopharmaceutical) return;
    const std::optional<LibraryEntry> entry = module_.openers().chooseRadiopharmaceutical(this);
    if (!entry) return;
    // The list shows a standard only while its values are in the fields.
    List1->clearSelection();
    showChoice(standardFieldTexts(entry->values));
    // Told where it is chosen, and again with the others at the time check.
    chosenEntry_ = entry;
    for (const Warning& warning : entryWarnings(*entry, "radiopharmaceutical")) {
        module_.services().messageSink(this, QString::fromStdString(warning.message));
    }
}

// A new scenario of the fields' values when they pass the checks, else of the default one.
void Form1::openScenario() {
    std::optional<ModelParameters> values;
    try {
        const FieldTexts texts = fieldTexts();
        checkFieldTexts(texts);
        values = readModelParameters(texts, fields_[15]->text().trimmed().toStdString());
        checkParameters(*values);
    } catch (const InputError&) {
        // Not values a calculation takes: the scenario starts from its defaults instead.
    }
    if (values && module_.openers().scenarioWithValues) {
        module_.openers().scenarioWithValues(*values);
    } else {
        module_.openers().scenario({}, {});
    }
}

void Form1::saveInLibrary() {
    if (!module_.openers().saveRadiopharmaceutical) return;
    try {
        module_.openers().saveRadiopharmaceutical(
            this, entryFromFields(fieldTexts(), fields_[15]->text().trimmed().toStdString()));
    } catch (const InputError& error) {
        refuse(error, error.field());
    }
}

FieldTexts Form1::fieldTexts() const {
    FieldTexts texts;
    for (int i = 0; i < kFieldCount; ++i) {
        texts[static_cast<std::size_t>(i)] =
            fields_[static_cast<std::size_t>(i)]->text().toStdString();
    }
    return texts;
}

void Form1::refuse(const std::exception& error, int field) {
    module_.services().messageSink(this, QString::fromStdString(error.what()));
    if (field >= 0 && field < kFieldCount) fields_[static_cast<std::size_t>(field)]->setFocus();
}

void Form1::Form1_Command3_Click() {
    TimeEstimate estimate;
    try {
        WaitCursor busy;
        estimate = EstimateCalculationTime(fieldTexts(), module_.standardData().tables);
    } catch (const InputError& error) {
        refuse(error, error.field());
        return;
    } catch (const CalculationError& error) {
        refuse(error, -1);
        return;
    }
    fields_[16]->setText(QString::fromStdString(estimate.text));
    Label13->show();
    Command1->setEnabled(true);
    tellWarnings(fieldTexts());
}

void Form1::tellWarnings(const FieldTexts& fields) {
    warnedFields_ = fields;
    // Doubtful but computable input: all of it told at once, the calculation left open.
    const std::vector<Warning> warnings =
        fieldWarnings(fields, chosenEntry_ ? &*chosenEntry_ : nullptr);
    if (warnings.empty()) return;
    QString text = QStringLiteral("The doses can be calculated, but check:");
    for (const Warning& warning : warnings) {
        text += QStringLiteral("\n\n") + QString::fromStdString(warning.message);
    }
    module_.services().messageSink(this, text);
}

void Form1::Form1_Command1_Click() {
    const QString caption = Command1->text();
    Command1->setText(QStringLiteral("Calculating...."));
    Command1->repaint();
    try {
        WaitCursor busy;
        // The report names what Text16 says now: a chosen standard, possibly edited, or the
        // user's own name for typed data.
        CalculationInput input{fieldTexts(), fields_[15]->text().toStdString()};
        DoseResults results =
            RunCalculation(input.fields, input.name, module_.standardData().tables);
        // A field changed since the time check: its warnings are told again.
        if (warnedFields_ != input.fields) tellWarnings(input.fields);
        module_.setDoseResults(std::move(results), std::move(input));
    } catch (const InputError& error) {
        Command1->setText(caption);
        refuse(error, error.field());
        return;
    } catch (const CalculationError& error) {
        Command1->setText(caption);
        refuse(error, -1);
        return;
    }
    openResultsWindow();
}

void Form1::openResultsWindow() {
    // The results window is shown before this one closes, so that the program never runs
    // without a window.
    module_.openers().results();
    close();
}

void Form1::Form1_Command2_Click() {
    module_.services().quit();
}

}  // namespace orvane
