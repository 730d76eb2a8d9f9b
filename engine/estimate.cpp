#include "engine/estimate.h"

#include <chrono>

#include "engine/fast_engine.h"
#include "engine/numtext.h"
#include "engine/simulation.h"

namespace orvane {

double monotonicSecondsNow() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TimeEstimate EstimateCalculationTime(const FieldTexts& fields, const ModelTables& tables,
                                     const SecondsClock& clock, DoseEngine engine) {
    checkFieldTexts(fields);
    const ModelParameters parameters = readModelParameters(fields, std::string());
    checkParameters(parameters);

    TimeEstimate estimate;
    estimate.intervalCount = IntervalCount(parameters);
    checkIntervalCount(parameters, estimate.intervalCount);
    checkGrids(tables);
    estimate.text = kUnderOneMinute;
    if (estimate.intervalCount <= kShortCalculationLimit) return estimate;

    // The trial: the full calculation's loops and stores, on one schedule and 50 intervals,
    // into a table of its own. It is timed to the clock's resolution: counted in whole
    // seconds, a trial of a fraction of a millisecond that happened to straddle a second
    // read as a whole second and was extrapolated to minutes.
    const double start = clock();
    if (engine == DoseEngine::Fast) {
        // The calculation's own fast path, on the one trial schedule.
        fillDoseTablesFast(parameters, std::span(&kFillRateSchedules[kTrialSchedule], 1), tables,
                           kTrialIntervalCount, std::span(&estimate.trialTable, 1));
    } else {
        VoidHistory history;
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                estimate.trialTable.at(t, v) =
                    SimulateDose(parameters, kFillRateSchedules[kTrialSchedule], tables.v0Grid[v],
                                 tables.t0Grid[t], kTrialIntervalCount, tables.quadratureNodes,
                                 tables.quadratureWeights, history);
            }
        }
    }
    const double end = clock();

    estimate.trialRun = true;
    estimate.elapsedSeconds = end > start ? end - start : 0.0;
    const double n = static_cast<double>(estimate.intervalCount);
    estimate.minutes =
        ((estimate.elapsedSeconds * (n / kTrialIntervalCount)) * kExtrapolationFactor) / 60;
    if (estimate.minutes >= 1) estimate.text = formatOneDecimal(estimate.minutes) + " minutes";
    return estimate;
}

}  // namespace orvane
