// orvane-screenshots OUTPUT_FOLDER: starts the windows as orvane does, then walks through a
// typical session and writes the README's pictures into OUTPUT_FOLDER.
#include <QApplication>
#include <clocale>
#include <filesystem>
#include <iostream>

#include "app/startup.h"
#include "gui/common/module1.h"
#include "tools/screenshots/screenshot_demo.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: orvane-screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    QApplication application(argc, argv);
    // QApplication adopts the user's locale for the C library too; numbers stay with '.'.
    std::setlocale(LC_NUMERIC, "C");
    const orvane::MessageSink tell = [](QWidget*, const QString& text) {
        std::cerr << "orvane-screenshots: " << text.toStdString() << "\n";
    };
    QString failure;
    const std::filesystem::path dataFile = orvane::installedDataFile(failure);
    if (dataFile.empty()) {
        tell(nullptr, failure);
        return 1;
    }
    orvane::Module1 module(dataFile, {.messageSink = tell});
    if (const int status = orvane::startOrvane(module); status != 0) return status;
    orvane::runScreenshotDemo(module, QString::fromLocal8Bit(argv[1]));
    return QApplication::exec();
}
