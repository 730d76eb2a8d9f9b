#include "engine/fast_engine.h"

#include <algorithm>
#include <cmath>

#include "engine/simulation.h"

namespace orvane {
namespace {

constexpr int kDayKey = 0;    // 180 min at the day rate
constexpr int kNightKey = 1;  // 360 min at the night rate

using Components = std::array<double, kComponentCount>;

}  // namespace

FastDoseEngine::FastDoseEngine(const ModelParameters& parameters,
                               std::span<const FillRateSchedule> schedules,
                               std::span<const double> t0s, int n, const QuadratureNodes& nodes,
                               const QuadratureWeights& weights)
    : parameters_(parameters),
      n_(n),
      x_(nodes),
      w_(weights),
      schedules_(schedules.begin(), schedules.end()),
      t0s_(t0s.begin(), t0s.end()) {
    // A component with fraction 0 or rate constant 0 delivers nothing; it keeps g = 0.
    for (int c = 0; c < kComponentCount; ++c) {
        if (parameters.fraction[c] == 0 || parameters.rateConstant[c] == 0) continue;
        fraction_[c] = parameters.fraction[c];
        rate_[c] = parameters.rateConstant[c];
        if (fraction_[c] < 0) anyNegative_ = true;
    }

    // The lengths of intervals 2..n, by the reference clock's arithmetic, so that every
    // comparison with midnight comes out as it does there.
    struct Key {
        double length;
        bool night;
    };
    std::vector<Key> keys{{kDayInterval, false}, {kNightInterval, true}};
    const int tail = std::max(n - 1, 0);
    plan_.resize(t0s_.size() * static_cast<std::size_t>(tail));
    std::vector<double> firstNightTime(t0s_.size(), 0.0);
    int nights = 0;
    for (std::size_t t = 0; t < t0s_.size(); ++t) {
        double clock = kAdministrationClock + t0s_[t];
        double time = t0s_[t];  // start of interval d, nominal lengths added exactly
        int nightsHere = 0;
        std::uint16_t* plan = plan_.data() + t * tail;
        for (int d = 2; d <= n; ++d) {
            if (clock < kMidnight) {
                clock = clock + kDayInterval;
                plan[d - 2] = kDayKey;
                time += kDayInterval;
            } else if (clock == kMidnight) {
                clock = kMorningClock;
                plan[d - 2] = kNightKey;
                if (nightsHere++ == 0) firstNightTime[t] = time;
                time += kNightInterval;
            } else {
                const double length = kDayInterval - (clock - kMidnight);
                time += length;
                clock = kMidnight;
                auto found = std::find_if(keys.begin(), keys.end(), [&](const Key& k) {
                    return !k.night && k.length == length;
                });
                if (found == keys.end()) found = keys.insert(keys.end(), {length, false});
                plan[d - 2] = static_cast<std::uint16_t>(found - keys.begin());
            }
        }
        nights = std::max(nights, nightsHere);
    }
    keyCount_ = static_cast<int>(keys.size());

    // One node set per distinct length, first intervals included.
    std::vector<double> lengths;
    auto lengthIndex = [&](double length) {
        auto found = std::find(lengths.begin(), lengths.end(), length);
        if (found == lengths.end()) found = lengths.insert(lengths.end(), length);
        return static_cast<int>(found - lengths.begin());
    };
    std::vector<int> keyNodeSet;
    for (const Key& key : keys) keyNodeSet.push_back(lengthIndex(key.length));
    for (double t0 : t0s_) firstNodeSet_.push_back(lengthIndex(t0));

    const double lp = parameters.physicalDecayConstant;
    nodeSets_.resize(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        NodeSet& set = nodeSets_[i];
        const double length = lengths[i];
        const double half = length / 2;
        set.length = length;
        for (int p = 0; p < kPoints; ++p) {
            const double y = (p % 2 == 0) ? x_[p / 2] : -x_[p / 2];
            const double dt = (1 + y) * half;
            set.offset[p] = dt;
            set.weightTime[p] = w_[p / 2] * half;
            set.decay[p] = std::exp(-lp * dt);
            for (int c = 0; c < kComponentCount; ++c) {
                set.uptake[c][p] = rate_[c] == 0 ? 0.0 : -std::expm1(-rate_[c] * dt);
            }
        }
        set.decayEnd = std::exp(-lp * length);
        for (int c = 0; c < kComponentCount; ++c) {
            set.uptakeEnd[c] = rate_[c] == 0 ? 0.0 : -std::expm1(-rate_[c] * length);
            set.carry[c] = std::exp(-(lp + rate_[c]) * length);
        }
    }

    firstNight_.resize(t0s_.size());
    for (std::size_t t = 0; t < t0s_.size(); ++t) {
        for (int c = 0; c < kComponentCount; ++c) {
            firstNight_[t][c] = fraction_[c] * std::exp(-(lp + rate_[c]) * firstNightTime[t]);
        }
    }
    nightDecay_.resize(nights);
    for (int m = 0; m < nights; ++m) {
        for (int c = 0; c < kComponentCount; ++c) {
            nightDecay_[m][c] = std::exp(-(lp + rate_[c]) * (kMidnight * m));
        }
    }

    // Every interval after the first starts at the residual volume.
    kernels_.resize(schedules_.size() * keys.size());
    for (std::size_t s = 0; s < schedules_.size(); ++s) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const double rate = keys[k].night ? schedules_[s].nightRate : schedules_[s].dayRate;
            buildKernel(kernels_[s * keys.size() + k], nodeSets_[keyNodeSet[k]], kResidualVolume,
                        rate);
        }
    }
}

