// Estimate of the full calculation's duration from a timed trial run.
#pragma once

#include <functional>
#include <string>

#include "engine/calculation.h"
#include "engine/model.h"

namespace orvane {

inline constexpr int kTrialIntervalCount = 50;
inline constexpr long long kShortCalculationLimit = 50;  // N up to this gives "<1 minute"
inline constexpr int kTrialSchedule = 1;                 // day 1.0, night 0.5 ml/min
inline constexpr double kExtrapolationFactor = 7;
inline constexpr const char* kUnderOneMinute = "<1 minute";

// Seconds on a monotonic clock, to the resolution the system has.
using SecondsClock = std::function<double()>;
double monotonicSecondsNow();

struct TimeEstimate {
    long long intervalCount = 0;  // N of the full calculation
    bool trialRun = false;        // false on the "<1 minute" path
    double elapsedSeconds = 0.0;  // duration of the trial, s
    double minutes = 0.0;         // ((e x (N / 50)) x 7) / 60
    std::string text;             // "<1 minute" (also for a trial under a minute) or "4.7 minutes"
    DoseTable trialTable;         // the trial's doses, a scratch table of its own
};

// The estimate shown by "Check Calculation Time". Refuses what the calculation refuses, N
// above 1000 included (InputError), and the data file's unusable grids (GridError), so that a
// passed check is never followed by a refused calculation. Never touches any stored results.
TimeEstimate EstimateCalculationTime(const FieldTexts& fields, const ModelTables& tables,
                                     const SecondsClock& clock = monotonicSecondsNow,
                                     DoseEngine engine = DoseEngine::Fast);

}  // namespace orvane
