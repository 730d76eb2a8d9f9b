#include "engine/fast_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/carry.h"
#include "engine/dose_rate.h"
#include "engine/voiding_clock.h"

namespace orvane {
namespace {

constexpr int kPoints = 2 * kNodeCount;  // +x and -x of every node

// Factors that depend only on an interval's length L (and the parameters).
struct NodeSet {
    double length = 0.0;
    std::array<double, kPoints> offset{};                               // tau_p
    std::array<double, kPoints> weightTime{};                           // w L / 2
    std::array<double, kPoints> decay{};                                // e^{-lp tau_p}
    std::array<std::array<double, kPoints>, kComponentCount> uptake{};  // 1 - e^{-k tau_p}
    double decayEnd = 0.0;                                              // e^{-lp L}
    Components uptakeEnd{};                                             // 1 - e^{-k L}
    Components carry{};                                                 // e^{-(lp + k) L}
};

// An interval of a given length, fill rate and start volume.
struct Kernel {
    const NodeSet* nodes = nullptr;
    std::array<double, kPoints> weight{};  // W_p = w L / 2 S(V) e^{-lp tau_p}
    double content = 0.0;                  // sum of W_p: the integral per unit of b
    Components inflow{};                   // sum of W_p (1 - e^{-k tau_p})
    double voidCarry = 0.0;                // e^{-lp L} x 10 / V_end: b at the start -> b'
    double endVolume = 0.0;                // V_end, ml
    bool night = false;
};

// One kind of interval after the first: its length and whether it is the night's.
struct IntervalKind {
    double length;
    bool night;
    bool operator==(const IntervalKind&) const = default;
};

// The tables shared by every cell of a calculation: node sets per distinct length, kernels
// per schedule and kind of interval, the order of kinds per first-void time, and the night
// restarts of g.
class FastDoseEngine {
public:
    FastDoseEngine(const ModelParameters& parameters, std::span<const FillRateSchedule> schedules,
                   std::span<const double> t0s, int n, const QuadratureNodes& nodes,
                   const QuadratureWeights& weights)
        : parameters_(parameters),
          n_(n),
          schedules_(schedules.begin(), schedules.end()),
          t0s_(t0s.begin(), t0s.end()) {
        takeComponents();
        planIntervals();
        tabulateNodeSets(nodes, weights);
        tabulateNightRestarts();
        tabulateKernels();
    }
    // Kernels point into the node sets.
    FastDoseEngine(const FastDoseEngine&) = delete;
    FastDoseEngine& operator=(const FastDoseEngine&) = delete;

    // The doses of the cells of one schedule and first-void time with the given V0 (one, or
    // the seven of a row), mGy/MBq; the voids of a lone cell into history when given.
    void rowDoses(int scheduleIndex, int t0Index, std::span<const double> v0s,
                  std::span<double> doses, VoidHistory* history) const;

    // What a row of cells reads.
    struct Row {
        const Kernel* kernels;      // [kind], of the row's schedule
        const std::uint16_t* plan;  // [d - 2]
        const Components* firstNight;
        const Components* nightDecay;
    };

private:
    void takeComponents();
    void planIntervals();
    void tabulateNodeSets(const QuadratureNodes& nodes, const QuadratureWeights& weights);
    void tabulateNightRestarts();
    void tabulateKernels();
    Kernel kernel(const NodeSet& nodes, double startVolume, double rate, bool night) const;

    ModelParameters parameters_;
    int n_;
    std::vector<FillRateSchedule> schedules_;
    std::vector<double> t0s_;
    Components fraction_{};     // 0 for components that take no part
    Components rate_{};         // 0 likewise
    bool anyNegative_ = false;  // a negative fraction: a point's content can be negative

    std::vector<IntervalKind> kinds_;      // kinds of intervals 2..n, first the full day and night
    std::vector<std::uint16_t> plan_;      // [t0][d - 2]: kind of interval d
    std::vector<double> firstNightStart_;  // [t0]: ts of the first night interval, min
    int nightCount_ = 0;                   // most night intervals of any first-void time

    std::vector<double> lengths_;    // distinct lengths, min
    std::vector<NodeSet> nodeSets_;  // [length]
    std::vector<int> kindNodeSet_;   // [kind]: its node set
    std::vector<int> firstNodeSet_;  // [t0]: node set of the first interval

    std::vector<Components> firstNight_;  // [t0]: g at the first night, f e^{-(lp + k) ts}
    std::vector<Components> nightDecay_;  // [m]: e^{-(lp + k) 1440 m}, m-th night after it

