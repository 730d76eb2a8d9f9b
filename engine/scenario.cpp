// The scenario engine. The bladder's content is carried from segment to segment: with b the
// content at a segment's start ts and g_c = f_c e^{-(lp + k_c) ts}, the content dt later is
//
//     A(ts + dt) = e^{-lp dt} (b + sum over components of g_c (1 - e^{-k_c dt})),
//
// so a segment's integral of A S(V) is b W + sum of g_c I_c, where W and I_c depend only on
// the segment's length, start volume and fill rate. Those weights are built once per distinct
// segment and reused. A void leaves b = A R / V behind.
//
// The "table" pattern integrates each interval by one 16-point rule, as the dose tables do.
// Custom patterns split each segment into pieces on which one 16-point rule is far below a
// relative 1e-9: the volume grows at most fourfold within a piece (S(V) has its pole at
// V = 0, just before a segment that starts at a few ml), and the first piece spans at most 16
// of the fastest rate constant's time constants, each later one at most as long as all before
// it (the uptake terms e^{-k dt} fall off from the segment's start). A segment that starts
// below 1e-18 of its end volume (a residual of 1e-300 ml) would need a piece per fourfold
// volume all the way up: its start, up to 1e-12 of its end volume, is one piece integrated
// over ln V instead, where the pole's 1/V is a constant and the uptake (of order V) counts for
// less than 1e-12 of the segment. So a segment takes a few dozen pieces at most, whatever the
// residual.
#include "engine/scenario.h"

#include <algorithm>
#include <cmath>

#include "engine/carry.h"
#include "engine/dose_rate.h"
#include "engine/scenario_events.h"

namespace orvane {
namespace {

constexpr double kVolumeRatio = 4.0;
constexpr double kExponentSpan = 16.0;
constexpr double kPoleShare = 1e-12;
constexpr double kPoleRatio = 1e-6;
constexpr std::size_t kKernelCacheSize = 64;
constexpr double kMaxTimeCourseSamples = 1e6;

// The constants of one radiopharmaceutical; components with fraction 0 take no part.
struct Kinetics {
    const ModelParameters* parameters = nullptr;
    Components fraction{};
    Components rate{};
    double lp = 0.0;
    double fastest = 0.0;  // largest of lp and the rate constants, min^-1
    bool anyNegative = false;

    explicit Kinetics(const ModelParameters& p) : parameters(&p), lp(p.physicalDecayConstant) {
        fastest = std::abs(lp);
        for (int c = 0; c < kComponentCount; ++c) {
            if (p.fraction[c] == 0) continue;
            fraction[c] = p.fraction[c];
            rate[c] = p.rateConstant[c];
            fastest = std::max(fastest, std::abs(rate[c]));
            if (fraction[c] < 0) anyNegative = true;
        }
    }

