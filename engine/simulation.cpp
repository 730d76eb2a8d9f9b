#include "engine/simulation.h"

#include <cmath>

#include "engine/carry.h"
#include "engine/dose_rate.h"
#include "engine/voiding_clock.h"

namespace orvane {
namespace {

// Activity delivered by the kidneys by time t, decayed to t, as if never voided.
double inflow(const ModelParameters& p, double t) {
    double sum = 0.0;
    for (int i = 0; i < kComponentCount; ++i) {
        if (p.fraction[i] == 0) continue;
        sum += std::exp(-p.physicalDecayConstant * t) *
               ((1 - std::exp(-p.rateConstant[i] * t)) * p.fraction[i]);
    }
    return sum;
}

// Activity removed by voids 1..d-1, each decayed from its void to t.
double outflow(const ModelParameters& p, const VoidHistory& h, int d, double t) {
    double sum = 0.0;
    for (int j = 1; j <= d - 1; ++j) {
        sum += std::exp(-p.physicalDecayConstant * (t - h.voidTime[j])) * h.voidActivity[j] *
               voidedShare(kResidualVolume, h.voidVolume[j]);
    }
    return sum;
}

}  // namespace

double longestBiologicalHalfLife(const ModelParameters& p) {
    const auto& tb = p.biologicalHalfLife;
    double tbMax = tb[0] > tb[1] ? tb[0] : tb[1];
    if (tb[2] > tbMax) tbMax = tb[2];
    if (tb[3] > tbMax) tbMax = tb[3];
    return tbMax;
}

long long IntervalCount(const ModelParameters& p) {
    const double tbMax = longestBiologicalHalfLife(p);
    const double tp = p.physicalHalfLife;
    const double teff = (tp * tbMax) / (tp + tbMax);
    const double hours = teff / 60;
    const double n = std::floor((hours / 3) * 10 + 1);
    if (std::isnan(n) || n >= static_cast<double>(kIntervalCountCeiling)) {
        return kIntervalCountCeiling;
    }
    return n < 5 ? 5 : static_cast<long long>(n);
}

double SimulateDose(const ModelParameters& p, const FillRateSchedule& schedule, double v0,
                    double t0, int n, const QuadratureNodes& nodes,
                    const QuadratureWeights& weights, VoidHistory& history) {
    VoidingClock clock(schedule, v0, t0);
    double total = 0.0;
    for (int d = 1; d <= n; ++d) {
        const IntervalBounds b = clock.next();
        const double ts = b.start;
        const double te = b.end;
        // t = (y - q) / p maps y in [-1, 1] onto [ts, te].
        const double pScale = 2 / (te - ts);
        const double q = 1 - (te * 2) / (te - ts);

        double intervalSum = 0.0;
        for (int i = 0; i < kNodeCount; ++i) {
            for (const double y : {nodes[i], -nodes[i]}) {
                const double t = (y - q) / pScale;
                const double v = b.startVolume + b.rate * (t - ts);
                double a = inflow(p, t) - outflow(p, history, d, t);
                if (a < 0) a = 0;
                intervalSum += (a * (doseRateFactor(p, v) * weights[i])) / pScale;
            }
        }

        // The void at te: its activity is kept as computed, even when negative.
        history.voidActivity[d] = inflow(p, te) - outflow(p, history, d, te);
        history.voidVolume[d] = b.startVolume + b.rate * (te - ts);
        history.voidTime[d] = te;
        total += intervalSum;
    }
    return toMilligrayPerMegabecquerel(total);
}

}  // namespace orvane