void FastDoseEngine::buildKernel(Kernel& kernel, const NodeSet& nodes, double startVolume,
                                 double rate) const {
    const double delta = parameters_.deltaScaled;
    const double gamma = parameters_.gammaScaled * 0.0039;
    // The dose-rate factor S(V) of the reference. Its gamma term is exactly 0 without gamma
    // emissions, so the powers are skipped then; they are taken first, in a loop of their
    // own, so that the divisions below overlap instead of waiting on each call.
    std::array<double, kPoints> volume;
    std::array<double, kPoints> power;
    for (int p = 0; p < kPoints; ++p) volume[p] = startVolume + rate * nodes.offset[p];
    if (gamma != 0) {
        for (int p = 0; p < kPoints; ++p) power[p] = std::pow(volume[p], 0.667);
    }
    double content = 0.0;
    Components inflow{};
    for (int p = 0; p < kPoints; ++p) {
        double factor = delta / (volume[p] * 120);
        if (gamma != 0) factor += gamma / (power[p] * 60);
        const double weight = nodes.weightTime[p] * factor * nodes.decay[p];
        kernel.weight[p] = weight;
        content += weight;
        for (int c = 0; c < kComponentCount; ++c) inflow[c] += weight * nodes.uptake[c][p];
    }
    kernel.nodes = &nodes;
    kernel.content = content;
    kernel.inflow = inflow;
    kernel.endVolume = startVolume + rate * nodes.length;
    kernel.residualShare = kResidualVolume / kernel.endVolume;
    kernel.voidCarry = nodes.decayEnd * kernel.residualShare;
}

struct FastCellTables {
    const FastDoseEngine::Kernel* row;  // kernels of the schedule, by key
    const std::uint16_t* plan;          // key of intervals 2..n
    const Components* firstNight;
    const Components* nightDecay;
};

namespace {

inline double dot(const Components& a, const Components& b) {
    return (a[0] * b[0] + a[1] * b[1]) + (a[2] * b[2] + a[3] * b[3]);
}

// What the components contribute to one interval, the same for every cell that shares g.
struct Inflow {
    double end = 0.0;  // the components' part of the content at the void, before decay
    // With negative fractions: a bound below every point's inflow (each component's uptake
    // grows with time, so the least is where every negative component has delivered all it
    // delivers within the interval), and, once some cell needs them, each point's inflow
    // and their least.
    double bound = 0.0;
    bool pointsReady = false;
    std::array<double, FastDoseEngine::kPoints> atPoint{};
    double leastAtPoint = 0.0;
    double greatestAtPoint = 0.0;