    Components delivery(double start) const {
        Components g{};
        for (int c = 0; c < kComponentCount; ++c) {
            if (fraction[c] != 0) g[c] = toDeliver(fraction[c], lp, rate[c], start);
        }
        return g;
    }
};

struct Kernel {
    double length = -1.0;
    double startVolume = 0.0;
    double rate = 0.0;
    double content = 0.0;   // sum of w S(V) e^{-lp dt}: the integral per unit of b
    Components inflow{};    // sum of w S(V) e^{-lp dt} (1 - e^{-k dt})
    double decayEnd = 0.0;  // e^{-lp L}
    Components uptakeEnd{};
    std::vector<double> weight;  // per point, for the clamp at 0 (negative fractions only)
    std::vector<Components> uptake;
};

// Adds one point, dt min into the segment, with `weight`: the rule's weight times S(V).
void addPoint(Kernel& kernel, const Kinetics& kin, double dt, double weight) {
    weight = weight * std::exp(-kin.lp * dt);
    Components uptake{};
    for (int c = 0; c < kComponentCount; ++c) {
        if (kin.fraction[c] != 0) uptake[c] = uptakeOver(kin.rate[c], dt);
    }
    kernel.content += weight;
    for (int c = 0; c < kComponentCount; ++c) kernel.inflow[c] += weight * uptake[c];
    if (kin.anyNegative) {
        kernel.weight.push_back(weight);
        kernel.uptake.push_back(uptake);
    }
}

void addPoints(Kernel& kernel, const Kinetics& kin, const QuadratureRule& rule, double from,
               double to) {
    const double half = (to - from) / 2;
    for (int i = 0; i < kNodeCount; ++i) {
        for (const double y : {rule.nodes[i], -rule.nodes[i]}) {
            const double dt = from + (1 + y) * half;
            const double volume = kernel.startVolume + kernel.rate * dt;
            addPoint(kernel, kin, dt,
                     rule.weights[i] * half * doseRateFactor(*kin.parameters, volume));
        }
    }
}

// The piece from the segment's start to where the volume reaches `toVolume`, integrated over
// the logarithm of the volume (dt = V d(ln V) / rate): the pole's 1/V becomes a constant, so
// one rule covers any ratio of volumes, however small the start volume is.
void addPolePoints(Kernel& kernel, const Kinetics& kin, const QuadratureRule& rule,
                   double toVolume) {
    const double from = std::log(kernel.startVolume);
    const double half = (std::log(toVolume) - from) / 2;
    for (int i = 0; i < kNodeCount; ++i) {
        for (const double y : {rule.nodes[i], -rule.nodes[i]}) {
            const double volume = std::exp(from + (1 + y) * half);
            const double dt = std::max(volume - kernel.startVolume, 0.0) / kernel.rate;
            addPoint(kernel, kin, dt,
                     rule.weights[i] * half / kernel.rate *
                         doseRateFactorTimesVolume(*kin.parameters, volume));
        }
    }
}

void buildKernel(Kernel& kernel, const Kinetics& kin, const QuadratureRule& rule, double length,
                 double startVolume, double rate, bool graded) {
    kernel.length = length;
    kernel.startVolume = startVolume;
    kernel.rate = rate;
    kernel.content = 0.0;
    kernel.inflow = {};
    kernel.weight.clear();
    kernel.uptake.clear();
    if (!graded) {
        addPoints(kernel, kin, rule, 0.0, length);
    } else {
        double from = 0.0;
        const double poleVolume = kPoleShare * (startVolume + rate * length);
        if (rate > 0 && startVolume < kPoleRatio * poleVolume) {
            addPolePoints(kernel, kin, rule, poleVolume);
            from = (poleVolume - startVolume) / rate;
        }
        while (from < length) {
            double step = length - from;
            if (rate > 0)
                step = std::min(step, (kVolumeRatio - 1) * (startVolume + rate * from) / rate);
            if (kin.fastest > 0) step = std::min(step, std::max(kExponentSpan / kin.fastest, from));
            const double to = (step >= length - from) ? length : from + step;
            addPoints(kernel, kin, rule, from, to);
            from = to;
        }
    }
    kernel.decayEnd = std::exp(-kin.lp * length);
    for (int c = 0; c < kComponentCount; ++c) {
        kernel.uptakeEnd[c] = kin.fraction[c] != 0 ? uptakeOver(kin.rate[c], length) : 0.0;
    }
}

// The integral of A S(V) over the kernel's segment, A counted as 0 where it is negative.
// Without negative fractions A never is: b and g are then never negative.
double integrate(const Kernel& kernel, const Kinetics& kin, double b, const Components& g) {
    if (!kin.anyNegative) return b * kernel.content + dot(g, kernel.inflow);
    double sum = 0.0;
    for (std::size_t p = 0; p < kernel.weight.size(); ++p) {
        sum += kernel.weight[p] * std::max(b + dot(g, kernel.uptake[p]), 0.0);
    }
    return sum;
}

double activityAfter(const Kinetics& kin, double b, const Components& g, double dt) {
    Components uptake{};
    for (int c = 0; c < kComponentCount; ++c) {
        if (kin.fraction[c] != 0) uptake[c] = uptakeOver(kin.rate[c], dt);
    }
    return carried(std::exp(-kin.lp * dt), b, dot(g, uptake));
}

}  // namespace

struct ScenarioWorkspace::Data {
    ScenarioEvents events;
    std::vector<Kernel> kernels;  // slots [0, used) hold this run's kernels
    std::size_t used = 0;
    Kernel scratch;

