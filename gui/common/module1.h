// The program-wide state that the three windows share. main creates one Module1 and hands it
// to the windows by reference; every test makes its own.
#pragma once

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "engine/model.h"
#include "gui/common/window_support.h"
#include "library/standards.h"

namespace orvane {

// How one window opens another. The windows never include each other: app/ connects these.
struct WindowOpeners {
    // A fresh input window, loaded and shown. Throws DataFileError; no window is left then.
    std::function<QWidget*(const MessageSink&)> input;
    // A results window on the stored results, shown at schedule 1.
    std::function<QWidget*(const MessageSink&)> results;
    // The one save window, opened or brought forward.
    std::function<QWidget*(const MessageSink&)> save;
};

struct Module1 {
    explicit Module1(std::filesystem::path dataFile) : dataFilePath(std::move(dataFile)) {}

    // Reads the data file anew. Throws DataFileError and then keeps the previous data.
    void loadStandardData() { standardData = LoadStandardData(dataFilePath); }

    std::filesystem::path dataFilePath;
    StandardData standardData;
    // The last calculation, with the parameters (and name) and grids it was computed from.
    // The time estimate never writes here.
    std::optional<DoseResults> doseResults;
    // Full path of the results file, composed by the save window.
    std::string ResultsFilePath;
    WindowOpeners openers;
    // The save window while it is open; there is never more than one.
    QPointer<QWidget> saveWindow;
};

}  // namespace orvane