    void preparePoints(const Components& g, const FastDoseEngine::NodeSet& nodes) {
        if (pointsReady) return;
        for (int p = 0; p < FastDoseEngine::kPoints; ++p) {
            atPoint[p] = (g[0] * nodes.uptake[0][p] + g[1] * nodes.uptake[1][p]) +
                         (g[2] * nodes.uptake[2][p] + g[3] * nodes.uptake[3][p]);
        }
        leastAtPoint = *std::min_element(atPoint.begin(), atPoint.end());
        greatestAtPoint = *std::max_element(atPoint.begin(), atPoint.end());
        pointsReady = true;
    }
};

// Adds one interval's integral to total and leaves in b what its void leaves behind; b is
// the content at the interval's start, gInflow the components' part of the integral.
template <bool kCheckSign>
inline void advanceCell(const FastDoseEngine::Kernel& kernel, const Components& g, double gInflow,
                        Inflow& inflow, double& b, double& total, double& atVoid) {
    bool closedForm = true;
    if constexpr (kCheckSign) {
        if (b + inflow.bound < 0) {
            inflow.preparePoints(g, *kernel.nodes);
            closedForm = b + inflow.leastAtPoint >= 0;
        }
    }
    if (closedForm) {
        // No point is negative: the integral is a fixed weighted sum.
        total += b * kernel.content + gInflow;
    } else if (b + inflow.greatestAtPoint > 0) {
        // Point by point; a negative content counts as 0. (With every point negative the
        // interval adds nothing.)
        double sum = 0.0;
        for (int p = 0; p < FastDoseEngine::kPoints; ++p) {
            sum += kernel.weight[p] * std::max(b + inflow.atPoint[p], 0.0);
        }
        total += sum;
    }
    const double beforeVoid = b + inflow.end;
    atVoid = kernel.nodes->decayEnd * beforeVoid;
    b = beforeVoid * kernel.voidCarry;
}

// The cells of one schedule and first-void time that differ only in V0, in lockstep: after
// the first interval they share kernels and g, and their independent chains of b keep the
// processor busy. Every lane does exactly the arithmetic of a lone cell.
template <bool kCheckSign, bool kRecord, int kLanes>
void runCells(const FastDoseEngine::Kernel* first, const FastCellTables& tables, int n,
              const Components& fraction, VoidHistory* history, double* doses) {
    Components g = fraction;
    std::array<double, kLanes> b{};
    std::array<double, kLanes> total{};
    double end = 0.0;
    int night = 0;
    Inflow inflow;
    for (int d = 1; d <= n; ++d) {
        // Interval 1 starts at each cell's own V0; all later ones are shared.
        const FastDoseEngine::Kernel* shared = nullptr;
        if (d > 1) {
            const int key = tables.plan[d - 2];
            shared = &tables.row[key];
            if (key == kNightKey) {
                for (int c = 0; c < kComponentCount; ++c) {
                    g[c] = (*tables.firstNight)[c] * tables.nightDecay[night][c];
                }
                ++night;
            }
        }
        const FastDoseEngine::NodeSet& nodes = shared ? *shared->nodes : *first[0].nodes;
        inflow.end = dot(g, nodes.uptakeEnd);
        if constexpr (kCheckSign) {
            inflow.bound = 0.0;
            inflow.pointsReady = false;
            for (int c = 0; c < kComponentCount; ++c) {
                inflow.bound += std::min(g[c], 0.0) * nodes.uptakeEnd[c];
            }
        }
        const double sharedInflow = shared ? dot(g, shared->inflow) : 0.0;
        for (int v = 0; v < kLanes; ++v) {
            const FastDoseEngine::Kernel& kernel = shared ? *shared : first[v];
            const double gInflow = shared ? sharedInflow : dot(g, kernel.inflow);
            double atVoid;
            advanceCell<kCheckSign>(kernel, g, gInflow, inflow, b[v], total[v], atVoid);
            if constexpr (kRecord) {
                history[v].voidActivity[d] = atVoid;
                history[v].voidVolume[d] = kernel.endVolume;
                history[v].voidTime[d] = end + nodes.length;
            }
        }
        end += nodes.length;
        for (int c = 0; c < kComponentCount; ++c) g[c] *= nodes.carry[c];
    }
    for (int v = 0; v < kLanes; ++v) doses[v] = (1000 * total[v]) / 3.7;
}

}  // namespace

