// The dynamic bladder simulation of one cell: the reference form, summed term by term.
#pragma once

#include "engine/model.h"
#include "engine/voiding_clock.h"

namespace orvane {

// Number of filling intervals N to simulate: about ten effective half-lives in 3 h steps,
// at least 5. Computed in double and saturated at kIntervalCountCeiling, so a huge
// effective half-life never overflows (such an N is refused by the calculation).
inline constexpr long long kIntervalCountCeiling = 1'000'000'000'000LL;
long long IntervalCount(const ModelParameters& parameters);

// Tbmax, min: the largest of the four biological half-lives, whatever their fractions (a blank
// half-life counts as 0).
double longestBiologicalHalfLife(const ModelParameters& parameters);

// Dose to the bladder wall of one cell, mGy/MBq, over n intervals (1 <= n <= 1000), as the
// literal sums over all earlier voids. Overwrites history slots 1..n. Expects parameters
// that passed the calculation's checks; it validates nothing itself.
double SimulateDose(const ModelParameters& parameters, const FillRateSchedule& schedule, double v0,
                    double t0, int n, const QuadratureNodes& nodes,
                    const QuadratureWeights& weights, VoidHistory& history);

}  // namespace orvane
