#include "engine/table_cell.h"

#include <cstddef>

namespace orvane {

Scenario tableCellScenario(const DoseResults& results, int schedule, int v0Index, int t0Index) {
    Scenario s;
    s.name = results.parameters.name;
    s.radiopharmaceutical = results.parameters;
    s.initialVolume = results.grids.v0Grid[static_cast<std::size_t>(v0Index)];
    const FillRateSchedule& rates = kFillRateSchedules[static_cast<std::size_t>(schedule)];
    s.fillRate.dayRate = rates.dayRate;
    s.fillRate.nightRate = rates.nightRate;
    s.voiding.kind = VoidingKind::Table;
    s.voiding.firstVoid = results.grids.t0Grid[static_cast<std::size_t>(t0Index)];
    return s;
}

}  // namespace orvane
