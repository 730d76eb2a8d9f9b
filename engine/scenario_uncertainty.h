// The quantities of a scenario that an uncertainty analysis can vary, and the analysis of a
// scenario itself: each sample is the scenario with its varied quantities replaced.
#pragma once

#include <vector>

#include "engine/sampling.h"
#include "engine/scenario.h"

namespace orvane {

enum class ScenarioQuantity {
    Fraction,              // component's fraction, -
    RateConstant,          // component's biological rate constant, min^-1
    HalfLife,              // component's biological half-life, min; moves its rate constant
    PhysicalHalfLife,      // min; sets the decay constant 0.693 / value
    Delta,                 // mGy-kg/MBq-s, as typed
    Gamma,                 // mGy-cm^2/MBq-s, as typed
    InitialVolume,         // ml
    ResidualVolume,        // ml, of every void without its own
    AdministeredActivity,  // MBq
    EndTime,               // min
    DayRate,               // ml/min; the night rate follows at half when it is not given
    NightRate,             // ml/min
    FillFactor,            // multiplies every fill rate (day, night, steps); nominal 1
    StepFrom,              // fill-rate step's start, min
    StepRate,              // fill-rate step's rate, ml/min
    FirstVoid,             // min
    Interval,              // regular voiding interval, min (also a diary's `then`)
    DiaryTime,             // a diary void's time, min
    DiaryResidual,         // a diary void's own residual, ml
};

// One varied quantity; index picks the component, step or diary void.
struct ScenarioKey {
    ScenarioQuantity quantity = ScenarioQuantity::InitialVolume;
    int index = 0;
    bool nightFollowsDay = false;  // DayRate: the night rate is the default half of the day's
};

// The lowest value the model accepts for the quantity (-infinity for a fraction).
double lowestAccepted(ScenarioQuantity quantity);

// The scenario's own value of the key (the default where the scenario gives none).
double scenarioValue(const Scenario& scenario, const ScenarioKey& key);

// Puts value into the scenario; a value equal to the scenario's own changes nothing, so that
// the nominal sample is the scenario itself to the last bit.
void setScenarioValue(Scenario& scenario, const ScenarioKey& key, double value);

// Samples the scenario with inputs[i] applied through keys[i] (a fill-rate factor after the
// rest); a sample that the scenario engine refuses (ScenarioError) is rejected and counted.
// Threads each get their own copy of the scenario and scratch space.
UncertaintyResult runScenarioUncertainty(const Scenario& scenario, const QuadratureRule& rule,
                                         const std::vector<ScenarioKey>& keys,
                                         const std::vector<UncertainInput>& inputs,
                                         const UncertaintyOptions& options);

}  // namespace orvane
