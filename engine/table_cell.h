// A cell of the dose tables as a patient scenario.
#pragma once

#include "engine/model.h"
#include "engine/scenario.h"

namespace orvane {

// The calculation's radiopharmaceutical, V0 of row v0Index, the schedule's day and night rates
// and the tables' voiding from the T0 of column t0Index: its dose is the cell's.
Scenario tableCellScenario(const DoseResults& results, int schedule, int v0Index, int t0Index);

}  // namespace orvane
