// The dose table of one schedule as tab-separated text, for pasting into a spreadsheet.
#pragma once

#include <string>

#include "engine/model.h"

namespace orvane {

// A title line (radiopharmaceutical, fill rates, unit), a header line "V0 (ml) \ T0 (min)"
// followed by the nine T0 values, then one line per V0: the V0 value and its nine doses.
// Values are those the window shows: the grids in "###", the doses in "scientific". Cells are
// separated by TAB, lines end in LF. An out-of-range schedule gives an empty text.
std::string doseTableTabSeparated(const DoseResults& results, int schedule);

}  // namespace orvane
