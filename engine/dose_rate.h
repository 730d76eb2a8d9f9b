// The dose-rate factor S(V): dose rate to the bladder wall per unit activity in the bladder,
// as a function of the momentary urine volume. Every engine computes it here.
#pragma once

#include <cmath>

#include "engine/clock.h"
#include "engine/model.h"

namespace orvane {

// Time runs in minutes, while Delta and Gamma are scaled per hour (x 37 x 3600 / 10).
// Non-penetrating emissions: the wall surface of a sphere of urine (1 g/ml) gets half the
// equilibrium dose of its contents, Delta / (2 V) per unit activity. 2 x 60 = 120.
inline constexpr double kNonPenetratingDivisor = 2 * kMinutesPerHour;

// Penetrating emissions: the dose at the surface of a sphere of volume V (ml) from a uniform
// source inside it, fitted as Gamma x 0.0039 / V^0.667 (unattenuated photons; the factor and
// exponent of the dynamic bladder model this program implements, kept to the digit).
inline constexpr double kPenetratingCoefficient = 0.0039;
inline constexpr double kPenetratingVolumeExponent = 0.667;
inline constexpr double kPenetratingDivisor = kMinutesPerHour;

// The sum of S(V) A(t) dt over minutes is in rad per uCi administered; x 1000 / 3.7 makes it
// mGy per MBq (1 rad = 10 mGy, 1 uCi = 0.037 MBq).
inline constexpr double toMilligrayPerMegabecquerel(double sum) {
    return (1000 * sum) / 3.7;
}

// S(V) per minute for the scaled Delta and Gamma of parameters; volume in ml, > 0.
inline double doseRateFactor(const ModelParameters& p, double volume) {
    return p.deltaScaled / (volume * kNonPenetratingDivisor) +
           (p.gammaScaled * kPenetratingCoefficient) /
               (std::pow(volume, kPenetratingVolumeExponent) * kPenetratingDivisor);
}

// S(V) x V, without the pole at V = 0: finite for the smallest volumes, where S(V) is not.
inline double doseRateFactorTimesVolume(const ModelParameters& p, double volume) {
    return p.deltaScaled / kNonPenetratingDivisor +
           (p.gammaScaled * kPenetratingCoefficient) *
               std::pow(volume, 1 - kPenetratingVolumeExponent) / kPenetratingDivisor;
}

}  // namespace orvane
