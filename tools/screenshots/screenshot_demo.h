// Drives the windows through a typical session and saves a picture of each window: Tc-99m
// MAG3 chosen and timed, calculated, the graph's context menu opened, the results saved as
// PDF (results-print.pdf), the save window opened. For the README's screenshots.
#pragma once

#include <QString>

namespace orvane {

// Starts the session from the open input window; the program ends after the last picture.
void runScreenshotDemo(const QString& folder);

}  // namespace orvane