    std::vector<Kernel> kernels_;  // [schedule][kind]
};

// A component with fraction 0 or rate constant 0 delivers nothing; it keeps g = 0.
void FastDoseEngine::takeComponents() {
    for (int c = 0; c < kComponentCount; ++c) {
        if (parameters_.fraction[c] == 0 || parameters_.rateConstant[c] == 0) continue;
        fraction_[c] = parameters_.fraction[c];
        rate_[c] = parameters_.rateConstant[c];
        if (fraction_[c] < 0) anyNegative_ = true;
    }
}

// Steps the voiding clock once per first-void time. The timing does not depend on the fill
// rates or V0, so a clock without rates serves every schedule.
void FastDoseEngine::planIntervals() {
    kinds_ = {{kDayInterval, false}, {kNightInterval, true}};
    const std::size_t tail = static_cast<std::size_t>(std::max(n_ - 1, 0));
    plan_.resize(t0s_.size() * tail);
    firstNightStart_.assign(t0s_.size(), 0.0);
    for (std::size_t t = 0; t < t0s_.size(); ++t) {
        VoidingClock clock(FillRateSchedule{0.0, 0.0}, 0.0, t0s_[t]);
        clock.next();
        int nights = 0;
        for (int d = 2; d <= n_; ++d) {
            const IntervalBounds b = clock.next();
            const IntervalKind kind{b.end - b.start, b.night};
            if (b.night && nights++ == 0) firstNightStart_[t] = b.start;
            auto found = std::find(kinds_.begin(), kinds_.end(), kind);
            if (found == kinds_.end()) found = kinds_.insert(kinds_.end(), kind);
            plan_[t * tail + (d - 2)] = static_cast<std::uint16_t>(found - kinds_.begin());
        }
        nightCount_ = std::max(nightCount_, nights);
    }
}

// One node set per distinct length, first intervals included.
void FastDoseEngine::tabulateNodeSets(const QuadratureNodes& x, const QuadratureWeights& w) {
    auto lengthIndex = [&](double length) {
        auto found = std::find(lengths_.begin(), lengths_.end(), length);
        if (found == lengths_.end()) found = lengths_.insert(lengths_.end(), length);
        return static_cast<int>(found - lengths_.begin());
    };
    for (const IntervalKind& kind : kinds_) kindNodeSet_.push_back(lengthIndex(kind.length));
    for (double t0 : t0s_) firstNodeSet_.push_back(lengthIndex(t0));

    const double lp = parameters_.physicalDecayConstant;
    nodeSets_.resize(lengths_.size());
    for (std::size_t i = 0; i < lengths_.size(); ++i) {
        NodeSet& set = nodeSets_[i];
        const double length = lengths_[i];
        const double half = length / 2;
        set.length = length;
        for (int p = 0; p < kPoints; ++p) {
            const double y = (p % 2 == 0) ? x[p / 2] : -x[p / 2];
            const double tau = (1 + y) * half;
            set.offset[p] = tau;
            set.weightTime[p] = w[p / 2] * half;
            set.decay[p] = std::exp(-lp * tau);
            for (int c = 0; c < kComponentCount; ++c) {
                set.uptake[c][p] = rate_[c] == 0 ? 0.0 : uptakeOver(rate_[c], tau);
            }
        }
        set.decayEnd = std::exp(-lp * length);
        for (int c = 0; c < kComponentCount; ++c) {
            set.uptakeEnd[c] = rate_[c] == 0 ? 0.0 : uptakeOver(rate_[c], length);
            set.carry[c] = toDeliver(1.0, lp, rate_[c], length);
        }
    }
}

// g at the m-th night after the first = firstNight x nightDecay[m]: nights are a day apart.
void FastDoseEngine::tabulateNightRestarts() {
    const double lp = parameters_.physicalDecayConstant;
    firstNight_.resize(t0s_.size());
    for (std::size_t t = 0; t < t0s_.size(); ++t) {
        for (int c = 0; c < kComponentCount; ++c) {
            firstNight_[t][c] = toDeliver(fraction_[c], lp, rate_[c], firstNightStart_[t]);
        }
    }
    nightDecay_.resize(nightCount_);
    for (int m = 0; m < nightCount_; ++m) {
        for (int c = 0; c < kComponentCount; ++c) {
            nightDecay_[m][c] = toDeliver(1.0, lp, rate_[c], kMinutesPerDay * m);
        }
    }
}

// Every interval after the first starts at the residual volume.
void FastDoseEngine::tabulateKernels() {
    kernels_.reserve(schedules_.size() * kinds_.size());
    for (const FillRateSchedule& schedule : schedules_) {
        for (std::size_t k = 0; k < kinds_.size(); ++k) {
            const bool night = kinds_[k].night;
            kernels_.push_back(kernel(nodeSets_[kindNodeSet_[k]], kResidualVolume,
                                      night ? schedule.nightRate : schedule.dayRate, night));
        }
    }
}

Kernel FastDoseEngine::kernel(const NodeSet& nodes, double startVolume, double rate,
                              bool night) const {
    Kernel kernel;
    // S(V) first, in a loop of its own, so that its calls do not hold up the sums below.
    std::array<double, kPoints> factor;
    for (int p = 0; p < kPoints; ++p) {
        factor[p] = doseRateFactor(parameters_, startVolume + rate * nodes.offset[p]);
    }
    double content = 0.0;
    Components inflow{};
    for (int p = 0; p < kPoints; ++p) {
        const double weight = nodes.weightTime[p] * factor[p] * nodes.decay[p];
        kernel.weight[p] = weight;
        content += weight;
        for (int c = 0; c < kComponentCount; ++c) inflow[c] += weight * nodes.uptake[c][p];
    }
    kernel.nodes = &nodes;
    kernel.content = content;
    kernel.inflow = inflow;
    kernel.endVolume = startVolume + rate * nodes.length;
    // leftByVoid with the decay folded in: one factor per kernel instead of a division per cell.
    kernel.voidCarry = nodes.decayEnd * leftByVoid(1.0, kResidualVolume, kernel.endVolume);
    kernel.night = night;
    return kernel;
}

// What the components contribute to one interval, the same for every cell of a row.
struct Inflow {
    double atVoid = 0.0;  // sum_c g_c (1 - e^{-k_c L}): their part of A(ts + L) e^{lp L}
    // With negative fractions: a bound below every point's inflow (each component's uptake
    // grows with tau, so the least is where every negative component has delivered all it
    // delivers within the interval), and, once some cell needs them, each point's inflow
    // and their least and greatest.
    double bound = 0.0;
    bool pointsReady = false;
    std::array<double, kPoints> atPoint{};
    double leastAtPoint = 0.0;
    double greatestAtPoint = 0.0;

