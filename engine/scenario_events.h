// The event list of a scenario: its voids and the pieces of constant fill rate between them.
#pragma once

#include <string>
#include <vector>

#include "engine/scenario.h"

namespace orvane {

inline constexpr int kMaxScenarioSegments = 4 * kMaxScenarioVoids;
inline constexpr double kMinutesPerDay = 1440.0;

// A stretch of constant fill rate. Each void closes the segment before it.
struct ScenarioSegment {
    double start = 0.0;        // min after administration
    double length = 0.0;       // min, > 0
    double startVolume = 0.0;  // ml
    double rate = 0.0;         // ml/min
    int voidIndex = -1;        // the void at its end, or -1
};

struct ScenarioEvents {
    std::vector<ScenarioSegment> segments;
    std::vector<double> voidTimes;      // min
    std::vector<double> voidResiduals;  // ml
    std::vector<double> voidVolumes;    // ml just before each void
    bool tableRule = false;             // one 16-point rule per interval, as the tables
};

// Fills events (reusing its storage) for a scenario that passed checkScenario. Throws
// ScenarioError for what only the events reveal: an empty interval, too many voids or
// pieces, a residual above the volume at its void.
void buildScenarioEvents(const Scenario& scenario, ScenarioEvents& events);

// Clock time of t min after an administration at administrationClock, 0 <= clock < 1440.
double clockAt(double administrationClock, double t);

// "HH:MM" of a clock time, rounded to the minute.
std::string clockText(double clock);

}  // namespace orvane
