#include "app/startup.h"

#include "gui/input/form1.h"
#include "gui/library/entry_form.h"
#include "gui/library/library_dialog.h"
#include "gui/results/form2.h"
#include "gui/save/form3.h"
#include "gui/scenario/cohort_dialog.h"
#include "gui/scenario/scenario_window.h"
#include "library/install_paths.h"
#include "library/scenario_file.h"
#include "library/standards.h"

namespace orvane {
namespace {

QString startFailure(const DataFileError& error) {
    return QStringLiteral(
               "Orvane cannot start: the data file of standard values cannot be "
               "used.\n\n") +
           QString::fromStdString(error.what());
}

}  // namespace

std::filesystem::path installedDataFile(QString& message) {
    try {
        return dataFilePathFor(executableDirectory());
    } catch (const DataFileError& error) {
        message = startFailure(error);
        return {};
    }
}

void connectWindows(Module1& module) {
    module.openers().input = [&module]() -> QWidget* { return Form1::open(module); };
    module.openers().results = [&module]() -> QWidget* {
        auto* results = new Form2(module);
        results->show();
        results->renderSchedule(0);
        return results;
    };
    module.openers().save = [&module]() -> QWidget* {
        QPointer<QWidget>& held = module.saveWindow();
        // A closed one only waits for its deletion.
        if (!held || !held->isVisible()) held = new Form3(module);
        QWidget* form = held;
        form->show();
        form->raise();
        form->activateWindow();
        return form;
    };
    module.openers().scenario = [&module](const QString& path,
                                          const std::string& document) -> QWidget* {
        auto* window = new ScenarioWindow(module, installedLibraryLocations());
        if (!path.isEmpty()) {
            if (!window->openFile(path)) {
                delete window;
                return nullptr;
            }
        } else {
            window->load(document.empty() ? newScenarioDocument()
                                          : ScenarioDocument::parse(document));
        }
        window->show();
        return window;
    };
    module.openers().scenarioWithValues = [&module](const ModelParameters& values) {
        return module.openers().scenario({}, newScenarioDocument(values).text());
    };
    module.openers().cohort = [&module]() -> QWidget* {
        auto* window = new CohortDialog(module, installedLibraryLocations());
        window->show();
        return window;
    };

    module.openers().chooseRadiopharmaceutical =
        [&module](QWidget* parent) -> std::optional<LibraryEntry> {
        LibraryDialog dialog(installedLibraryLocations(), module.standardData().library,
                             module.services().messageSink, parent);
        dialog.exec();
        module.announceLibraryChanged();  // the dialog may have changed the user's entries
        return dialog.chosen();
    };
    module.openers().saveRadiopharmaceutical = [&module](QWidget* parent,
                                                         const LibraryEntry& entry) {
        saveInUserLibrary(parent, entry, installedLibraryLocations(), module.standardData().library,
                          module.services().messageSink);
        module.announceLibraryChanged();
    };
}

int startOrvane(Module1& module, const QString& scenarioFile) {
    connectWindows(module);
    try {
        Form1::open(module);
    } catch (const DataFileError& error) {
        module.services().messageSink(nullptr, startFailure(error));
        return 1;
    }
    // A scenario file that cannot be used is reported; the input window stays.
    if (!scenarioFile.isEmpty()) module.openers().scenario(scenarioFile, {});
    return 0;
}

}  // namespace orvane