    void preparePoints(const Components& g, const NodeSet& nodes) {
        if (pointsReady) return;
        for (int p = 0; p < kPoints; ++p) {
            atPoint[p] = (g[0] * nodes.uptake[0][p] + g[1] * nodes.uptake[1][p]) +
                         (g[2] * nodes.uptake[2][p] + g[3] * nodes.uptake[3][p]);
        }
        leastAtPoint = *std::min_element(atPoint.begin(), atPoint.end());
        greatestAtPoint = *std::max_element(atPoint.begin(), atPoint.end());
        pointsReady = true;
    }
};

// Adds one interval's integral to total and leaves in b what its void leaves behind; b is
// the content at the interval's start, gIntegral the components' part of the integral.
template <bool kCheckSign>
inline void advanceCell(const Kernel& kernel, const Components& g, double gIntegral, Inflow& inflow,
                        double& b, double& total, double& atVoid) {
    bool closedForm = true;
    if constexpr (kCheckSign) {
        if (b + inflow.bound < 0) {
            inflow.preparePoints(g, *kernel.nodes);
            closedForm = b + inflow.leastAtPoint >= 0;
        }
    }
    if (closedForm) {
        // No point is negative: the integral is a fixed weighted sum.
        total += b * kernel.content + gIntegral;
    } else if (b + inflow.greatestAtPoint > 0) {
        // Point by point; a negative content counts as 0. (With every point negative the
        // interval adds nothing.)
        double sum = 0.0;
        for (int p = 0; p < kPoints; ++p) {
            sum += kernel.weight[p] * std::max(b + inflow.atPoint[p], 0.0);
        }
        total += sum;
    }
    const double beforeVoid = b + inflow.atVoid;
    atVoid = carried(kernel.nodes->decayEnd, b, inflow.atVoid);
    b = beforeVoid * kernel.voidCarry;
}

// The cells of one row in lockstep: after the first interval they share kernels and g, and
// their independent chains of b keep the processor busy. Every lane does exactly the
// arithmetic of a lone cell. The lanes and the two checks are compile-time: the inner loop
// needs that (bench/README.md).
template <bool kCheckSign, bool kRecord, int kLanes>
void runCells(const Kernel* first, const FastDoseEngine::Row& row, int n,
              const Components& fraction, VoidHistory* history, double* doses) {
    Components g = fraction;
    std::array<double, kLanes> b{};
    std::array<double, kLanes> total{};
    double end = 0.0;
    int night = 0;
    Inflow inflow;
    for (int d = 1; d <= n; ++d) {
        // Interval 1 starts at each cell's own V0; all later ones are shared.
        const Kernel* shared = d == 1 ? nullptr : &row.kernels[row.plan[d - 2]];
        if (shared != nullptr && shared->night) {
            for (int c = 0; c < kComponentCount; ++c) {
                g[c] = (*row.firstNight)[c] * row.nightDecay[night][c];
            }
            ++night;
        }
        const NodeSet& nodes = shared != nullptr ? *shared->nodes : *first[0].nodes;
        inflow.atVoid = dot(g, nodes.uptakeEnd);
        if constexpr (kCheckSign) {
            inflow.bound = 0.0;
            inflow.pointsReady = false;
            for (int c = 0; c < kComponentCount; ++c) {
                inflow.bound += std::min(g[c], 0.0) * nodes.uptakeEnd[c];
            }
        }
        const double sharedIntegral = shared != nullptr ? dot(g, shared->inflow) : 0.0;
        for (int v = 0; v < kLanes; ++v) {
            const Kernel& kernel = shared != nullptr ? *shared : first[v];
            const double gIntegral = shared != nullptr ? sharedIntegral : dot(g, kernel.inflow);
            double atVoid;
            advanceCell<kCheckSign>(kernel, g, gIntegral, inflow, b[v], total[v], atVoid);
            if constexpr (kRecord) {
                history[v].voidActivity[d] = atVoid;
                history[v].voidVolume[d] = kernel.endVolume;
                history[v].voidTime[d] = end + nodes.length;
            }
        }
        end += nodes.length;
        for (int c = 0; c < kComponentCount; ++c) g[c] *= nodes.carry[c];
    }
    for (int v = 0; v < kLanes; ++v) doses[v] = toMilligrayPerMegabecquerel(total[v]);
}

void FastDoseEngine::rowDoses(int scheduleIndex, int t0Index, std::span<const double> v0s,
                              std::span<double> doses, VoidHistory* history) const {
    std::array<Kernel, kV0Count> first;
    for (std::size_t v = 0; v < v0s.size(); ++v) {
        first[v] = kernel(nodeSets_[firstNodeSet_[t0Index]], v0s[v],
                          schedules_[scheduleIndex].dayRate, false);
    }
    const Row row{kernels_.data() + static_cast<std::size_t>(scheduleIndex) * kinds_.size(),
                  plan_.data() + static_cast<std::size_t>(t0Index) * (n_ - 1),
                  &firstNight_[t0Index], nightDecay_.data()};
    const auto run = [&]<bool kCheckSign>() {
        if (v0s.size() == kV0Count) {
            runCells<kCheckSign, false, kV0Count>(first.data(), row, n_, fraction_, nullptr,
                                                  doses.data());
        } else if (history != nullptr) {
            runCells<kCheckSign, true, 1>(first.data(), row, n_, fraction_, history, doses.data());
        } else {
            runCells<kCheckSign, false, 1>(first.data(), row, n_, fraction_, nullptr, doses.data());
        }
    };
    if (anyNegative_) {
        run.template operator()<true>();
    } else {
        run.template operator()<false>();
    }
}

}  // namespace

double simulateDoseFast(const ModelParameters& parameters, const FillRateSchedule& schedule,
                        double v0, double t0, int n, const QuadratureNodes& nodes,
                        const QuadratureWeights& weights, VoidHistory* history) {
    const FastDoseEngine engine(parameters, std::span(&schedule, 1), std::span(&t0, 1), n, nodes,
                                weights);
    double dose = 0.0;
    engine.rowDoses(0, 0, std::span(&v0, 1), std::span(&dose, 1), history);
    return dose;
}

void fillDoseTablesFast(const ModelParameters& parameters,
                        std::span<const FillRateSchedule> schedules, const ModelTables& tables,
                        int n, std::span<DoseTable> results) {
    const FastDoseEngine engine(parameters, schedules, tables.t0Grid, n, tables.quadratureNodes,
                                tables.quadratureWeights);
    for (std::size_t s = 0; s < schedules.size(); ++s) {
        for (int t = 0; t < kT0Count; ++t) {
            std::array<double, kV0Count> doses;
            engine.rowDoses(static_cast<int>(s), t, tables.v0Grid, doses, nullptr);
            for (int v = 0; v < kV0Count; ++v) results[s].at(t, v) = doses[v];
        }
    }
}

std::array<DoseTable, kScheduleCount> computeDoseTablesFast(const ModelParameters& parameters,
                                                            const ModelTables& tables, int n) {
    std::array<DoseTable, kScheduleCount> results{};
    fillDoseTablesFast(parameters, kFillRateSchedules, tables, n, results);
    return results;
}

}  // namespace orvane
