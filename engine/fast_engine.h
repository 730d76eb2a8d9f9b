// The dynamic bladder simulation in O(N) per cell: the literal sums of simulation.h with the
// bladder's content carried from void to void instead of summed over all earlier voids.
//
// Symbols, with the field each comes from and its unit:
//
//   f_c     fraction of component c            ModelParameters::fraction[c]               -
//   k_c     biological rate constant            ModelParameters::rateConstant[c]           min^-1
//   lp      physical decay constant             ModelParameters::physicalDecayConstant     min^-1
//   S(V)    dose-rate factor at volume V        doseRateFactor (engine/dose_rate.h)        per min
//   V0, T0  first interval's volume and length  ModelTables::v0Grid, t0Grid                ml, min
//   x, w    quadrature nodes and weights        ModelTables::quadratureNodes, ...Weights   -
//   ts, L   start and length of an interval     VoidingClock (engine/voiding_clock.h)      min
//   tau     time since the interval's start     t - ts                                     min
//   b       content just after the last void    activity as a fraction of the administered
//   g_c     component c's carried content       f_c e^{-(lp + k_c) ts}, same unit as b
//
// Derivation. Without voids, the bladder holds U(t) = e^{-lp t} sum_c f_c (1 - e^{-k_c t}).
// Split each component's delivered share at ts: 1 - e^{-k_c (ts + tau)} = (1 - e^{-k_c ts}) +
// e^{-k_c ts} (1 - e^{-k_c tau}). The first part is what had arrived by ts and now only decays;
// the second is what arrives during tau, so with the decay over ts + tau it contributes
//
//     e^{-lp tau} [f_c e^{-(lp + k_c) ts}] (1 - e^{-k_c tau}) = e^{-lp tau} g_c (1 - e^{-k_c tau}).
//
// The voids remove activity that afterwards only decays, like the part already delivered, so
// within an interval the content is
//
//     A(ts + tau) = e^{-lp tau} (b + sum_c g_c (1 - e^{-k_c tau})),
//
// which is U - O of the literal sums without the cancellation between them. The interval's
// integral of S(V) A is, on the quadrature points tau_p = (1 + x_p) L / 2 (p over +x and -x),
// with the kernel weights W_p = w_p L / 2 S(V0 + rate tau_p) e^{-lp tau_p},
//
//     b sum_p W_p + sum_c g_c sum_p W_p (1 - e^{-k_c tau_p}),
//
// two sums that depend only on L, the fill rate and the start volume and are tabulated once
// per calculation. Where some point's content is negative (possible with a negative fraction)
// the points are summed one by one with the content clamped at 0. A void at ts + L keeps
// 10 ml of the volume V_end: b' = A(ts + L) 10 / V_end, and g_c' = g_c e^{-(lp + k_c) L}. At
// each night interval g is taken afresh from exponentials of the time, so that rounding in
// the carry factors does not compound over N intervals.
#pragma once

#include <array>
#include <span>

#include "engine/model.h"

namespace orvane {

// Dose to the bladder wall of one cell, mGy/MBq, over n intervals (1 <= n <= 1000), and the
// voids in history slots 1..n when given. Expects input that passed the calculation's checks.
double simulateDoseFast(const ModelParameters& parameters, const FillRateSchedule& schedule,
                        double v0, double t0, int n, const QuadratureNodes& nodes,
                        const QuadratureWeights& weights, VoidHistory* history = nullptr);

// The doses of every cell of the given schedules, mGy/MBq, into results[schedule], on the
// calling thread; each equals what simulateDoseFast gives for its cell.
void fillDoseTablesFast(const ModelParameters& parameters,
                        std::span<const FillRateSchedule> schedules, const ModelTables& tables,
                        int n, std::span<DoseTable> results);

// The 189 doses of a whole calculation, all three schedules, mGy/MBq.
std::array<DoseTable, kScheduleCount> computeDoseTablesFast(const ModelParameters& parameters,
                                                            const ModelTables& tables, int n);

}  // namespace orvane
