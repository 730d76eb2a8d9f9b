// The scenario window: opened on a dose table cell it shows the cell's dose; edits recompute as
// the engine does; a refused diary row is marked and named while the plots stay; a saved
// scenario reads back the same; a failing export keeps the old file.
#include <sys/resource.h>

#include <QAction>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QXYSeries>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "engine/numtext.h"
#include "gui/library/library_dialog.h"
#include "gui/scenario/scenario_editor.h"
#include "gui/scenario/scenario_plots.h"
#include "gui/scenario/scenario_window.h"
#include "gui_test_support.h"
#include "library/scenario_file.h"
#include "library/workbench.h"

namespace orvane::testing {
namespace {

using ScenarioWindowTest = WindowTest;

// The dose line without the activity left at the end, which follows the dose.
QString doseText(QWidget* window) {
    QString line = control<QLabel>(window, QStringLiteral("scenarioDose"))->text();
    return line.remove(
        QRegularExpression(QStringLiteral("   Activity left at the end: [^(]*"
                                          "\\(not in the dose\\)")));
}

// The dose line of a dose in mGy/MBq.
QString doseLine(double dose) {
    return QStringLiteral("Bladder-wall dose: %1 mGy/MBq")
        .arg(QString::fromStdString(formatScientific(dose)));
}

ScenarioResult computed(const Scenario& scenario, const StandardData& data) {
    return computeScenario(scenario, {data.tables.quadratureNodes, data.tables.quadratureWeights});
}

ScenarioResult computed(const nlohmann::json& document, const StandardData& data) {
    return computed(scenarioFromJson(document, data), data);
}

TEST_F(ScenarioWindowTest, ACellOpensWithItsDoseByDoubleClickAndContextMenu) {
    choose("Tc-99m MAG3");
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    control<QRadioButton>(results, QStringLiteral("Option2"))->click();
    auto* table = control<QTextEdit>(results, QStringLiteral("Text1"));
    // Row V0 = 200 ml (fourth line), column T0 = 100 min (fifth value).
    const int row = 3, column = 4;
    const QString line = table->document()->findBlockByNumber(row).text();
    const QString cellText = line.mid(column * 10, 8);
    EXPECT_EQ(cellText.toStdString(),
              formatScientific(module->doseResults()->tables[1].at(column, row)));
    QTextCursor cursor(table->document()->findBlockByNumber(row));
    cursor.setPosition(cursor.position() + column * 10 + 3);
    const QPoint place = table->cursorRect(cursor).center();

    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, place);
    settle();
    QWidget* window = openWindow("scenarioWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(doseText(window), QStringLiteral("Bladder-wall dose: %1 mGy/MBq").arg(cellText));
    window->close();
    settle();

    emit table->customContextMenuRequested(place);
    auto* menu = results->findChild<QMenu*>(QStringLiteral("tableMenu"));
    ASSERT_NE(menu, nullptr);
    auto* overTime = menu->findChild<QAction*>(QStringLiteral("cellOverTimeAction"));
    ASSERT_NE(overTime, nullptr);
    ASSERT_TRUE(overTime->isEnabled());
    overTime->trigger();
    settle();
    window = openWindow("scenarioWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(doseText(window).contains(cellText));
}

TEST_F(ScenarioWindowTest, EditsRecomputeAndARefusedDiaryRowKeepsThePlots) {
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, {}));
    ASSERT_NE(window, nullptr);
    auto* interval = control<QLineEdit>(window, QStringLiteral("voidInterval"));
    interval->setText(QStringLiteral("120"));
    emit interval->textEdited(interval->text());
    nlohmann::json document = newScenarioDocument().json();
    document["voiding"]["interval"] = 120;
    const ScenarioResult expected = computed(document, module->standardData());
    EXPECT_EQ(doseText(window), doseLine(expected.dose));
    auto* voids = control<QTableView>(window, QStringLiteral("voidTable"));
    ASSERT_EQ(voids->model()->rowCount(), static_cast<int>(expected.voids.size()));
    for (int r = 0; r < voids->model()->rowCount(); ++r) {
        EXPECT_EQ(voids->model()->index(r, 0).data(Qt::UserRole).toDouble(),
                  expected.voids[r].time);
        EXPECT_EQ(voids->model()->index(r, 2).data(Qt::UserRole).toDouble(),
                  expected.voids[r].volume);
    }
    // The void lines of the plots stand at the voids.
    auto* plots = control<ScenarioPlots>(window, QStringLiteral("scenarioPlots"));
    QLineSeries* voidLines = nullptr;
    for (QAbstractSeries* series : plots->chart(0)->series()) {
        if (series->objectName() == QLatin1String("voids"))
            voidLines = static_cast<QLineSeries*>(series);
    }
    ASSERT_NE(voidLines, nullptr);
    ASSERT_EQ(voidLines->count(), 3 * static_cast<int>(expected.voids.size()));
    EXPECT_DOUBLE_EQ(voidLines->at(3).x(), expected.voids[1].time / 60);
    // One time stands at one x in all three charts.
    settle();
    for (int i : {1, 2}) {
        EXPECT_NEAR(plots->chart(i)->plotArea().left(), plots->chart(0)->plotArea().left(), 1) << i;
    }
    // The clock along the top names the clock time of each hour tick (administration 09:00).
    auto* clock = qobject_cast<QCategoryAxis*>(plots->chart(0)->axes(Qt::Horizontal).back());
    ASSERT_NE(clock, nullptr);
    plots->setTimeRange(0, 12);
    const QStringList labels = clock->categoriesLabels();
    ASSERT_GE(labels.size(), 3);
    EXPECT_EQ(labels[0], QStringLiteral("09:00"));
    EXPECT_EQ(labels[1], QStringLiteral("10:00"));      // a tick every hour
    EXPECT_DOUBLE_EQ(clock->endValue(labels[1]), 1.5);  // centred on the tick at 1 h
    plots->setTimeRange(12, 36);                        // a tick every 2 h from 21:00
    EXPECT_EQ(clock->categoriesLabels().value(2), QStringLiteral("01:00 +1d"));

