// Orvane: the windows of the urinary-bladder-wall dose calculator.
#include <QApplication>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/module1.h"
#include "app/screenshot_demo.h"
#include "app/startup.h"

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "orvane " ORVANE_VERSION "\n";
        return 0;
    }
    QApplication application(argc, argv);

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
    orvane::Module1 module(dataFile);
    if (const int status = orvane::startOrvane(module, showAndTell); status != 0) {
        return status;
    }

    // Hidden option used by scripts/screenshots.
    const QStringList arguments = QApplication::arguments();
    const qsizetype demo = arguments.indexOf(QStringLiteral("--screenshot-demo"));
    if (demo > 0 && demo + 1 < arguments.size()) {
        orvane::runScreenshotDemo(arguments[demo + 1]);
    }
    return QApplication::exec();
}
