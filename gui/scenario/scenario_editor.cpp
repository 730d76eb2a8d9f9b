#include "gui/scenario/scenario_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>

#include "gui/common/window_support.h"
#include "library/standards.h"
#include "report/patient_report.h"

namespace orvane {
namespace {

void setMarked(QWidget* widget, bool invalid) {
    widget->setProperty("invalid", invalid);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

QString shown(const std::string& text) {
    return QString::fromStdString(text);
}

void setRows(QTableWidget* table, const std::vector<std::array<std::string, 2>>& rows) {
    const QSignalBlocker quiet(table);
    table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < 2; ++c) {
            table->setItem(r, c, new QTableWidgetItem(shown(rows[static_cast<std::size_t>(r)][c])));
        }
    }
}

std::vector<std::array<std::string, 2>> rowsOf(const QTableWidget* table) {
    std::vector<std::array<std::string, 2>> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        std::array<std::string, 2> row;
        for (int c = 0; c < 2; ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            row[static_cast<std::size_t>(c)] = item ? item->text().toStdString() : std::string();
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

ScenarioEditor::ScenarioEditor(const QStringList& libraryNames, QWidget* parent)
    : QWidget(parent), libraryCount_(static_cast<int>(libraryNames.size())) {
    setObjectName(QStringLiteral("scenarioEditor"));
    setStyleSheet(QStringLiteral("*[invalid=\"true\"] { background: #ffd0d0; }"));
    auto* layout = new QVBoxLayout(this);

    auto* general = new QGroupBox(QStringLiteral("Patient and radiopharmaceutical"), this);
    auto* form = new QFormLayout(general);
    layout->addWidget(general);
    auto add = [this](QFormLayout* into, const char* name, const QString& label,
                      const QString& key) {
        QLineEdit* edit = addField(name, label, key);
        into->addRow(label, edit);
        return edit;
    };
    add(form, "scenarioName", QStringLiteral("Name"), QStringLiteral("name"));
    // A reference patient: its values fill every field left empty (shown as placeholders).
    // Beside the age, a button empties every field the patient fills.
    auto* ageRow = new QHBoxLayout;
    ageRow->addWidget(addField("patientAge", QStringLiteral("Age (years, 0-100, optional)"),
                               QStringLiteral("patient.age")));
    auto* takeAll = named(new QPushButton(QStringLiteral("Take all the patient's values"), this),
                          QStringLiteral("patientValues"));
    takeAll->setToolTip(QStringLiteral(
        "Empties the volumes, fill rates, regular voiding and capacity, so that the reference "
        "patient's values hold there"));
    ageRow->addWidget(takeAll);
    form->addRow(QStringLiteral("Age (years, 0-100, optional)"), ageRow);
    sex_ = named(new QComboBox(this), QStringLiteral("patientSex"));
    sex_->setEditable(true);  // a file's refused sex is shown as it is, and refused
    sex_->addItems({QString(), QStringLiteral("female"), QStringLiteral("male")});
    fields_.push_back({sex_, QStringLiteral("Sex"), QStringLiteral("patient.sex")});
    form->addRow(QStringLiteral("Sex (optional)"), sex_);
    radiopharmaceutical_ =
        named(new QComboBox(this), QStringLiteral("scenarioRadiopharmaceutical"));
    for (const char* standard : kStandardNames) {
        radiopharmaceutical_->addItem(QString::fromLatin1(standard));
    }
    radiopharmaceutical_->addItems(libraryNames);
    fields_.push_back({radiopharmaceutical_, QStringLiteral("Radiopharmaceutical"),
                       QStringLiteral("radiopharmaceutical")});
    form->addRow(QStringLiteral("Radiopharmaceutical"), radiopharmaceutical_);
    struct Entry {
        const char* name;
        const char* label;
        const char* key;
    };
    auto addAll = [&add](QFormLayout* into, std::initializer_list<Entry> entries) {
        for (const Entry& e : entries) {
            add(into, e.name, QString::fromUtf8(e.label), QString::fromLatin1(e.key));
        }
    };
    addAll(form, {{"administrationTime", "Administration (HH:MM)", "administration_time"},
                  {"initialVolume", "V0, initial volume (ml)", "initial_volume"},
                  {"residualVolume", "Residual volume (ml)", "residual_volume"},
                  {"administeredActivity", "Administered activity (MBq, optional)",
                   "administered_activity"},
                  {"endTime", "End (min, optional)", "end_time"}});

    auto* filling = new QGroupBox(QStringLiteral("Fill rate"), this);
    auto* fillLayout = new QVBoxLayout(filling);
    layout->addWidget(filling);
    fillKind_ = named(new QComboBox(this), QStringLiteral("fillRateKind"));
    fillKind_->addItems({QStringLiteral("Day and night rates"), QStringLiteral("Steps"),
                         QStringLiteral("From the measured voids")});
    fields_.push_back({fillKind_, QStringLiteral("Fill rate"), QStringLiteral("fill_rate")});
    fillLayout->addWidget(fillKind_);
    fillPages_ = new QStackedWidget(this);
    fillLayout->addWidget(fillPages_);
    auto* dayNight = new QWidget(this);
    auto* dayNightForm = new QFormLayout(dayNight);
    dayNightForm->setContentsMargins(0, 0, 0, 0);
    addAll(dayNightForm, {{"dayRate", "Day rate (ml/min)", "fill_rate.day"},
                          {"nightRate", "Night rate (ml/min)", "fill_rate.night"},
                          {"nightFrom", "Night from (HH:MM)", "fill_rate.night_from"},
                          {"nightTo", "Night to (HH:MM)", "fill_rate.night_to"}});
    fillPages_->addWidget(dayNight);
    steps_ = addTable("fillSteps", QStringLiteral("fill_rate.steps"),
                      {QStringLiteral("from (min)"), QStringLiteral("rate (ml/min)")});
    fillPages_->addWidget(steps_->parentWidget());
    auto* fromVoids = new QLabel(
        QStringLiteral("Derived from the volumes of the voids in the Measurements tab: the rate "
                       "that fills each interval to the volume voided, and after the last void "
                       "their mean weighted by volume."),
        this);
    fromVoids->setWordWrap(true);
    fromVoids->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fillPages_->addWidget(fromVoids);

    auto* voiding = new QGroupBox(QStringLiteral("Voiding"), this);
    auto* voidLayout = new QVBoxLayout(voiding);
    layout->addWidget(voiding);
    pattern_ = named(new QComboBox(this), QStringLiteral("voidingPattern"));
    pattern_->addItems({QStringLiteral("The tables' schedule"),
                        QStringLiteral("Regular on the clock"), QStringLiteral("Diary"),
                        QStringLiteral("Only when full (capacity)")});
    voidLayout->addWidget(pattern_);
    // Rows shown or hidden together, in the voiding group.
    auto rowsIn = [this, voidLayout](QWidget*& rows) {
        rows = new QWidget(this);
        auto* rowsForm = new QFormLayout(rows);
        rowsForm->setContentsMargins(0, 0, 0, 0);
        voidLayout->addWidget(rows);
        return rowsForm;
    };
    add(rowsIn(firstVoidRow_), "firstVoid", QStringLiteral("First void (min)"),
        QStringLiteral("voiding.first_void"));
    diaryRows_ = new QWidget(this);
    auto* diaryLayout = new QVBoxLayout(diaryRows_);
    diaryLayout->setContentsMargins(0, 0, 0, 0);
    diary_ = addTable("diaryVoids", QStringLiteral("voiding.voids"),
                      {QStringLiteral("void at (min)"), QStringLiteral("residual (ml, optional)")});
    diaryLayout->addWidget(diary_->parentWidget());
    then_ = named(new QCheckBox(QStringLiteral("Then regularly"), this), "diaryThen");
    diaryLayout->addWidget(then_);
    voidLayout->addWidget(diaryRows_);
    QFormLayout* regularForm = rowsIn(regularRows_);
    addAll(regularForm, {{"voidInterval", "Interval (min)", "voiding.interval"},
                         {"bedtime", "Bedtime (HH:MM)", "voiding.bedtime"},
                         {"wake", "Wake-up (HH:MM)", "voiding.wake"}});
    // Empty: the file leaves it out (the reference patient's, else no voids by night).
    nightVoids_ = named(new QComboBox(this), QStringLiteral("nightVoids"));
    nightVoids_->addItems({QString(), QStringLiteral("yes"), QStringLiteral("no")});
    fields_.push_back(
        {nightVoids_, QStringLiteral("Voids by night"), QStringLiteral("voiding.night_voids")});
    regularForm->addRow(QStringLiteral("Voids by night, as by day (optional)"), nightVoids_);
    add(rowsIn(capacityRow_), "voidCapacity", QStringLiteral("Capacity (ml, voids when full)"),
        QStringLiteral("voiding.capacity"));
    // Hidden (unticked "Then regularly", or the tables' schedule), the regular rows and the
    // capacity keep their room: ticking moves nothing.
    for (QWidget* rows : {regularRows_, capacityRow_}) {
        QSizePolicy keepsRoom = rows->sizePolicy();
        keepsRoom.setRetainSizeWhenHidden(true);
        rows->setSizePolicy(keepsRoom);
    }

    // The error line has room for two lines from the start; a message that comes or goes moves
    // nothing.
    message_ = named(new QLabel(this), QStringLiteral("scenarioMessage"));
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message_->setStyleSheet(QStringLiteral("color: #b00000;"));
    message_->setMinimumHeight(2 * message_->fontMetrics().lineSpacing());
    layout->addWidget(message_);
    layout->addStretch();

    connect(radiopharmaceutical_, &QComboBox::currentIndexChanged, this, &ScenarioEditor::edited);
    connect(sex_, &QComboBox::currentTextChanged, this, &ScenarioEditor::edited);
    connect(nightVoids_, &QComboBox::currentIndexChanged, this, &ScenarioEditor::edited);
    connect(takeAll, &QPushButton::clicked, this, [this] {
        // Through the document, as a file's form: the radiopharmaceutical chosen stays.
        load(scenarioForm(scenarioDocument(withoutPatientValues(this->form()))));
        emit edited();
    });
    connect(fillKind_, &QComboBox::currentIndexChanged, this, [this](int page) {
        fillPages_->setCurrentIndex(page);
        emit edited();
    });
    connect(pattern_, &QComboBox::currentIndexChanged, this, [this] {
        showPattern();
        emit edited();
    });
    connect(then_, &QCheckBox::toggled, this, [this] {
        showPattern();
        emit edited();
    });
    showPattern();
}

QLineEdit* ScenarioEditor::addField(const char* name, const QString& label, const QString& key) {
    auto* edit = named(new QLineEdit(this), QString::fromLatin1(name));
    fields_.push_back({edit, label, key});
    connect(edit, &QLineEdit::textEdited, this, &ScenarioEditor::edited);
    return edit;
}

QTableWidget* ScenarioEditor::addTable(const char* name, const QString& key,
                                       const QStringList& columns) {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* table = named(new QTableWidget(0, static_cast<int>(columns.size()), box),
                        QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(columns);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setMinimumHeight(120);
    layout->addWidget(table);
    auto* buttons = new QHBoxLayout;
    auto* add = named(new QPushButton(QStringLiteral("Add row"), box),
                      QString::fromLatin1(name) + QStringLiteral("Add"));
    auto* remove = named(new QPushButton(QStringLiteral("Remove row"), box),
                         QString::fromLatin1(name) + QStringLiteral("Remove"));
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this, table] {
        const int row = table->currentRow() >= 0 ? table->currentRow() + 1 : table->rowCount();
        table->insertRow(row);
        table->setCurrentCell(row, 0);
        emit edited();
    });
    connect(remove, &QPushButton::clicked, this, [this, table] {
        if (table->rowCount() == 0) return;
        table->removeRow(table->currentRow() >= 0 ? table->currentRow() : table->rowCount() - 1);
        emit edited();
    });
    connect(table, &QTableWidget::itemChanged, this, &ScenarioEditor::edited);
    fields_.push_back({table, key.section(QLatin1Char('.'), -1), key});
    return table;
}

void ScenarioEditor::showPattern() {
    using Pattern = ScenarioForm::Pattern;
    const auto pattern = static_cast<Pattern>(pattern_->currentIndex());
    const bool regular =
        pattern == Pattern::Regular || (pattern == Pattern::Diary && then_->isChecked());
    firstVoidRow_->setVisible(pattern == Pattern::Table || pattern == Pattern::Regular);
    diaryRows_->setVisible(pattern == Pattern::Diary);
    regularRows_->setVisible(regular);
    capacityRow_->setVisible(regular || pattern == Pattern::Capacity);
}

QLineEdit* ScenarioEditor::line(const char* name) const {
    return findChild<QLineEdit*>(QString::fromLatin1(name));
}

void ScenarioEditor::load(const ScenarioForm& form) {
    const QSignalBlocker quiet(this);
    auto set = [this](const char* name, const std::string& text) {
        QLineEdit* field = line(name);
        field->setText(shown(text));
        field->setCursorPosition(0);  // a long name shows its beginning
    };
    set("scenarioName", form.name);
    set("administrationTime", form.administrationTime);
    set("initialVolume", form.initialVolume);
    set("residualVolume", form.residualVolume);
    set("administeredActivity", form.administeredActivity);
    set("endTime", form.endTime);
    set("patientAge", form.age);
    sex_->setCurrentText(shown(form.sex));

    // A standard by its name or number, a library entry offered, or a choice of its own.
    const int ownIndex = kStandardCount + libraryCount_;
    if (radiopharmaceutical_->count() > ownIndex) radiopharmaceutical_->removeItem(ownIndex);
    ownValues_ = JsonValue();
    const ScenarioForm::Choice& chosen = form.radiopharmaceutical;
    const auto choiceOf = [this](const std::string& name) {
        return choiceOf_ ? choiceOf_(name)
                         : radiopharmaceutical_->findText(shown(name), Qt::MatchFixedString);
    };
    int index = -1;
    // Counted from 0, as every reader of scenario files counts.
    if (chosen.standardIndex && *chosen.standardIndex >= 0 &&
        *chosen.standardIndex < kStandardCount)
        index = static_cast<int>(*chosen.standardIndex);
    if (chosen.standardName) {
        index = choiceOf(*chosen.standardName);
        if (index >= kStandardCount) index = -1;
    }
    if (chosen.library) {
        index = choiceOf(*chosen.library);
        if (index < kStandardCount) index = -1;
    }
    if (index < 0 && !chosen.own.isNull()) {
        ownValues_ = chosen.own;
        const QString name = chosen.shownName.empty() ? QStringLiteral("Radiopharmaceutical")
                                                      : shown(chosen.shownName);
        radiopharmaceutical_->addItem(name + (chosen.libraryKey
                                                  ? QStringLiteral(" (library)")
                                                  : QStringLiteral(" (its own values)")));
        index = ownIndex;
    }
    radiopharmaceutical_->setCurrentIndex(std::max(index, 0));

    const int fillPage = form.fromVoids ? 2 : form.steps ? 1 : 0;
    fillKind_->setCurrentIndex(fillPage);
    fillPages_->setCurrentIndex(fillPage);
    set("dayRate", form.day);
    set("nightRate", form.night);
    set("nightFrom", form.nightFrom);
    set("nightTo", form.nightTo);
    setRows(steps_, form.stepRows);

    pattern_->setCurrentIndex(static_cast<int>(form.pattern));
    set("firstVoid", form.firstVoid);
    then_->setChecked(form.then);
    set("voidInterval", form.interval);
    set("bedtime", form.bedtime);
    set("wake", form.wake);
    set("voidCapacity", form.capacity);
    nightVoids_->setCurrentIndex(form.nightVoids ? (*form.nightVoids ? 1 : 2) : 0);
    intervals_ = form.intervals;
    setRows(diary_, form.diaryRows);
    showPattern();
    clearMarks();
}

void ScenarioEditor::setLibraryNames(const QStringList& libraryNames) {
    // Through the document, as a file's form: the choice is found again by its name.
    const ScenarioForm shown = scenarioForm(scenarioDocument(form()));
    {
        const QSignalBlocker quiet(radiopharmaceutical_);
        while (radiopharmaceutical_->count() > kStandardCount)
            radiopharmaceutical_->removeItem(kStandardCount);
        radiopharmaceutical_->addItems(libraryNames);
        libraryCount_ = static_cast<int>(libraryNames.size());
    }
    load(shown);
}

ScenarioForm ScenarioEditor::form() const {
    ScenarioForm form;
    auto text = [this](const char* name) { return line(name)->text().toStdString(); };
    form.name = text("scenarioName");
    const int chosen = radiopharmaceutical_->currentIndex();
    form.radiopharmaceutical.kind = chosen < kStandardCount ? ScenarioForm::ChoiceKind::Standard
                                    : chosen < kStandardCount + libraryCount_
                                        ? ScenarioForm::ChoiceKind::Library
                                        : ScenarioForm::ChoiceKind::Own;
    form.radiopharmaceutical.text = radiopharmaceutical_->currentText().toStdString();
    form.radiopharmaceutical.own = ownValues_;
    form.administrationTime = text("administrationTime");
    form.initialVolume = text("initialVolume");
    form.residualVolume = text("residualVolume");
    form.administeredActivity = text("administeredActivity");
    form.endTime = text("endTime");
    form.age = text("patientAge");
    form.sex = sex_->currentText().toStdString();
    form.steps = fillKind_->currentIndex() == 1;
    form.fromVoids = fillKind_->currentIndex() == 2;
    form.day = text("dayRate");
    form.night = text("nightRate");
    form.nightFrom = text("nightFrom");
    form.nightTo = text("nightTo");
    form.stepRows = rowsOf(steps_);
    form.pattern = static_cast<ScenarioForm::Pattern>(pattern_->currentIndex());
    form.firstVoid = text("firstVoid");
    form.diaryRows = rowsOf(diary_);
    form.then = then_->isChecked();
    form.interval = text("voidInterval");
    form.bedtime = text("bedtime");
    form.wake = text("wake");
    form.capacity = text("voidCapacity");
    if (nightVoids_->currentIndex() > 0) form.nightVoids = nightVoids_->currentIndex() == 1;
    form.intervals = intervals_;
    return form;
}

void ScenarioEditor::setPatientValues(const std::vector<SourcedInput>& values) {
    for (const Field& field : fields_) {
        if (auto* edit = qobject_cast<QLineEdit*>(field.widget)) {
            edit->setPlaceholderText(QString());
            edit->setToolTip(QString());
        }
    }
    nightVoids_->setItemText(0, QString());
    for (const SourcedInput& value : values) {
        // A diary's "then" fills the regular fields.
        QString key = QString::fromStdString(value.path);
        key.replace(QStringLiteral("voiding.then."), QStringLiteral("voiding."));
        // The empty choice of night voids names the patient's.
        if (key == QLatin1String("voiding.night_voids"))
            nightVoids_->setItemText(
                0, QStringLiteral("(the patient's: %1)")
                       .arg(value.shown == "true" ? QStringLiteral("yes") : QStringLiteral("no")));
        for (const Field& field : fields_) {
            auto* edit = qobject_cast<QLineEdit*>(field.widget);
            if (!edit || field.key != key) continue;
            edit->setPlaceholderText(shown(value.shown));
            edit->setToolTip(QStringLiteral("The reference patient's value (%1). Sources: %2")
                                 .arg(shown(value.shown), shown(provenanceText(value.provenance))));
        }
    }
}

void ScenarioEditor::markInvalid(const std::string& path, const std::string& reason) {
    clearMarks();
    // "voiding.then.interval" is the interval field; "voiding.voids[2].residual" a table cell.
    QString key = QString::fromStdString(path);
    key.replace(QStringLiteral("voiding.then."), QStringLiteral("voiding."));
    static const QRegularExpression listed(QStringLiteral("^(.*)\\[(\\d+)\\](?:\\.(\\w+))?"));
    const QRegularExpressionMatch entry = listed.match(key);
    const QString listKey = entry.hasMatch() ? entry.captured(1) : key;
    const Field* best = nullptr;
    for (const Field& field : fields_) {
        const bool covers =
            listKey == field.key || listKey.startsWith(field.key + QLatin1Char('.'));
        if (covers && (!best || field.key.size() > best->key.size())) best = &field;
    }
    QString label = best ? best->label : QString::fromStdString(path);
    if (best) {
        marked_ = best->widget;
        auto* table = qobject_cast<QTableWidget*>(best->widget);
        if (table && entry.hasMatch()) {
            const int row = entry.captured(2).toInt();
            const int column = entry.captured(3) == QLatin1String("residual") ||
                                       entry.captured(3) == QLatin1String("rate")
                                   ? 1
                                   : 0;
            label = QStringLiteral("%1, row %2")
                        .arg(best->widget == diary_ ? QStringLiteral("Diary")
                                                    : QStringLiteral("Fill-rate steps"))
                        .arg(row + 1);
            if (!entry.captured(3).isEmpty()) label += QStringLiteral(", ") + entry.captured(3);
            if (QTableWidgetItem* item = table->item(row, column)) {
                const QSignalBlocker quiet(table);
                item->setBackground(QColor(0xff, 0xd0, 0xd0));
            }
        }
        setMarked(best->widget, true);
    }
    message_->setText(label + QStringLiteral(": ") + QString::fromStdString(reason));
}

void ScenarioEditor::clearMarks() {
    for (const Field& field : fields_) setMarked(field.widget, false);
    for (QTableWidget* table : {steps_, diary_}) {
        const QSignalBlocker quiet(table);
        for (int r = 0; r < table->rowCount(); ++r) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (QTableWidgetItem* item = table->item(r, c)) item->setBackground(QBrush());
            }
        }
    }
    marked_ = nullptr;
    message_->clear();
}

bool ScenarioEditor::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The editor keeps the height its fields once took (a diary, a long message): scrolled to
    // its end, a shorter editor would move every field under the mouse. A scroll area gives the
    // editor its height for its width (the message wraps).
    if (event->type() == QEvent::LayoutRequest && width() > 0) {
        const int taken = hasHeightForWidth() ? heightForWidth(width()) : sizeHint().height();
        if (taken > minimumHeight()) setMinimumHeight(taken);
    }
    return handled;
}

QWidget* ScenarioEditor::markedField() const {
    return marked_;
}

QString ScenarioEditor::message() const {
    return message_->text();
}

}  // namespace orvane
