// Program start: connecting the windows, loading the data file and opening the input window.
#pragma once

#include <filesystem>

#include "gui/common/module1.h"
#include "gui/common/window_support.h"

namespace orvane {

// Fills module's window openers with the input, results, save and scenario windows.
void connectWindows(Module1& module);

// Connects the windows and opens the input window on module's data file. If the file cannot be
// used, shows one message (module's sink) that names the file and the failure, opens no window
// and returns 1; otherwise returns 0. With a scenario file, a scenario window opens on it too.
int startOrvane(Module1& module, const QString& scenarioFile = {});

// The data file next to the running program, or an empty path with the reason in message.
std::filesystem::path installedDataFile(QString& message);

}  // namespace orvane
