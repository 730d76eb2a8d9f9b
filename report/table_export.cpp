#include "report/table_export.h"

#include <cstddef>

#include "engine/calculation.h"
#include "engine/numtext.h"

namespace orvane {
namespace {

// A typed name may hold anything; in a cell, tabs and line breaks would split the table.
std::string oneCell(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

}  // namespace

std::string doseTableTabSeparated(const DoseResults& results, int schedule) {
    if (schedule < 0 || schedule >= kScheduleCount) return {};
    const auto index = static_cast<std::size_t>(schedule);
    const FillRateSchedule& rates = kFillRateSchedules[index];
    const DoseTable& table = results.tables[index];

    std::string text = oneCell(results.parameters.name) + "\tBladder dose (mGy/MBq)\tfill rate " +
                       fillRateText(rates) + " day/night\n";
    text += "V0 (ml) \\ T0 (min)";
    for (double t0 : results.grids.t0Grid) text += "\t" + formatWhole(t0);
    text += "\n";
    for (int v = 0; v < kV0Count; ++v) {
        text += formatWhole(results.grids.v0Grid[static_cast<std::size_t>(v)]);
        for (int t = 0; t < kT0Count; ++t) text += "\t" + formatScientific(table.at(t, v));
        text += "\n";
    }
    return text;
}

}  // namespace orvane
