// The scenario window's files and choices: a saved scenario reads back the same (every example
// among them) and a failing export keeps the old file; a library entry, a standard by number and
// a reference patient give what every other door gives, with its warnings.
#include <QAction>
#include <QChart>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QXYSeries>
#include <fstream>
#include <map>

#include "gui/library/library_dialog.h"
#include "gui/scenario/scenario_plots.h"
#include "library/measurements_file.h"
#include "library/workbench.h"
#include "scenario_test_support.h"

namespace orvane::testing {
namespace {

// Every example, and the keys that only some files give (a fill rate from the measured voids,
// night voids, the tables' intervals), opens in the window and saves back to the same scenario
// and the same sections, as the front door reads them.
TEST_F(ScenarioWindowTest, EveryExampleAndEveryKeyOfTheEditorSavesBackTheSame) {
    std::vector<std::pair<QString, nlohmann::json>> files;
    const QDir examples(QStringLiteral(ORVANE_SOURCE_DIR "/examples"));
    for (const QString& name : examples.entryList({QStringLiteral("*.json")}))
        files.push_back(
            {name, nlohmann::json::parse(std::ifstream(examples.filePath(name).toStdString()))});
    ASSERT_GE(files.size(), 7u);
    nlohmann::json measured = newScenarioDocument().json();
    measured["administered_activity"] = 7400;
    measured["fill_rate"] = "from_voids";
    measured["voiding"] = {{"voids", {90, 240}}, {"then", {{"interval", 180}}}};
    measured["measurements"] = {{"voids",
                                 {{{"at", 90}, {"volume", 120}, {"activity", 1500}},
                                  {{"at", 240}, {"volume", 200}, {"activity", 900}}}},
                                {"relative_sd", 0.05}};
    measured["fit"] = {{"components", 1}, {"interval", 0.9}, {"samples", 0}, {"seed", 3}};
    nlohmann::json nights = newScenarioDocument().json();
    nights["voiding"]["night_voids"] = true;
    nlohmann::json table = newScenarioDocument().json();
    table["fill_rate"] = {{"day", 1.0}, {"night", 0.5}};
    table["voiding"] = {{"pattern", "table"}, {"first_void", 60}, {"intervals", 5}};
    files.insert(files.end(),
                 {{"from voids", measured}, {"night voids", nights}, {"intervals", table}});

    const Workbench workbench(module->standardData(), installedLibraryLocations());
    const auto scenarioOf = [&workbench](const nlohmann::json& d) {
        return hasFitSections(d) ? readMeasuredScenario(workbench, d).input.scenario
                                 : workbench.readScenario(d).scenario;
    };
    const QString path = folder.filePath(QStringLiteral("file.json"));
    for (const auto& [name, original] : files) {
        std::ofstream(path.toStdString()) << original.dump();
        auto* window = static_cast<ScenarioWindow*>(module->openers().scenario(path, {}));
        ASSERT_NE(window, nullptr) << name.toStdString() << messages.join(' ').toStdString();
        ASSERT_TRUE(window->saveFile(path)) << name.toStdString();
        const auto saved = nlohmann::json::parse(std::ifstream(path.toStdString()));
        EXPECT_EQ(scenarioOf(saved), scenarioOf(original)) << name.toStdString();
        for (const char* key : {"radiopharmaceutical", "fill_rate", "uncertainty", "fit"})
            EXPECT_EQ(saved.value(key, nlohmann::json()), original.value(key, nlohmann::json()))
                << name.toStdString() << " " << key;
        const auto measured = [](const nlohmann::json& d) {
            return readMeasurementSections(ScenarioDocument(d)).value_or(MeasurementSections{});
        };
        EXPECT_EQ(measured(saved).measurements, measured(original).measurements)
            << name.toStdString();
        window->close();
    }
}

// Exported at once, before the event loop ran, the plots are the scenario's just loaded: in
// MBq and mGy, with none of the first scenario's axes left behind.
TEST_F(ScenarioWindowTest, ExportsTheScenarioShownAndAFailingExportKeepsTheOldFile) {
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, {}));
    nlohmann::json document = newScenarioDocument().json();
    document["administered_activity"] = 7400;
    window->load(ScenarioDocument(document));
    ASSERT_TRUE(window->scenario().has_value());
    const QString first = folder.filePath(QStringLiteral("first.svg"));
    ASSERT_TRUE(window->exportPlots(first));
    const QByteArray svg = readBytes(first);
    EXPECT_TRUE(svg.contains("Dose (mGy)"));
    EXPECT_FALSE(svg.contains("mGy/MBq"));
    EXPECT_TRUE(doseText(window).contains(QStringLiteral("mGy for 7400 MBq")));

    // When the file cannot grow past a few bytes (a full disk, a quota), each export fails,
    // says so and keeps the old file.
    QStringList targets;
    for (const char* name : {"plots.png", "plots.svg", "report.pdf"}) {
        targets << folder.filePath(QString::fromLatin1(name));
        writeBytes(targets.back(), "old");
    }
    bool written[3];
    {
        FileSizeLimit fullDisk(16);
        written[0] = window->exportPlots(targets[0]);
        written[1] = window->exportPlots(targets[1]);
        written[2] = window->exportReport(targets[2]);
    }
    EXPECT_EQ(messages.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(written[i]) << i;
        EXPECT_EQ(readBytes(targets[i]), QByteArray("old")) << i;
        EXPECT_TRUE(messages.value(i).contains(targets[i])) << messages.value(i).toStdString();
    }
    // Where it can write, it writes: a PDF of one page.
    ASSERT_TRUE(window->exportReport(targets[2]));
    EXPECT_TRUE(readBytes(targets[2]).startsWith("%PDF"));
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

