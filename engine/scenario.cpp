// The scenario engine. The bladder's content is carried from segment to segment: with b the
// content at a segment's start ts and g_c = f_c e^{-(lp + k_c) ts}, the content dt later is
//
//     A(ts + dt) = e^{-lp dt} (b + sum over components of g_c (1 - e^{-k_c dt})),
//
// so a segment's integral of A S(V) is b W + sum of g_c I_c, where W and I_c depend only on
// the segment's length, start volume and fill rate. Those weights are built once per distinct
// segment and reused, across the runs of one workspace as long as the radiopharmaceutical and
// the rule stay the same (a cohort's diaries share many segments). A void leaves b = A R / V
// behind.
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
#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/carry.h"
#include "engine/dose_rate.h"
#include "engine/scenario_events.h"

namespace orvane {
namespace {

constexpr double kVolumeRatio = 4.0;
constexpr double kExponentSpan = 16.0;
constexpr double kPoleShare = 1e-12;
constexpr double kPoleRatio = 1e-6;
constexpr std::size_t kKernelCacheSize = 2048;
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

// What a kernel depends on besides its segment.
struct KernelBasis {
    Components fraction{}, rate{};
    double lp = 0.0, deltaScaled = 0.0, gammaScaled = 0.0;
    QuadratureRule rule;
    bool graded = false;

    bool operator==(const KernelBasis&) const = default;
};

KernelBasis basisOf(const Kinetics& kin, const QuadratureRule& rule, bool graded) {
    return {
        kin.fraction, kin.rate, kin.lp, kin.parameters->deltaScaled, kin.parameters->gammaScaled,
        rule,         graded};
}

// The kernels built for one basis, found by their segment through an open-addressing index.
// Kernel slots and index entries are reused: a new basis only starts a new generation, so
// repeated runs allocate nothing once the cache has grown.
class KernelCache {
public:
    // Before a run: the kernels kept serve only the same basis.
    void start(const Kinetics& kin, const QuadratureRule& rule, bool graded) {
        if (const KernelBasis b = basisOf(kin, rule, graded); !(b == basis_)) {
            basis_ = b;
            clear();
        }
    }

    const Kernel& find(const Kinetics& kin, const ScenarioSegment& s) {
        if (used_ == kKernelCacheSize) clear();
        if (2 * (used_ + 1) > index_.size()) grow();
        std::size_t at = slotOf(s.length, s.startVolume, s.rate);
        for (; index_[at].generation == generation_; at = (at + 1) & (index_.size() - 1)) {
            const Kernel& k = kernels_[index_[at].kernel];
            if (k.length == s.length && k.startVolume == s.startVolume && k.rate == s.rate)
                return k;
        }
        if (used_ == kernels_.size()) kernels_.emplace_back();
        index_[at] = {generation_, used_};
        Kernel& k = kernels_[used_++];
        buildKernel(k, kin, basis_.rule, s.length, s.startVolume, s.rate, basis_.graded);
        return k;
    }

private:
    struct Entry {
        std::uint64_t generation = 0;  // the entry is taken when it is the cache's
        std::size_t kernel = 0;
    };

    void clear() {
        used_ = 0;
        ++generation_;
    }

    // Twice the entries, with the kernels of this generation entered again.
    void grow() {
        index_.assign(std::max<std::size_t>(64, 2 * index_.size()), {});
        generation_ = 1;
        for (std::size_t i = 0; i < used_; ++i) {
            const Kernel& k = kernels_[i];
            std::size_t at = slotOf(k.length, k.startVolume, k.rate);
            while (index_[at].generation == generation_) at = (at + 1) & (index_.size() - 1);
            index_[at] = {generation_, i};
        }
    }

    // The bits of the values mixed by multiplication, whose top bits depend on every bit (the
    // low bits of a whole number of minutes are all 0); + 0.0 turns -0 into 0, so that values
    // that match alike hash alike.
    std::size_t slotOf(double length, double startVolume, double rate) const {
        std::uint64_t h = 0;
        for (const double v : {length, startVolume, rate})
            h = (h ^ std::bit_cast<std::uint64_t>(v + 0.0)) * 0x9E3779B97F4A7C15u;
        return static_cast<std::size_t>(h >> (64 - std::countr_zero(index_.size())));
    }

    KernelBasis basis_;
    std::vector<Kernel> kernels_;  // [0, used_) hold this generation's kernels
    std::size_t used_ = 0;
    std::vector<Entry> index_;  // a power of two long, at most half taken
    std::uint64_t generation_ = 1;
};

}  // namespace

struct ScenarioWorkspace::Data {
    ScenarioEvents events;
    KernelCache kernels;
    Kernel scratch;
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
    ws.kernels.start(kin, rule, !ev.tableRule);

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
        const Kernel& kernel = ws.kernels.find(kin, seg);
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
    return computeScenario(scenario, rule, workspace, timeCourseStep);
}

ScenarioResult computeScenario(const Scenario& scenario, const QuadratureRule& rule,
                               ScenarioWorkspace& workspace, std::optional<double> timeCourseStep) {
    workspace.data().events.clampResiduals = false;
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
