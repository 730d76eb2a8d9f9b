// The dose tables as CSV: one row per cell with the context to read it alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/model.h"

namespace orvane {

// One CSV field: quoted (with doubled quotes) when it holds a comma, a quote, a line break or
// blanks at either end.
std::string csvField(std::string_view text);

// A header, then rows schedule,V0_ml,T0_min,dose_mGy_per_MBq,day_rate_ml_per_min,
// night_rate_ml_per_min,name for schedules 1..3 (or the one given, 1..3), V0 and T0 in grid
// order; doses at 17 significant digits, rates in their shortest exact form. Lines end in LF.
std::string doseTablesCsv(const DoseResults& results, std::optional<int> schedule = {});

}  // namespace orvane