    auto* choice = control<QComboBox>(window, "scenarioRadiopharmaceutical");
    const int entry = choice->findText(QStringLiteral("Lu-177 PSMA-617"));
    ASSERT_GE(entry, 0);
    choice->setCurrentIndex(entry);
    settle();
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_NE(doseText(window), typedDose);

    // A document naming the entry gives the same scenario, the entry shown as the same choice
    // (saved as a name again: the examples' test).
    nlohmann::json document = newScenarioDocument().json();
    document["radiopharmaceutical"] = {{"library", "Lu-177 PSMA-617"}};
    auto* read = static_cast<ScenarioWindow*>(module->openers().scenario({}, document.dump()));
    EXPECT_EQ(*read->scenario(), *window->scenario());
    EXPECT_EQ(control<QComboBox>(read, "scenarioRadiopharmaceutical")->currentText(),
              choice->itemText(entry));
}

// {"standard": 13} is I-131 NaI here as in every other reader; the choices are the workbench's,
// without a user's entry that takes a standard's name; a scenario's warnings are shown next to
// the dose, as the workbench gives them to every door.
TEST_F(ScenarioWindowTest, CountsStandardsFromZeroOffersTheWorkbenchsChoicesAndWarns) {
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("orvane")));
    const std::filesystem::path shipped = installedLibraryLocations().shipped;
    nlohmann::json user = nlohmann::json::parse(std::ifstream(shipped));
    nlohmann::json taken = user["entries"][0];
    taken["name"] = "Tc-99m MAG3";
    user["entries"] = {taken};
    writeBytes(folder.filePath(QStringLiteral("orvane/radiopharmaceuticals.json")), user.dump());

    nlohmann::json document = newScenarioDocument().json();
    document["radiopharmaceutical"] = {{"standard", 13}};
    auto* window = static_cast<ScenarioWindow*>(module->openers().scenario({}, document.dump()));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->scenario().has_value());
    EXPECT_EQ(window->scenario()->radiopharmaceutical.name, "I-131 NaI");
    EXPECT_EQ(window->result().dose, computed(document, module->standardData()).dose);
    auto* choice = control<QComboBox>(window, "scenarioRadiopharmaceutical");
    EXPECT_EQ(choice->currentText(), QStringLiteral("I-131 NaI"));

    const Workbench workbench(module->standardData(), installedLibraryLocations());
    QStringList offered, expected;
    for (int i = 0; i < choice->count(); ++i) offered << choice->itemText(i);
    for (const std::string& name : workbench.choiceNames()) {
        expected << QString::fromStdString(name);
    }
    EXPECT_EQ(offered, expected);
    EXPECT_EQ(offered.count(QStringLiteral("Tc-99m MAG3")), 1);

    auto* warned = control<QLabel>(window, "scenarioWarnings");
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
    for (const char* name : {"scenarioName", "administrationTime"}) type(window, name, {});
    QTest::mouseClick(control<QPushButton>(window, "patientValues"), Qt::LeftButton);
    type(window, "patientAge", QStringLiteral("5"));
    control<QComboBox>(window, "patientSex")->setCurrentText(QStringLiteral("female"));
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
        const auto* edit = control<QLineEdit>(window, name);
        EXPECT_EQ(edit->text().toStdString() + edit->placeholderText().toStdString(), value.shown);
        EXPECT_TRUE(edit->toolTip().contains(QString::fromStdString(value.provenance.sources[0])))
            << path;
    }
    // The capacity in force, drawn across the volume chart and labelled.
    const double capacity = input.scenario.voiding.capacity.value();
    QChart* volumes = control<ScenarioPlots>(window, "scenarioPlots")->chart(0);
    auto *line = seriesNamed<QXYSeries>(volumes, "capacity"),
         *label = seriesNamed<QXYSeries>(volumes, "capacityLabel");
    ASSERT_TRUE(line && label);
    EXPECT_EQ(line->at(1).y(), capacity);
    EXPECT_EQ(label->pointLabelsFormat(),
              QStringLiteral("capacity %1 ml")
                  .arg(QString::fromStdString(formatSignificant(capacity, 4))));

    // A typed value overrides the patient's; a refused age is named and gives no placeholders.
    type(window, "dayRate", QStringLiteral("0.6"));
    girl["fill_rate"] = {{"day", 0.6}};
    EXPECT_EQ(*window->scenario(), workbench.readScenario(girl).scenario);
    type(window, "patientAge", QStringLiteral("120"));
    EXPECT_TRUE(labelText(window, "scenarioMessage")
                    .startsWith(QStringLiteral("Age (years, 0-100, optional): expected an age")));
    EXPECT_TRUE(control<QLineEdit>(window, "initialVolume")->placeholderText().isEmpty());
    type(window, "patientAge", QStringLiteral("5"));
    control<QComboBox>(window, "voidingPattern")->setCurrentIndex(3);
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
    EXPECT_EQ(control<QLineEdit>(reopened, "patientAge")->text() + "," +
                  control<QComboBox>(reopened, "patientSex")->currentText(),
              QStringLiteral("5,female"));

    // Beside a library without the reference patients' file, the patient is refused as a key is.
    const std::filesystem::path shipped = installedLibraryLocations().shipped;
    const std::filesystem::path alone = folder.filePath(QStringLiteral("lib.json")).toStdString();
    std::filesystem::copy_file(shipped, alone);
    ScenarioWindow bare(*module, {alone, std::nullopt});
    bare.load(ScenarioDocument(girl));
    EXPECT_FALSE(bare.scenario().has_value());
    EXPECT_TRUE(labelText(&bare, "scenarioMessage").contains(QStringLiteral("patients.json")));
}

}  // namespace
}  // namespace orvane::testing
