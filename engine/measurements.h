// A patient's own measurements of the excretion, and what the scenario engine predicts for
// each of them. Units: time min after administration, volume ml, activity MBq, fraction of
// the administered activity.
//
//  - a void: the activity voided, MBq at the void (counted at measured_at, it is decayed back);
//    the model is the administered activity times the engine's activity voided at that void;
//  - cumulative urine: the fraction excreted in urine by a time, decay-corrected to the
//    administration, sum of f_i (1 - e^(-k_i t)), whatever the voids;
//  - bladder: the activity in the bladder at a time (just before a void at that very time);
//  - whole body: the administered activity decayed to the time, less what the voids before it
//    removed, each decayed from its void to the time (urine is the only route out).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/scenario.h"

namespace orvane {

inline constexpr double kDefaultRelativeSd = 0.05;

// One measured void. Without an activity it still belongs to the diary (and gives its volume
// to a fill rate derived from the voids), but it is no point of the fit.
struct MeasuredVoid {
    double at = 0.0;                     // min after administration
    std::optional<double> volume{};      // ml voided
    std::optional<double> activity{};    // MBq
    std::optional<double> measuredAt{};  // min; when the activity was counted, at or after `at`
    std::optional<double> sd{};          // MBq, of the activity as counted
    bool operator==(const MeasuredVoid&) const = default;
};

// One measured value of the other kinds: a fraction (cumulative urine) or MBq at `at`.
struct MeasuredValue {
    double at = 0.0;             // min after administration
    double value = 0.0;          // fraction or MBq
    std::optional<double> sd{};  // in the value's own units
    bool operator==(const MeasuredValue&) const = default;
};

struct Measurements {
    std::vector<MeasuredVoid> voids;
    std::vector<MeasuredValue> cumulativeUrine;  // fraction
    std::vector<MeasuredValue> bladder;          // MBq
    std::vector<MeasuredValue> wholeBody;        // MBq
    double relativeSd = kDefaultRelativeSd;      // sd of a point without its own, per unit value
    bool operator==(const Measurements&) const = default;
};

enum class MeasurementKind { Void, CumulativeUrine, Bladder, WholeBody };

// "void", "cumulative_urine", "bladder", "whole_body".
const char* measurementKindName(MeasurementKind kind);

// One point of the fit: the value as the model gives it (a void decayed back to the void) and
// its standard deviation in the same units.
struct MeasurementPoint {
    MeasurementKind kind = MeasurementKind::Void;
    int index = 0;  // in its own list of the measurements
    double at = 0.0;
    double measured = 0.0;
    double sd = 0.0;
};

// Refuses (ScenarioError with the key path, "measurements.voids[2].measured_at") what cannot be
// fitted: no point at all, a time that is not positive or voids out of order, measured_at before
// at, a negative or non-finite value or sd, a measured 0 without its own sd, a relative_sd that
// is not positive, and activities in MBq without the scenario's administered activity.
void checkMeasurements(const Measurements& measurements, const Scenario& scenario);

// The points of the fit in the order voids, cumulative urine, bladder, whole body; the voids'
// activities decayed back with the scenario's physical decay constant. Checks first.
std::vector<MeasurementPoint> measurementPoints(const Measurements& measurements,
                                                const Scenario& scenario);

// The scenario with the measured voids as its diary. What the scenario does after them stays:
// a diary keeps its `then`, a regular (or table) pattern continues regularly after the last
// measured void; a diary void at the same time keeps its own residual.
Scenario withMeasuredDiary(const Scenario& scenario, const Measurements& measurements);

// The fill rate derived from the measured voids ("fill_rate": "from_voids"): over each interval
// the rate that brings the residual left before it to the volume voided plus the residual left
// at its void, V = residual before + rate x interval (the first interval starts from the initial
// volume); an interval whose void has no volume, and the time after the last void, take the mean
// of the derived rates weighted by the volumes voided. Residuals are the scenario's (a diary
// void's own where it has one). Refuses a negative derived rate, naming the void, and voids with
// no volume at all.
FillRatePattern fillRateFromVoids(const Scenario& scenario, const Measurements& measurements);

// Predicts the points of a scenario for varied kinetics with the scenario engine. The voids are
// those of the scenario run up to the last point's time (so that they do not depend on the
// kinetics); every measured void must be one of them.
class MeasurementModel {
public:
    // Refuses (ScenarioError) a measured void at a time that is no void of the scenario.
    MeasurementModel(const Scenario& scenario, std::vector<MeasurementPoint> points,
                     const QuadratureRule& rule);

    const std::vector<MeasurementPoint>& points() const { return points_; }

    // The model's value of every point, in point order, for the scenario with these kinetics.
    // Throws ScenarioError when the engine refuses them.
    void predict(const ModelParameters& kinetics, std::vector<double>& model) const;

private:
    Scenario scenario_;
    std::vector<MeasurementPoint> points_;
    std::vector<int> voidIndex_;  // per point: the scenario's void, or -1
    QuadratureRule rule_;
    double administered_ = 1.0;
};

}  // namespace orvane