    // A diary whose second void comes before its first: marked, named, nothing recomputed.
    nlohmann::json diary = newScenarioDocument().json();
    diary["voiding"] = {{"voids", {45, 150, {{"at", 260}, {"residual", 30}}}}};
    window->load(ScenarioDocument(diary));
    const Scenario accepted = *window->scenario();
    const int points = static_cast<QLineSeries*>(plots->chart(2)->series().back())->count();
    auto* rows = control<QTableWidget>(window, QStringLiteral("diaryVoids"));
    rows->item(1, 0)->setText(QStringLiteral("30"));
    auto* editor = control<ScenarioEditor>(window, QStringLiteral("scenarioEditor"));
    EXPECT_EQ(editor->markedField(), rows);
    EXPECT_TRUE(editor->message().startsWith(QStringLiteral("Diary, row 2")))
        << editor->message().toStdString();
    EXPECT_EQ(*window->scenario(), accepted);
    EXPECT_EQ(static_cast<QLineSeries*>(plots->chart(2)->series().back())->count(), points);
    // Mended, the mark goes.
    rows->item(1, 0)->setText(QStringLiteral("150"));
    EXPECT_EQ(editor->markedField(), nullptr);
    EXPECT_TRUE(editor->message().isEmpty());
}

// Scrolled to its end, where an editor that shrinks would move every field under the mouse:
// ticking "Then regularly", an error line that comes and goes, and another pattern move none.
TEST_F(ScenarioWindowTest, NothingInTheEditorMovesUnderTheMouse) {
    nlohmann::json diary = newScenarioDocument().json();
    diary["voiding"] = {{"voids", {45, 150, 260}}};
    QWidget* window = module->openers().scenario({}, diary.dump());
    ASSERT_NE(window, nullptr);
    window->resize(1280, 520);
    settle();
    auto* editor = control<ScenarioEditor>(window, QStringLiteral("scenarioEditor"));
    auto* scroll = qobject_cast<QScrollArea*>(editor->parentWidget()->parentWidget());
    ASSERT_NE(scroll, nullptr);
    QScrollBar* bar = scroll->verticalScrollBar();
    // Where each field, button and list a click can land in is in the window.
    auto places = [&] {
        settle();
        std::map<QString, QRect> found;
        for (QWidget* field : editor->findChildren<QWidget*>()) {
            if (!field->objectName().isEmpty() && field->isVisible() &&
                field->focusPolicy() != Qt::NoFocus) {
                found[field->objectName()] =
                    QRect(field->mapTo(window, QPoint(0, 0)), field->size());
            }
        }
        return found;
    };
    auto* end = control<QLineEdit>(window, QStringLiteral("endTime"));
    auto* then = control<QCheckBox>(window, QStringLiteral("diaryThen"));
    auto* pattern = control<QComboBox>(window, QStringLiteral("voidingPattern"));
    const std::vector<std::pair<const char*, std::function<void()>>> steps{
        {"then ticked", [&] { then->click(); }},
        {"then unticked", [&] { then->click(); }},
        {"an error line",
         [&] {
             end->setText(QStringLiteral("not a number, and a long reason to wrap the line"));
             emit end->textEdited(end->text());
         }},
        {"the error mended",
         [&] {
             end->clear();
             emit end->textEdited(end->text());
         }},
        {"regular pattern", [&] { pattern->setCurrentIndex(1); }},
        {"the tables' pattern", [&] { pattern->setCurrentIndex(0); }}};
    for (const auto& [what, step] : steps) {
        bar->setValue(bar->maximum());
        ASSERT_GT(bar->value(), 0);
        const auto start = places();
        step();
        const auto now = places();
        for (const auto& [name, place] : start) {
            if (now.contains(name))
                EXPECT_EQ(now.at(name), place) << what << ": " << name.toStdString();
        }
    }
}

TEST_F(ScenarioWindowTest, SavedScenarioReadsBackAndAFailingExportKeepsTheOldFile) {
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, {}));
    nlohmann::json document = newScenarioDocument().json();
    document["administered_activity"] = 7400;
    document["fill_rate"] = {
        {"steps", {{{"from", 0}, {"rate", 2.0}}, {{"from", 120}, {"rate", 0.7}}}}};
    document["voiding"] = {{"voids", {45, 150, {{"at", 260}, {"residual", 30}}}},
                           {"then", {{"interval", 150}, {"bedtime", "22:30"}, {"wake", "06:45"}}}};
    window->load(ScenarioDocument(document));
    ASSERT_TRUE(window->scenario().has_value());
    // Exported at once, before the event loop ran, the plots are this scenario's: in MBq and
    // mGy, with none of the first scenario's axes left behind.
    const QString first = folder.filePath(QStringLiteral("first.svg"));
    ASSERT_TRUE(window->exportPlots(first));
    QFile drawing(first);
    ASSERT_TRUE(drawing.open(QIODevice::ReadOnly));
    const QByteArray svg = drawing.readAll();
    EXPECT_TRUE(svg.contains("Dose (mGy)"));
    EXPECT_FALSE(svg.contains("mGy/MBq"));
    const QString path = folder.filePath(QStringLiteral("patient.json"));
    ASSERT_TRUE(window->saveFile(path));
    auto* reopened = static_cast<ScenarioWindow*>(module->openers().scenario(path, {}));
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(*reopened->scenario(), *window->scenario());
    EXPECT_EQ(doseText(reopened), doseText(window));
    EXPECT_TRUE(doseText(window).contains(QStringLiteral("mGy for 7400 MBq")));

    // When the file cannot grow past a few bytes (a full disk, a quota), each export fails,
    // says so and keeps the old file.
    QStringList targets;
    for (const char* name : {"plots.png", "plots.svg", "report.pdf"}) {
        targets << folder.filePath(QString::fromLatin1(name));
        QFile old(targets.back());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{16, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written[] = {window->exportPlots(targets[0]), window->exportPlots(targets[1]),
                            window->exportReport(targets[2])};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    EXPECT_EQ(messages.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(written[i]) << i;
        QFile file(targets[i]);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("old")) << i;
        EXPECT_TRUE(messages.value(i).contains(targets[i])) << messages.value(i).toStdString();
    }
    // Where it can write, it writes: a PDF of one page.
    ASSERT_TRUE(window->exportReport(folder.filePath(QStringLiteral("report.pdf"))));
    QFile pdf(folder.filePath(QStringLiteral("report.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF"));
}

// The mouse's read-out under the plots belongs to the scenario it was read from: an export
// leaves it out and a recompute clears it. While the editor shows an error, the large dose of
// the last valid scenario says that it is out of date.
TEST_F(ScenarioWindowTest, TheReadoutIsNeverExportedAndAnErrorMarksTheDoseOutOfDate) {
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, {}));
    ASSERT_NE(window, nullptr);
    window->show();
    settle();
    auto* plots = control<ScenarioPlots>(window, QStringLiteral("scenarioPlots"));
    auto* view = control<QChartView>(window, QStringLiteral("doseChartView"));
    const QPointF middle = view->viewport()->rect().center();
    QMouseEvent move(QEvent::MouseMove, middle, view->viewport()->mapToGlobal(middle), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    const QString readout = plots->readout();
    ASSERT_TRUE(readout.contains(QStringLiteral("dose so far"))) << readout.toStdString();

    const QString svgPath = folder.filePath(QStringLiteral("plots.svg"));
    ASSERT_TRUE(window->exportPlots(svgPath));
    QFile svg(svgPath);
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray drawing = svg.readAll();
    EXPECT_TRUE(drawing.contains("Volume (ml)"));  // the drawing's texts are in the file
    EXPECT_FALSE(drawing.contains("dose so far"));
    EXPECT_EQ(plots->readout(), readout);  // still on screen

    const QString before = doseText(window);
    auto* interval = control<QLineEdit>(window, QStringLiteral("voidInterval"));
    interval->setText(QStringLiteral("-5"));
    emit interval->textEdited(interval->text());
    EXPECT_EQ(doseText(window),
              before + QStringLiteral("   (out of date: the editor shows an error)"));
    interval->setText(QStringLiteral("180"));
    emit interval->textEdited(interval->text());
    EXPECT_EQ(doseText(window), before);
    EXPECT_TRUE(plots->readout().isEmpty());
}

