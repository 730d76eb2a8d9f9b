#include "app/startup.h"

#include "library/standards.h"
#include "ui/input/form1.h"

namespace orvane {
namespace {

QString startFailure(const DataFileError& error) {
    return QStringLiteral("Orvane cannot start: the data file of standard values cannot be "
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

int startOrvane(Module1& module, const MessageSink& messageSink) {
    try {
        Form1::open(module, messageSink);
    } catch (const DataFileError& error) {
        messageSink(nullptr, startFailure(error));
        return 1;
    }
    return 0;
}

}  // namespace orvane