    const Kernel& kernelFor(const Kinetics& kin, const QuadratureRule& rule,
                            const ScenarioSegment& s) {
        for (std::size_t i = 0; i < used; ++i) {
            const Kernel& k = kernels[i];
            if (k.length == s.length && k.startVolume == s.startVolume && k.rate == s.rate)
                return k;
        }
        if (used == kKernelCacheSize) used = 0;
        if (used == kernels.size()) kernels.emplace_back();
        Kernel& k = kernels[used++];
        buildKernel(k, kin, rule, s.length, s.startVolume, s.rate, !events.tableRule);
        return k;
    }
};

ScenarioWorkspace::ScenarioWorkspace() : data_(std::make_unique<Data>()) {}
ScenarioWorkspace::~ScenarioWorkspace() = default;
ScenarioWorkspace::ScenarioWorkspace(ScenarioWorkspace&&) noexcept = default;
ScenarioWorkspace& ScenarioWorkspace::operator=(ScenarioWorkspace&&) noexcept = default;

namespace {

// Runs the events of a checked scenario; fills out (when given) with intervals, voids and,
// with a step, the time course. Returns the dose, mGy/MBq.
double run(const Scenario& s, const QuadratureRule& rule, ScenarioWorkspace::Data& ws,
           ScenarioResult* out, std::optional<double> step) {
    checkScenario(s);
    buildScenarioEvents(s, ws.events);
    const ScenarioEvents& ev = ws.events;
    if (step) {
        if (!std::isfinite(*step) || *step <= 0) {
            throw ScenarioError("time course step", "expected a positive number of min");
        }
        if (ev.voidTimes.back() / *step > kMaxTimeCourseSamples) {
            throw ScenarioError("time course step",
                                "expected a step that gives at most a million samples");
        }
    }
    const Kinetics kin(s.radiopharmaceutical);
    ws.used = 0;

    double b = 0.0;      // content at the segment's start
    double total = 0.0;  // integral so far
    double intervalStartTotal = 0.0;
    double intervalStart = 0.0;
    double intervalStartVolume = s.initialVolume;
    double excreted = 0.0;
    long long sample = 1;  // next multiple of the step
    auto point = [&](double t, double volume, double activity, double integral) {
        // At a volume near 0 (a residual of 5e-324 ml) S(V) alone is beyond a double.
        const double a = std::max(activity, 0.0);
        double rate = a > 0 ? doseRateFactor(s.radiopharmaceutical, volume) * a : 0.0;
        if (!std::isfinite(rate))
            rate = doseRateFactorTimesVolume(s.radiopharmaceutical, volume) * (a / volume);
        out->timeCourse.push_back({t, volume, activity, toMilligrayPerMegabecquerel(rate),
                                   toMilligrayPerMegabecquerel(integral)});
    };
    for (const ScenarioSegment& seg : ev.segments) {
        const Components g = kin.delivery(seg.start);
        const Kernel& kernel = ws.kernelFor(kin, rule, seg);
        if (out && step) {
            point(seg.start, seg.startVolume, b, total);
            const double end = seg.start + seg.length;
            for (double t; (t = static_cast<double>(sample) * *step) < end; ++sample) {
                if (t <= seg.start) continue;
                const double dt = t - seg.start;
                buildKernel(ws.scratch, kin, rule, dt, seg.startVolume, seg.rate, !ev.tableRule);
                point(t, seg.startVolume + seg.rate * dt, activityAfter(kin, b, g, dt),
                      total + integrate(ws.scratch, kin, b, g));
            }
        }
        total += integrate(kernel, kin, b, g);
        b = carried(kernel.decayEnd, b, dot(g, kernel.uptakeEnd));
        if (seg.voidIndex < 0) continue;

        const auto j = static_cast<std::size_t>(seg.voidIndex);
        const double volume = ev.voidVolumes[j];
        const double residual = ev.voidResiduals[j];
        const double time = ev.voidTimes[j];
        if (out) {
            const double voided = b * voidedShare(residual, volume);
            excreted += voided;
            out->voids.push_back({time, clockAt(s.administrationClock, time), volume, residual, b,
                                  voided, excreted});
            out->intervals.push_back({intervalStart, time, intervalStartVolume,
                                      toMilligrayPerMegabecquerel(total - intervalStartTotal)});
            if (step) point(time, volume, b, total);
        }
        b = leftByVoid(b, residual, volume);
        intervalStart = time;
        intervalStartVolume = residual;
        intervalStartTotal = total;
    }
    if (out && step) point(ev.voidTimes.back(), ev.voidResiduals.back(), b, total);
    if (out) {
        const Components g = kin.delivery(ev.voidTimes.back());
        out->activityLeft = b + (g[0] + g[1]) + (g[2] + g[3]);
    }

    const double dose = toMilligrayPerMegabecquerel(total);
    if (!std::isfinite(dose)) {
        throw ScenarioError("radiopharmaceutical",
                            "the dose is not a finite number; check the values");
    }
    if (s.administeredActivity && !std::isfinite(dose * *s.administeredActivity)) {
        throw ScenarioError("administered_activity",
                            "the dose in mGy for this activity is too large to be a number");
    }
    return dose;
}

}  // namespace

ScenarioResult computeScenario(const Scenario& scenario, const QuadratureRule& rule,
                               std::optional<double> timeCourseStep) {
    ScenarioWorkspace workspace;
    ScenarioResult result;
    result.dose = run(scenario, rule, workspace.data(), &result, timeCourseStep);
    return result;
}

double scenarioDose(const Scenario& scenario, const QuadratureRule& rule,
                    ScenarioWorkspace& workspace, ResidualAboveVolume above) {
    workspace.data().events.clampResiduals = above == ResidualAboveVolume::LeaveAll;
    return run(scenario, rule, workspace.data(), nullptr, std::nullopt);
}

}  // namespace orvane
