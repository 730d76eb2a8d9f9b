// The data of one dose calculation: parameters, fill-rate schedules, grids, quadrature
// table, void record and results. Units: time min, volume ml, activity as a fraction of
// the administered activity, dose mGy/MBq.
#pragma once

#include <array>
#include <string>

namespace orvane {

inline constexpr int kComponentCount = 4;
inline constexpr int kV0Count = 7;
inline constexpr int kT0Count = 9;
inline constexpr int kNodeCount = 8;  // non-negative nodes of the symmetric 16-point rule
inline constexpr int kScheduleCount = 3;
inline constexpr int kMaxIntervals = 1000;  // capacity of VoidHistory

// Half-lives and rate constants convert with this numerator, not ln 2.
inline constexpr double kDecayNumerator = 0.693;

// The parameters of a calculation as read from the input fields. makeModelParameters and the
// setters below are the one place that derives the decay constant and the scaled Delta and
// Gamma from the values typed.
struct ModelParameters {
    std::string name;  // radiopharmaceutical name shown in the report and the results file
    std::array<double, kComponentCount> fraction{};            // -, of administered activity
    std::array<double, kComponentCount> rateConstant{};        // min^-1, biological
    std::array<double, kComponentCount> biologicalHalfLife{};  // min; only sets N and the report
    double physicalHalfLife = 0.0;                             // min
    double physicalDecayConstant = 0.0;                        // min^-1 = 0.693 / physicalHalfLife
    double deltaScaled = 0.0;  // Delta (mGy-kg/MBq-s) x 37 x 3600 / 10
    double gammaScaled = 0.0;  // Gamma (mGy-cm^2/MBq-s) x 37 x 3600 / 10

    bool operator==(const ModelParameters&) const = default;
};

// Delta or Gamma as typed -> the internal scaling (x 37 x 3600 / 10, in that order).
inline double scaleEmissionConstant(double typed) {
    return typed * 37 * 3600 / 10;
}
// The internal scaling -> Delta or Gamma in the units typed (x 10 / 133200, in that order).
inline double unscaleEmissionConstant(double scaled) {
    return scaled * 10 / 133200;
}

// A radiopharmaceutical's values in the units typed and stored in files.
struct RadiopharmaceuticalValues {
    std::string name;
    std::array<double, kComponentCount> fraction{};            // -
    std::array<double, kComponentCount> rateConstant{};        // min^-1
    std::array<double, kComponentCount> biologicalHalfLife{};  // min
    double physicalHalfLife = 0.0;                             // min
    double delta = 0.0;                                        // mGy-kg/MBq-s
    double gamma = 0.0;                                        // mGy-cm^2/MBq-s
};

// The physical half-life (min) and with it the decay constant, 0.693 / half-life.
inline void setPhysicalHalfLife(ModelParameters& p, double halfLife) {
    p.physicalHalfLife = halfLife;
    p.physicalDecayConstant = kDecayNumerator / halfLife;
}
// Delta (mGy-kg/MBq-s) and Gamma (mGy-cm^2/MBq-s) as typed.
inline void setDelta(ModelParameters& p, double typed) {
    p.deltaScaled = scaleEmissionConstant(typed);
}
inline void setGamma(ModelParameters& p, double typed) {
    p.gammaScaled = scaleEmissionConstant(typed);
}

// The parameters of values as typed, the derived fields set.
inline ModelParameters makeModelParameters(const RadiopharmaceuticalValues& v) {
    ModelParameters p;
    p.name = v.name;
    p.fraction = v.fraction;
    p.rateConstant = v.rateConstant;
    p.biologicalHalfLife = v.biologicalHalfLife;
    setPhysicalHalfLife(p, v.physicalHalfLife);
    setDelta(p, v.delta);
    setGamma(p, v.gamma);
    return p;
}

// Day and night bladder fill rates, ml/min.
struct FillRateSchedule {
    double dayRate;
    double nightRate;
};

inline constexpr std::array<FillRateSchedule, kScheduleCount> kFillRateSchedules{
    {{0.5, 0.25}, {1.0, 0.5}, {1.5, 0.75}}};

// Caption of a schedule's option button in the results window.
inline constexpr std::array<const char*, kScheduleCount> kScheduleCaptions{
    "Bladder fill rate 0.5/0.25 ml/min day/night", "Bladder fill rate 1.0/0.5 ml/min day/night",
    "Bladder fill rate 1.5/0.75 ml/min day/night"};

using V0Grid = std::array<double, kV0Count>;               // initial bladder volume, ml
using T0Grid = std::array<double, kT0Count>;               // first-void time, min
using QuadratureNodes = std::array<double, kNodeCount>;    // non-negative abscissae on [-1, 1]
using QuadratureWeights = std::array<double, kNodeCount>;  // weight of each node (+x and -x)

// The V0 (ml) and T0 (min) values that the results window and the results file label their
// rows and columns with: the data file's grids must be exactly these.
inline constexpr V0Grid kLabelledV0Grid{10, 50, 100, 200, 300, 400, 500};
inline constexpr T0Grid kLabelledT0Grid{20, 40, 60, 80, 100, 120, 140, 160, 180};

// The grids and quadrature table that the data file supplies.
struct ModelTables {
    V0Grid v0Grid{};
    T0Grid t0Grid{};
    QuadratureNodes quadratureNodes{};
    QuadratureWeights quadratureWeights{};

    bool operator==(const ModelTables&) const = default;
};

// Per-cell scratch: the voids of one simulation, slots 1..N (slot 0 unused).
struct VoidHistory {
    std::array<double, kMaxIntervals + 1> voidTime{};      // min since administration
    std::array<double, kMaxIntervals + 1> voidVolume{};    // ml just before the void
    std::array<double, kMaxIntervals + 1> voidActivity{};  // activity just before the void
};

// The doses of one schedule, mGy/MBq: 7 rows (V0 index) x 9 columns (T0 index).
struct DoseTable {
    std::array<std::array<double, kT0Count>, kV0Count> dose{};

    double at(int t0Index, int v0Index) const { return dose[v0Index][t0Index]; }
    double& at(int t0Index, int v0Index) { return dose[v0Index][t0Index]; }
    bool operator==(const DoseTable&) const = default;
};

// The three tables of one calculation with the parameters and grids they came from.
struct DoseResults {
    ModelParameters parameters;
    ModelTables grids;
    std::array<DoseTable, kScheduleCount> tables{};
};

}  // namespace orvane
