// Drives the windows through a typical session and saves a picture of each window: Tc-99m
// MAG3 chosen and timed, calculated, the graph's context menu opened, the results saved as
// PDF (results-print.pdf), the save window opened. For the README's screenshots.
#pragma once

#include <QString>

#include "gui/common/module1.h"

namespace orvane {

// Starts the session from the open input window of module; the program ends after the last
// picture.
void runScreenshotDemo(Module1& module, const QString& folder);

}  // namespace orvane
