// The dynamic bladder simulation of one cell: the reference form, summed term by term.
#pragma once

#include "engine/model.h"

namespace orvane {

// Residual volume left in the bladder after every void, ml.
inline constexpr double kResidualVolume = 10.0;

// Number of filling intervals N to simulate: about ten effective half-lives in 3 h steps,
// at least 5. Computed in double and saturated at kIntervalCountCeiling, so a huge
// effective half-life never overflows (such an N is refused by the calculation).
inline constexpr long long kIntervalCountCeiling = 1'000'000'000'000LL;
long long IntervalCount(const ModelParameters& parameters);

// Tbmax, min: the largest of the four biological half-lives, whatever their fractions (a blank
// half-life counts as 0).
double longestBiologicalHalfLife(const ModelParameters& parameters);

// Bounds and fill rate of each interval of a cell, following the day/night voiding clock.
struct IntervalBounds {
    double start;        // min since administration
    double end;          // min since administration
    double startVolume;  // ml
    double rate;         // ml/min
};

// Walks the voiding clock: interval 1 is [0, T0] from V0 at the day rate; every later one
// starts at 10 ml. Call next() once per interval, in order.
class VoidingClock {
public:
    VoidingClock(const FillRateSchedule& schedule, double v0, double t0);
    IntervalBounds next();

private:
    FillRateSchedule schedule_;
    double v0_;
    double t0_;
    double clock_ = 0.0;  // minutes after a midnight
    double end_ = 0.0;    // end of the previous interval
    int index_ = 0;
};

// Dose to the bladder wall of one cell, mGy/MBq, over n intervals (1 <= n <= 1000), as the
// literal sums over all earlier voids. Overwrites history slots 1..n. Expects parameters
// that passed the calculation's checks; it validates nothing itself.
double SimulateDose(const ModelParameters& parameters, const FillRateSchedule& schedule, double v0,
                    double t0, int n, const QuadratureNodes& nodes,
                    const QuadratureWeights& weights, VoidHistory& history);

}  // namespace orvane
