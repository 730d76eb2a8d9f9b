// The bladder's content carried through time, as every engine computes it. With b the content
// at a start, g_c = f_c e^{-(lp + k_c) t0} what component c still has to deliver then (decayed
// to t0), the content dt later is
//
//     A(t0 + dt) = e^{-lp dt} (b + sum over c of g_c (1 - e^{-k_c dt})),
//
// and a void at volume V that leaves R behind keeps the share R / V of it.
#pragma once

#include <array>
#include <cmath>

#include "engine/model.h"

namespace orvane {

using Components = std::array<double, kComponentCount>;

inline double dot(const Components& a, const Components& b) {
    return (a[0] * b[0] + a[1] * b[1]) + (a[2] * b[2] + a[3] * b[3]);
}

// g_c at time t: f_c e^{-(lp + k_c) t}; with fraction 1 the factor that carries g over t.
inline double toDeliver(double fraction, double lp, double k, double t) {
    return fraction * std::exp(-(lp + k) * t);
}

// 1 - e^{-k dt}: the share of g_c that has reached the bladder dt later.
inline double uptakeOver(double k, double dt) {
    return -std::expm1(-k * dt);
}

// The content dt later: decay = e^{-lp dt}, arrived = sum over c of g_c (1 - e^{-k_c dt}).
inline double carried(double decay, double b, double arrived) {
    return decay * (b + arrived);
}

// What a void at volume ml leaves of the content, and the share it removes.
inline double leftByVoid(double content, double residual, double volume) {
    return content * residual / volume;
}
inline double voidedShare(double residual, double volume) {
    return 1 - residual / volume;
}

}  // namespace orvane
