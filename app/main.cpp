// Orvane: the windows of the urinary-bladder-wall dose calculator.
#include <QApplication>
#include <QMessageBox>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/module1.h"
#include "app/screenshot_demo.h"
#include "library/standards.h"
#include "ui/input/form1.h"

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

namespace {

int refuseToStart(const orvane::DataFileError& error) {
    QMessageBox::critical(nullptr, QStringLiteral("Orvane"),
                          QStringLiteral("Orvane cannot start: the data file of standard values "
                                         "cannot be used.\n\n") +
                              QString::fromStdString(error.what()));
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "orvane " ORVANE_VERSION "\n";
        return 0;
    }
    QApplication application(argc, argv);

    std::filesystem::path dataFile;
    try {
        dataFile = orvane::dataFilePathFor(orvane::executableDirectory());
    } catch (const orvane::DataFileError& error) {
        return refuseToStart(error);
    }
    orvane::Module1 module(dataFile);
    try {
        orvane::Form1::open(module, orvane::messageBoxSink());
    } catch (const orvane::DataFileError& error) {
        return refuseToStart(error);
    }

    // Hidden option used by scripts/screenshots.
    const QStringList arguments = QApplication::arguments();
    const qsizetype demo = arguments.indexOf(QStringLiteral("--screenshot-demo"));
    if (demo > 0 && demo + 1 < arguments.size()) {
        orvane::runScreenshotDemo(arguments[demo + 1]);
    }
    return QApplication::exec();
}