FastCellTables FastDoseEngine::cellTables(int scheduleIndex, int t0Index) const {
    return {kernels_.data() + static_cast<std::size_t>(scheduleIndex) * keyCount_,
            plan_.data() + static_cast<std::size_t>(t0Index) * (n_ - 1), &firstNight_[t0Index],
            nightDecay_.data()};
}

double FastDoseEngine::cellDose(int scheduleIndex, double v0, int t0Index,
                                VoidHistory* history) const {
    Kernel first;
    buildKernel(first, nodeSets_[firstNodeSet_[t0Index]], v0, schedules_[scheduleIndex].dayRate);
    const FastCellTables tables = cellTables(scheduleIndex, t0Index);
    double dose = 0.0;
    if (history != nullptr) {
        if (anyNegative_) {
            runCells<true, true, 1>(&first, tables, n_, fraction_, history, &dose);
        } else {
            runCells<false, true, 1>(&first, tables, n_, fraction_, history, &dose);
        }
    } else if (anyNegative_) {
        runCells<true, false, 1>(&first, tables, n_, fraction_, nullptr, &dose);
    } else {
        runCells<false, false, 1>(&first, tables, n_, fraction_, nullptr, &dose);
    }
    return dose;
}

void FastDoseEngine::rowDoses(int scheduleIndex, const V0Grid& v0s, int t0Index,
                              std::array<double, kV0Count>& doses) const {
    std::array<Kernel, kV0Count> first;
    for (int v = 0; v < kV0Count; ++v) {
        buildKernel(first[v], nodeSets_[firstNodeSet_[t0Index]], v0s[v],
                    schedules_[scheduleIndex].dayRate);
    }
    const FastCellTables tables = cellTables(scheduleIndex, t0Index);
    if (anyNegative_) {
        runCells<true, false, kV0Count>(first.data(), tables, n_, fraction_, nullptr, doses.data());
    } else {
        runCells<false, false, kV0Count>(first.data(), tables, n_, fraction_, nullptr,
                                         doses.data());
    }
}

double simulateDoseFast(const ModelParameters& parameters, const FillRateSchedule& schedule,
                        double v0, double t0, int n, const QuadratureNodes& nodes,
                        const QuadratureWeights& weights, VoidHistory* history) {
    const FastDoseEngine engine(parameters, std::span(&schedule, 1), std::span(&t0, 1), n, nodes,
                                weights);
    return engine.cellDose(0, v0, 0, history);
}

void fillDoseTablesFast(const ModelParameters& parameters,
                        std::span<const FillRateSchedule> schedules, const ModelTables& tables,
                        int n, std::span<DoseTable> results) {
    const FastDoseEngine engine(parameters, schedules, tables.t0Grid, n, tables.quadratureNodes,
                                tables.quadratureWeights);
    // A row is one schedule and T0 with all seven V0.
    for (std::size_t s = 0; s < schedules.size(); ++s) {
        for (int t = 0; t < kT0Count; ++t) {
            std::array<double, kV0Count> doses;
            engine.rowDoses(static_cast<int>(s), tables.v0Grid, t, doses);
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
