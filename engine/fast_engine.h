// The dynamic bladder simulation in O(N) per cell.
//
// Instead of summing over all earlier voids at every quadrature point, the bladder's content
// is carried from void to void: at the start of an interval it is what the last void left
// behind, and within the interval it grows by what the kidneys deliver. Each component's
// delivery enters as g = f e^{-(lp + k) ts}, so the content at ts + dt is
//
//     B(ts + dt) = e^{-lp dt} (b + sum over components of g (1 - e^{-k dt})),
//
// which is U(t) - O(t) of the literal sums without the cancellation between them. All
// factors that depend only on the interval's length, fill rate and start volume (node
// offsets, volumes, dose-rate factors, decay and uptake factors) are tabulated once per
// calculation and shared by every cell. When no quadrature point of an interval can be
// negative, its integral is b W + sum of g D over a few tabulated weights; otherwise the
// points are summed one by one with the clamp at 0. The seven cells that differ only in V0
// share everything after their first interval and run in lockstep.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/model.h"

namespace orvane {

// The tables that one cell reads (fast_engine.cpp).
struct FastCellTables;

class FastDoseEngine {
public:
    // Tables for cells of the given schedules and first-void times, n intervals each
    // (1 <= n <= 1000). Expects parameters and times that passed the calculation's checks.
    FastDoseEngine(const ModelParameters& parameters, std::span<const FillRateSchedule> schedules,
                   std::span<const double> t0s, int n, const QuadratureNodes& nodes,
                   const QuadratureWeights& weights);
    // Kernels point into the node sets: moving keeps them valid, copying would not.
    FastDoseEngine(const FastDoseEngine&) = delete;
    FastDoseEngine& operator=(const FastDoseEngine&) = delete;
    FastDoseEngine(FastDoseEngine&&) = default;

    // Dose to the bladder wall of one cell, mGy/MBq. Writes nothing but history (slots
    // 1..n, when given): any number of threads may call it at once.
    double cellDose(int scheduleIndex, double v0, int t0Index,
                    VoidHistory* history = nullptr) const;

    // The doses of the seven cells of one schedule and first-void time, one per V0, computed
    // together; each is exactly what cellDose gives for its cell.
    void rowDoses(int scheduleIndex, const V0Grid& v0s, int t0Index,
                  std::array<double, kV0Count>& doses) const;

    int intervalCount() const { return n_; }

    static constexpr int kPoints = 2 * kNodeCount;  // +x and -x of every node

    // Factors that depend only on an interval's length.
    struct NodeSet {
        double length = 0.0;
        std::array<double, kPoints> offset{};      // t - ts of each point, reference order
        std::array<double, kPoints> weightTime{};  // w (te - ts) / 2
        std::array<double, kPoints> decay{};       // e^{-lp dt}
        std::array<std::array<double, kPoints>, kComponentCount> uptake{};  // 1 - e^{-k dt}
        double decayEnd = 0.0;                                              // e^{-lp L}
        std::array<double, kComponentCount> uptakeEnd{};                    // 1 - e^{-k L}
        std::array<double, kComponentCount> carry{};                        // e^{-(lp + k) L}
    };

    // An interval of a given length, fill rate and start volume.
    struct Kernel {
        const NodeSet* nodes = nullptr;
        std::array<double, kPoints> weight{};          // w (te - ts) / 2 S(V) e^{-lp dt}
        double content = 0.0;                          // sum of weight: the integral per unit of b
        std::array<double, kComponentCount> inflow{};  // sum of weight (1 - e^{-k dt})
        double residualShare = 0.0;                    // 10 / volume at the void
        double voidCarry = 0.0;  // e^{-lp L} x 10 / volume: content at the start -> left behind
        double endVolume = 0.0;
    };

private:
    FastCellTables cellTables(int scheduleIndex, int t0Index) const;
    void buildKernel(Kernel& kernel, const NodeSet& nodes, double startVolume, double rate) const;

    ModelParameters parameters_;
    int n_;
    QuadratureNodes x_;
    QuadratureWeights w_;
    std::array<double, kComponentCount> fraction_{};  // 0 for components that take no part
    std::array<double, kComponentCount> rate_{};
    bool anyNegative_ = false;  // a negative fraction: points can go negative, check each
    std::vector<FillRateSchedule> schedules_;
    std::vector<double> t0s_;
    std::vector<NodeSet> nodeSets_;  // one per distinct length
    std::vector<int> firstNodeSet_;  // per first-void time
    std::vector<Kernel> kernels_;    // [schedule][key] for intervals 2..n
    int keyCount_ = 0;
    std::vector<std::uint16_t> plan_;  // [t0][d - 2]: key of interval d
    // Every night interval starts g afresh from exponentials of the time instead of carrying
    // it, so that the rounding of the carry factors does not compound over N intervals:
    // g at the m-th night = firstNight_[t0] x nightDecay_[m].
    std::vector<std::array<double, kComponentCount>> firstNight_;  // f e^{-(lp + k) t}
    std::vector<std::array<double, kComponentCount>> nightDecay_;  // e^{-(lp + k) 1440 m}
};

// One cell with tables of its own; the same arithmetic as FastDoseEngine::cellDose.
double simulateDoseFast(const ModelParameters& parameters, const FillRateSchedule& schedule,
                        double v0, double t0, int n, const QuadratureNodes& nodes,
                        const QuadratureWeights& weights, VoidHistory* history = nullptr);

// The doses of every cell of the given schedules, into results[schedule], a row of seven
// V0 at a time in (schedule, T0 index) order. The calculation and the time estimate's trial
// both run this, on the calling thread: on a 2-core machine shared with other work a helper
// thread gained at most 1.4 times while the other core was idle and lost up to 1.8 times
// (median) while it was busy, against 0.3 ms for a whole calculation at N = 1000.
void fillDoseTablesFast(const ModelParameters& parameters,
                        std::span<const FillRateSchedule> schedules, const ModelTables& tables,
                        int n, std::span<DoseTable> results);

// The 189 doses of a whole calculation, all three schedules.
std::array<DoseTable, kScheduleCount> computeDoseTablesFast(const ModelParameters& parameters,
                                                            const ModelTables& tables, int n);

}  // namespace orvane
