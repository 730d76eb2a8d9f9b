// Orvane: the windows of the urinary-bladder-wall dose calculator.
#include <QApplication>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/startup.h"
#include "engine/version.h"
#include "gui/common/module1.h"

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "orvane " << orvane::kVersion << "\n" << std::flush;
        if (std::cout) return 0;
        std::cerr << "orvane: cannot write to standard output\n";
        return 1;
    }
    QApplication application(argc, argv);
    // orvane --scenario FILE: a scenario window on the file beside the input window.
    const QStringList arguments = QApplication::arguments();
    QString scenarioFile;
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--scenario")) {
        scenarioFile = arguments[2];
    } else if (arguments.size() > 1) {
        std::cerr << "usage: orvane [--version | --scenario FILE]\n";
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
