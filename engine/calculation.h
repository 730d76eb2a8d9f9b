// From the fifteen input field texts to the three dose tables.
#pragma once

#include <array>
#include <stdexcept>
#include <string>

#include "engine/model.h"

namespace orvane {

inline constexpr int kFieldCount = 15;

// The texts of the input fields Text1..Text15, in that order: fraction, rate constant and
// biological half-life of components 1..4, then physical half-life, Delta, Gamma.
using FieldTexts = std::array<std::string, kFieldCount>;

// The field layout: indexes 0..11 hold three values (columns) of each component 0..3, in
// the order fraction, rate constant, biological half-life; 12..14 the radionuclide's.
inline constexpr int kComponentColumnCount = 3;
inline constexpr int kComponentFieldCount = kComponentColumnCount * kComponentCount;
constexpr int componentField(int component, int column) {
    return component * kComponentColumnCount + column;
}
constexpr int fractionField(int component) {
    return componentField(component, 0);
}
constexpr int rateConstantField(int component) {
    return componentField(component, 1);
}
constexpr int halfLifeField(int component) {
    return componentField(component, 2);
}
// For a field below kComponentFieldCount: its component and its column.
constexpr int fieldComponent(int field) {
    return field / kComponentColumnCount;
}
constexpr int fieldColumn(int field) {
    return field % kComponentColumnCount;
}
inline constexpr int kPhysicalHalfLifeField = kComponentFieldCount;
inline constexpr int kDeltaField = kComponentFieldCount + 1;
inline constexpr int kGammaField = kComponentFieldCount + 2;
static_assert(kGammaField + 1 == kFieldCount);

// A schedule's fill rates as the report and messages show them: "0.5/0.25 ml/min",
// "1./0.5 ml/min" (day/night, each as formatUpTo3Decimals).
std::string fillRateText(const FillRateSchedule& schedule);

// The short key of each field, in field order: orvane-cli's option names and the keys of the
// calculation record.
inline constexpr std::array<const char*, kFieldCount> kFieldKeys{
    "f1",  "k1", "tb1", "f2",  "k2", "tb2",   "f3",   "k3",
    "tb3", "f4", "k4",  "tb4", "tp", "delta", "gamma"};

// What the user sees as the name of field index 0..14, e.g. "Physical Half-Life (min)" or
// "Fraction, component 2".
std::string fieldCaption(int fieldIndex);

// Input for which the computation is undefined. field() is the 0-based field index, or -1
// when no single field is to blame (for example the number of intervals).
class InputError : public std::runtime_error {
public:
    InputError(int field, const std::string& message)
        : std::runtime_error(message), field_(field) {}
    int field() const { return field_; }

private:
    int field_;
};

// A data-file grid or quadrature value for which the computation is undefined, or a dose
// that came out non-finite.
class CalculationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Refuses (InputError naming the field) a text that, blanks trimmed, is neither empty nor
// wholly one number: "0,06", "6.01 h", "6%", "1/16". The message quotes the text and says what
// to type. An empty text stands for 0.
void checkFieldTexts(const FieldTexts& fields);

// Reads the field texts in order, with the scalings: decay constant = 0.693 / half-life,
// Delta and Gamma x 37 x 3600 / 10; control characters in the name become blanks. Checks
// nothing; a text that is not wholly a number gives its leading number.
ModelParameters readModelParameters(const FieldTexts& fields, const std::string& name);

// Refuses parameters for which the simulation is undefined or wrong (InputError naming the
// field): a physical half-life that is 0, negative or too small; a value that reads as
// infinite; a negative rate constant on a component that takes part; Tp + Tbmax = 0; a
// biological half-life of 0 or less on a component whose fraction and rate constant are not
// 0 (it would cut the simulation short); a negative Delta or Gamma. The number of intervals
// is checked apart, by checkIntervalCount.
void checkParameters(const ModelParameters& parameters);

// A grid or quadrature value of the data file for which the computation is undefined.
class GridError : public CalculationError {
public:
    using CalculationError::CalculationError;
};

// Refuses an N above the capacity of the void record, naming N and the longest half-life.
void checkIntervalCount(const ModelParameters& parameters, long long n);

// Refuses grids from the data file that make the computation undefined (GridError):
// V0 <= 0, T0 <= 0, a T0 that empties a later interval, non-finite values.
void checkGrids(const ModelTables& tables);

// Which implementation computes the cells; both give the same doses.
enum class DoseEngine { Reference, Fast };

// All 189 doses from already read parameters. Checks parameters, N and grids first; throws
// CalculationError if any dose is not finite.
DoseResults computeDoseResults(const ModelParameters& parameters, const ModelTables& tables,
                               DoseEngine engine = DoseEngine::Fast);

// The "Calculate Doses" calculation: checks and reads the fields, refuses undefined input
// before any work, and computes the three tables (schedule, V0 index, T0 index order).
DoseResults RunCalculation(const FieldTexts& fields, const std::string& name,
                           const ModelTables& tables, DoseEngine engine = DoseEngine::Fast);

}  // namespace orvane
