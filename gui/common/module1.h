// The program-wide state that the windows share, and the services they use. main creates one
// Module1 and hands it to each window through its constructor; every test makes its own.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "engine/calculation.h"
#include "engine/model.h"
#include "gui/common/export_dialogs.h"
#include "gui/common/window_support.h"
#include "library/radiopharmaceuticals.h"
#include "library/standards.h"

namespace orvane {

// How one window opens another. The windows never include each other: app/ connects these.
struct WindowOpeners {
    // A fresh input window, loaded and shown. Throws DataFileError; no window is left then.
    std::function<QWidget*()> input;
    // A results window on the stored results, shown at schedule 1.
    std::function<QWidget*()> results;
    // The one save window, opened or brought forward.
    std::function<QWidget*()> save;
    // A scenario window on the scenario file at path, or on a scenario document (JSON text), or,
    // with both empty, on a new scenario. Null when the file cannot be used (it is reported).
    std::function<QWidget*(const QString& path, const std::string& document)> scenario;
    // A scenario window on a new scenario of this radiopharmaceutical (the input window's
    // values, already checked).
    std::function<QWidget*(const ModelParameters& values)> scenarioWithValues;
    // The cohort window (File > Run cohort), shown.
    std::function<QWidget*()> cohort;
    // The library dialog over parent, modal: the entry chosen, or nothing.
    std::function<std::optional<LibraryEntry>(QWidget* parent)> chooseRadiopharmaceutical;
    // Asks for a name, notes and a source and stores entry in the user's library.
    std::function<void(QWidget* parent, const LibraryEntry& entry)> saveRadiopharmaceutical;
};

// What the windows ask of the desktop; tests replace these to answer instead of a user.
struct WindowServices {
    MessageSink messageSink = messageBoxSink();
    ExportDialogs exportDialogs = standardExportDialogs();
    std::function<void()> quit = quitProgram;
    // Asks a yes/no question; true for yes.
    std::function<bool(QWidget* parent, const QString& question)> confirm = questionBox();
};

// The texts a calculation was started from, as the user typed them.
struct CalculationInput {
    FieldTexts fields;
    std::string name;
};

class Module1 : public QObject {
    Q_OBJECT
public:
    explicit Module1(std::filesystem::path dataFile, WindowServices services = {});

    const std::filesystem::path& dataFilePath() const { return dataFilePath_; }
    // Reads the data file anew. Throws DataFileError and then keeps the previous data.
    void loadStandardData();
    const StandardData& standardData() const { return standardData_; }

    // The last calculation, with the parameters (and name) and grids it was computed from, the
    // texts it was started from and when it finished. The time estimate never writes here.
    const std::optional<DoseResults>& doseResults() const { return doseResults_; }
    const std::optional<CalculationInput>& lastInput() const { return lastInput_; }
    const QDateTime& calculatedAt() const { return calculatedAt_; }
    // Stores a new calculation, stamped now, and emits doseResultsChanged.
    void setDoseResults(DoseResults results, CalculationInput input);

    // Full path of the results file, composed by the save window.
    const std::string& ResultsFilePath() const { return resultsFilePath_; }
    void setResultsFilePath(std::string path) { resultsFilePath_ = std::move(path); }
    // Emits resultsSaved for path, stamped now.
    void announceSaved(const QString& path);
    // Emits libraryChanged: an entry was saved to the user's library, which every window that
    // offers the libraries reads anew.
    void announceLibraryChanged() { emit libraryChanged(); }

    WindowServices& services() { return services_; }
    WindowOpeners& openers() { return openers_; }
    // The save window while it is open; there is never more than one.
    QPointer<QWidget>& saveWindow() { return saveWindow_; }

signals:
    void doseResultsChanged();
    void resultsSaved(const QString& path, const QDateTime& when);
    void libraryChanged();

private:
    std::filesystem::path dataFilePath_;
    StandardData standardData_;
    std::optional<DoseResults> doseResults_;
    std::optional<CalculationInput> lastInput_;
    QDateTime calculatedAt_;
    std::string resultsFilePath_;
    WindowServices services_;
    WindowOpeners openers_;
    QPointer<QWidget> saveWindow_;
};

}  // namespace orvane
