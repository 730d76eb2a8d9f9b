// Orvane: the windows of the urinary-bladder-wall dose calculator.
#include <QApplication>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/startup.h"
#include "engine/version.h"
#include "gui/common/module1.h"

namespace {

constexpr const char* kUsage =
    "Usage: orvane [--scenario FILE] [Qt options]\n"
    "       orvane --help | --version\n"
    "\n"
    "Opens the input window of Orvane, the calculator of the absorbed dose to the urinary\n"
    "bladder wall (mGy/MBq) from a radiopharmaceutical excreted in urine.\n"
    "\n"
    "  --scenario FILE  also open a scenario window on the scenario file FILE\n"
    "  -h, --help       print this usage and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "Qt's own options, such as -platform NAME or -style NAME, are passed to Qt.\n"
    "orvane-cli computes the same dose tables from the command line; see orvane(1) and\n"
    "orvane-cli(1).\n";

// Prints text on standard output: status 0, or 1 with a message when it cannot be written.
int print(const std::string& text) {
    std::cout << text << std::flush;
    if (std::cout) return 0;
    std::cerr << "orvane: cannot write to standard output\n";
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return print(kUsage);
        }
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        return print(std::string("orvane ") + orvane::kVersion + "\n");
    }
    QApplication application(argc, argv);
    // QApplication adopts the user's locale for the C library too; numbers stay with '.'.
    std::setlocale(LC_NUMERIC, "C");
    // orvane --scenario FILE: a scenario window on the file beside the input window.
    const QStringList arguments = QApplication::arguments();
    QString scenarioFile;
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--scenario")) {
        scenarioFile = arguments[2];
    } else if (arguments.size() > 1) {
        std::cerr << kUsage;
        return 2;
    }

    // A failure to start is also told on the terminal, for a user who started it from there.
    const orvane::MessageSink showAndTell = [](QWidget* parent, const QString& text) {
        std::cerr << "orvane: " << text.toStdString() << "\n";
        orvane::messageBoxSink()(parent, text);
    };
    QString failure;
    const std::filesystem::path dataFile = orvane::installedDataFile(failure);
    if (dataFile.empty()) {
        showAndTell(nullptr, failure);
        return 1;
    }
    orvane::Module1 module(dataFile, {.messageSink = showAndTell});
    if (const int status = orvane::startOrvane(module, scenarioFile); status != 0) {
        return status;
    }
    return QApplication::exec();
}
