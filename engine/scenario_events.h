// The event list of a scenario: its voids and the pieces of constant fill rate between them.
#pragma once

#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/scenario.h"

namespace orvane {

inline constexpr int kMaxScenarioSegments = 4 * kMaxScenarioVoids;

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
    // Set by the caller, kept across builds: a residual above the volume at its void leaves
    // what is there (nothing is voided) instead of being refused. Sampled runs only.
    bool clampResiduals = false;
    std::size_t clamped = 0;  // voids whose residual was lowered to the volume
};

// Fills events (reusing its storage) for a scenario that passed checkScenario. Throws
// ScenarioError for what only the events reveal: an empty interval, too many voids or
// pieces, a residual above the volume at its void (unless events.clampResiduals is set).
void buildScenarioEvents(const Scenario& scenario, ScenarioEvents& events);

// A stretch of time, min after administration.
struct TimeSpan {
    double from = 0.0;
    double to = 0.0;
    bool operator==(const TimeSpan&) const = default;
};

// The nights of a scenario that overlap 0..end min after administration, cut to it. The
// "table" pattern's are the night intervals of the tables' clock (continued a day apart
// after its last interval): 03:00-09:00 after a T0 of 20-160 min, 00:00-06:00 after 180 min.
// The other patterns' are the fill rate's night window on the clock; with fill-rate steps
// there is none.
std::vector<TimeSpan> scenarioNights(const Scenario& scenario, double end);

}  // namespace orvane
