#include "app/startup.h"

#include "gui/input/form1.h"
#include "gui/results/form2.h"
#include "gui/save/form3.h"
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
    module.openers.input = [&module](const MessageSink& sink) -> QWidget* {
        return Form1::open(module, sink);
    };
    module.openers.results = [&module](const MessageSink& sink) -> QWidget* {
        auto* results = new Form2(module, [&module, sink] { module.openers.input(sink); });
        results->messageSink = sink;
        results->show();
        results->renderSchedule(0);
        return results;
    };
    module.openers.save = [&module](const MessageSink& sink) -> QWidget* {
        if (!module.saveWindow || !module.saveWindow->isVisible()) {
            // A closed one only waits for its deletion.
            auto* form = new Form3(module);
            form->messageSink = sink;
            module.saveWindow = form;
        }
        QWidget* form = module.saveWindow;
        form->show();
        form->raise();
        form->activateWindow();
        return form;
    };
}

int startOrvane(Module1& module, const MessageSink& messageSink) {
    connectWindows(module);
    try {
        Form1::open(module, messageSink);
    } catch (const DataFileError& error) {
        messageSink(nullptr, startFailure(error));
        return 1;
    }
    return 0;
}

}  // namespace orvane
