// Every warning about a radiopharmaceutical or a scenario, decided here once for every door
// (the input window, the scenario window, orvane-cli and the Python module).
#pragma once

#include <optional>
#include <vector>

#include "engine/calculation.h"
#include "engine/scenario.h"
#include "engine/warning.h"
#include "library/radiopharmaceuticals.h"

namespace orvane {

// Sums of typed fractions carry rounding noise near 1e-16; a sum this far above 1 is meant.
inline constexpr double kFractionSumTolerance = 1e-9;
// A bladder that holds more than this at any time is far beyond a real one.
inline constexpr double kLargestBladderVolume = 1000.0;  // ml

// The warnings about typed fields that the calculation accepts (each path a field key, "f1",
// and each message beginning with the field's caption): fractions adding up to more than 1, a
// negative fraction, a fraction above 1, a rate constant whose 0.693/k differs from the
// biological half-life by more than 1 %, a blank Delta or Gamma while the other is set; then
// entryWarnings of the library entry the fields came from, if any.
std::vector<Warning> fieldWarnings(const FieldTexts& fields, const LibraryEntry* entry = nullptr);

// What a library entry says must be known wherever it is chosen (e.g. an alpha emitter), and
// a low confidence ("L", "L-M", "M-L"); path names where the entry was chosen.
std::vector<Warning> entryWarnings(const LibraryEntry& entry, const std::string& path);

// From this fraction of the administered activity left at a scenario's end, a warning says so.
inline constexpr double kActivityLeftWarning = 0.01;

// The same checks for a scenario's radiopharmaceutical (paths such as
// "radiopharmaceutical.components[1].half_life"; a Delta or Gamma of 0 counts as not given),
// entryWarnings of the library entry it names, and a bladder volume above
// kLargestBladderVolume at any time of the result, and activity left at the end from
// kActivityLeftWarning on (with how to continue the voiding).
std::vector<Warning> scenarioWarnings(const Scenario& scenario, const ScenarioResult& result,
                                      const LibraryEntry* entry = nullptr);

// A bladder that holds more than its capacity at any time of the result: its reference
// patient's (Scenario::origin) even where the file sets a larger one, else the scenario's own
// (voiding.capacity), else kAdultCapacity (not told again above kLargestBladderVolume).
inline constexpr double kAdultCapacity = 600.0;  // ml, the tables' adult
std::vector<Warning> capacityWarnings(const Scenario& scenario, const ScenarioResult& result);

// The cells of one dose table (0-based schedule; labelled V0 and T0 grids, through the first
// day and night) whose bladder holds more than kAdultCapacity, named in one warning, or none.
// The cells are the same whatever the radiopharmaceutical, so a warning with every calculation
// of all three tables would only repeat itself: without a schedule chosen there is none.
std::vector<Warning> tableCapacityWarnings(std::optional<int> schedule = std::nullopt);

}  // namespace orvane