// Tools > Patient scenario... starts from the input window's values; a library entry chosen in
// the editor gives the dose of a file naming it by {"library": NAME}.
TEST_F(ScenarioWindowTest, StartsFromTheInputValuesAndOffersTheLibrary) {
    choose("Tc-99m MAG3");
    field(input, 1)->setText(QStringLiteral("0.5"));  // not the standard's fraction
    input->findChild<QAction*>(QStringLiteral("scenarioAction"))->trigger();
    settle();
    auto* window = static_cast<ScenarioWindow*>(openWindow("scenarioWindow"));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_EQ(window->scenario()->radiopharmaceutical.fraction[0], 0.5);
    EXPECT_EQ(window->scenario()->radiopharmaceutical.name, "Tc-99m MAG3");
    const QString typedDose = doseText(window);

    auto* choice = control<QComboBox>(window, QStringLiteral("scenarioRadiopharmaceutical"));
    const int entry = choice->findText(QStringLiteral("Lu-177 PSMA-617"));
    ASSERT_GE(entry, 0);
    choice->setCurrentIndex(entry);
    settle();
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_NE(doseText(window), typedDose);

    nlohmann::json document = newScenarioDocument().json();
    document["radiopharmaceutical"] = {{"library", "Lu-177 PSMA-617"}};
    const QString path = folder.filePath(QStringLiteral("library.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(document.dump()));
    file.close();
    auto* read = static_cast<ScenarioWindow*>(module->openers().scenario(path, {}));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(doseText(read), doseText(window));
    EXPECT_EQ(*read->scenario(), *window->scenario());
    // The file's entry is shown as the same choice, and saved as a name again.
    EXPECT_EQ(
        control<QComboBox>(read, QStringLiteral("scenarioRadiopharmaceutical"))->currentText(),
        QStringLiteral("Lu-177 PSMA-617"));
    ASSERT_TRUE(read->saveFile(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(nlohmann::json::parse(file.readAll().toStdString())["radiopharmaceutical"],
              document["radiopharmaceutical"]);
}

// {"standard": 13} is I-131 NaI here as in every other reader; the choices are the workbench's,
// without a user's entry that takes a standard's name; a scenario's warnings are shown next to
// the dose, as the workbench gives them to every door.
TEST_F(ScenarioWindowTest, CountsStandardsFromZeroOffersTheWorkbenchsChoicesAndWarns) {
    const QString xdg = folder.filePath(QStringLiteral("xdg"));
    ASSERT_TRUE(QDir().mkpath(xdg + QStringLiteral("/orvane")));
    const std::filesystem::path shipped = installedLibraryLocations().shipped;
    nlohmann::json user = nlohmann::json::parse(std::ifstream(shipped));
    nlohmann::json taken = user["entries"][0];
    taken["name"] = "Tc-99m MAG3";
    user["entries"] = {taken};
    std::ofstream(xdg.toStdString() + "/orvane/radiopharmaceuticals.json") << user.dump();
    ASSERT_EQ(setenv("XDG_DATA_HOME", xdg.toUtf8().constData(), 1), 0);

    nlohmann::json document = newScenarioDocument().json();
    document["radiopharmaceutical"] = {{"standard", 13}};
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, document.dump()));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_EQ(window->scenario()->radiopharmaceutical.name, "I-131 NaI");
    EXPECT_EQ(window->result().dose, computed(document, module->standardData()).dose);
    auto* choice = control<QComboBox>(window, QStringLiteral("scenarioRadiopharmaceutical"));
    EXPECT_EQ(choice->currentText(), QStringLiteral("I-131 NaI"));

    const Workbench workbench(module->standardData(), installedLibraryLocations());
    unsetenv("XDG_DATA_HOME");
    QStringList offered, expected;
    for (int i = 0; i < choice->count(); ++i) offered << choice->itemText(i);
    for (const std::string& name : workbench.choiceNames()) {
        expected << QString::fromStdString(name);
    }
    EXPECT_EQ(offered, expected);
    EXPECT_EQ(offered.count(QStringLiteral("Tc-99m MAG3")), 1);

    auto* warned = control<QLabel>(window, QStringLiteral("scenarioWarnings"));
    EXPECT_TRUE(warned->isHidden());
    const nlohmann::json scenarios = nlohmann::json::parse(
        std::ifstream(ORVANE_SOURCE_DIR "/tests/data/warned-scenarios.json"))["scenarios"];
    for (const nlohmann::json& item : scenarios) {
        window->load(ScenarioDocument(item["scenario"]));
        const ScenarioInput input = workbench.readScenario(item["scenario"]);
        const std::vector<Warning> warnings =
            workbench.scenarioWarnings(input, computed(input.scenario, module->standardData()));
        ASSERT_EQ(warnings.size(), item["warned"].size());
        EXPECT_EQ(window->warnings(), warnings);
        QStringList lines;
        for (const Warning& w : warnings) lines << QString::fromStdString(w.message);
        EXPECT_EQ(warned->text(), lines.join(QLatin1Char('\n')));
        EXPECT_FALSE(warned->isHidden());
    }
}

// Age and sex alone make the reference patient's scenario, as every door reads it: its values
// stand as placeholders with their sources, the volume plot draws its capacity, a typed value
// overrides one, a refused age is named, and the file saved keeps "patient" and only what was
// typed (the capacity pattern too).
TEST_F(ScenarioWindowTest, AgeAndSexAloneMakeTheReferencePatientsScenario) {
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, {}));
    auto type = [window](const char* name, const QString& text) {
        auto* edit = control<QLineEdit>(window, QString::fromLatin1(name));
        edit->setText(text);
        emit edit->textEdited(text);
    };
    for (const char* name : {"scenarioName", "administrationTime"}) type(name, QString());
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("patientValues")),
                      Qt::LeftButton);
    type("patientAge", QStringLiteral("5"));
    control<QComboBox>(window, QStringLiteral("patientSex"))
        ->setCurrentText(QStringLiteral("female"));
    nlohmann::json girl = {{"radiopharmaceutical", {{"standard", "Tc-99m MAG3"}}},
                           {"patient", {{"age", 5}, {"sex", "female"}}}};
    const Workbench workbench(module->standardData(), installedLibraryLocations());
    const ScenarioInput input = workbench.readScenario(girl);
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_EQ(*window->scenario(), input.scenario);
    EXPECT_EQ(doseText(window), doseLine(computed(input.scenario, module->standardData()).dose));
    std::map<std::string, SourcedInput> taken;
    for (const SourcedInput& value : input.scenario.origin.patient->values)
        taken[value.path] = value;
    for (const auto& [path, name] : {std::pair{"initial_volume", "initialVolume"},
                                     {"fill_rate.night_from", "nightFrom"},
                                     {"voiding.capacity", "voidCapacity"}}) {
        const SourcedInput& value = taken.at(path);  // throws: not taken
        const auto* edit = control<QLineEdit>(window, QString::fromLatin1(name));
        EXPECT_EQ(edit->text().toStdString() + edit->placeholderText().toStdString(), value.shown);
        EXPECT_TRUE(edit->toolTip().contains(QString::fromStdString(value.provenance.sources[0])))
            << path;
    }
    // The capacity in force, drawn across the volume chart and labelled.
    const double capacity = input.scenario.voiding.capacity.value();
    std::map<QString, QXYSeries*> series;
    for (QAbstractSeries* s :
         control<ScenarioPlots>(window, QStringLiteral("scenarioPlots"))->chart(0)->series())
        series[s->objectName()] = qobject_cast<QXYSeries*>(s);
    ASSERT_NE(series["capacity"], nullptr);
    EXPECT_EQ(series["capacity"]->at(1).y(), capacity);
    EXPECT_EQ(series["capacityLabel"]->pointLabelsFormat(),
              QStringLiteral("capacity %1 ml")
                  .arg(QString::fromStdString(formatSignificant(capacity, 4))));

    // A typed value overrides the patient's; a refused age is named and gives no placeholders.
    type("dayRate", QStringLiteral("0.6"));
    girl["fill_rate"] = {{"day", 0.6}};
    EXPECT_EQ(*window->scenario(), workbench.readScenario(girl).scenario);
    type("patientAge", QStringLiteral("120"));
    EXPECT_TRUE(control<QLabel>(window, QStringLiteral("scenarioMessage"))
                    ->text()
                    .startsWith(QStringLiteral("Age (years, 0-100, optional): expected an age")));
    EXPECT_TRUE(
        control<QLineEdit>(window, QStringLiteral("initialVolume"))->placeholderText().isEmpty());
    type("patientAge", QStringLiteral("5"));
    control<QComboBox>(window, QStringLiteral("voidingPattern"))->setCurrentIndex(3);
    EXPECT_EQ(window->scenario()->voiding.kind, VoidingKind::Capacity);
    EXPECT_EQ(window->scenario()->voiding.capacity, capacity);

    const QString path = folder.filePath(QStringLiteral("girl.json"));
    ASSERT_TRUE(window->saveFile(path));
    std::ifstream saved(path.toStdString());
    const nlohmann::json file = nlohmann::json::parse(saved);
    EXPECT_EQ(file["patient"], girl["patient"]);
    EXPECT_EQ(file["fill_rate"], girl["fill_rate"]);
    EXPECT_EQ(file["voiding"], nlohmann::json({{"pattern", "capacity"}}));
    EXPECT_EQ(file.size(), 4);  // and "radiopharmaceutical": no volume, no name
    auto* reopened = static_cast<ScenarioWindow*>(module->openers().scenario(path, {}));
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(*reopened->scenario(), *window->scenario());
    EXPECT_EQ(control<QLineEdit>(reopened, QStringLiteral("patientAge"))->text() + "," +
                  control<QComboBox>(reopened, QStringLiteral("patientSex"))->currentText(),
              QStringLiteral("5,female"));

    // Beside a library without the reference patients' file, the patient is refused as a key is.
    const std::filesystem::path shipped = installedLibraryLocations().shipped;
    const std::filesystem::path alone = folder.filePath(QStringLiteral("lib.json")).toStdString();
    std::filesystem::copy_file(shipped, alone);
    ScenarioWindow bare(*module, {alone});
    bare.load(ScenarioDocument(girl));
    EXPECT_FALSE(bare.scenario().has_value());
    EXPECT_TRUE(control<QLabel>(&bare, QStringLiteral("scenarioMessage"))
                    ->text()
                    .contains(QStringLiteral("patients.json")));
}

}  // namespace
}  // namespace orvane::testing
