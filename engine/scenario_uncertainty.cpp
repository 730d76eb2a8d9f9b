#include "engine/scenario_uncertainty.h"

#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "engine/scenario_events.h"

namespace orvane {

namespace {

double& component(std::array<double, kComponentCount>& values, int index) {
    return values.at(static_cast<std::size_t>(index));
}

double defaultEnd(const Scenario& s) {
    return s.endTime ? *s.endTime : defaultEndTime(s.radiopharmaceutical);
}

}  // namespace

double lowestAccepted(ScenarioQuantity quantity) {
    return quantity == ScenarioQuantity::Fraction ? -std::numeric_limits<double>::infinity() : 0.0;
}

double scenarioValue(const Scenario& s, const ScenarioKey& key) {
    ModelParameters p = s.radiopharmaceutical;
    const int i = key.index;
    switch (key.quantity) {
        case ScenarioQuantity::Fraction:
            return component(p.fraction, i);
        case ScenarioQuantity::RateConstant:
            return component(p.rateConstant, i);
        case ScenarioQuantity::HalfLife:
            // The half-life as given, or the one its rate constant implies.
            return component(p.biologicalHalfLife, i) > 0
                       ? component(p.biologicalHalfLife, i)
                       : kDecayNumerator / component(p.rateConstant, i);
        case ScenarioQuantity::PhysicalHalfLife:
            return p.physicalHalfLife;
        case ScenarioQuantity::Delta:
            return unscaleEmissionConstant(p.deltaScaled);
        case ScenarioQuantity::Gamma:
            return unscaleEmissionConstant(p.gammaScaled);
        case ScenarioQuantity::InitialVolume:
            return s.initialVolume;
        case ScenarioQuantity::ResidualVolume:
            return s.residualVolume;
        case ScenarioQuantity::AdministeredActivity:
            return s.administeredActivity.value_or(0.0);
        case ScenarioQuantity::EndTime:
            return defaultEnd(s);
        case ScenarioQuantity::DayRate:
            return s.fillRate.dayRate;
        case ScenarioQuantity::NightRate:
            return s.fillRate.nightRate;
        case ScenarioQuantity::FillFactor:
            return 1.0;
        case ScenarioQuantity::StepFrom:
            return s.fillRate.steps.at(i).from;
        case ScenarioQuantity::StepRate:
            return s.fillRate.steps.at(i).rate;
        case ScenarioQuantity::FirstVoid:
            return s.voiding.firstVoid;
        case ScenarioQuantity::Interval:
            return s.voiding.regular.interval;
        case ScenarioQuantity::DiaryTime:
            return s.voiding.voids.at(i).at;
        case ScenarioQuantity::DiaryResidual:
            return s.voiding.voids.at(i).residual.value_or(s.residualVolume);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

void setScenarioValue(Scenario& s, const ScenarioKey& key, double value) {
    const double own = scenarioValue(s, key);
    if (value == own) return;
    ModelParameters& p = s.radiopharmaceutical;
    const int i = key.index;
    switch (key.quantity) {
        case ScenarioQuantity::Fraction:
            component(p.fraction, i) = value;
            break;
        case ScenarioQuantity::RateConstant:
            component(p.rateConstant, i) = value;
            break;
        case ScenarioQuantity::HalfLife:
            // Rate constant and half-life stay in the scenario's own proportion.
            component(p.rateConstant, i) *= own / value;
            component(p.biologicalHalfLife, i) = value;
            break;
        case ScenarioQuantity::PhysicalHalfLife:
            setPhysicalHalfLife(p, value);
            break;
        case ScenarioQuantity::Delta:
            setDelta(p, value);
            break;
        case ScenarioQuantity::Gamma:
            setGamma(p, value);
            break;
        case ScenarioQuantity::InitialVolume:
            s.initialVolume = value;
            break;
        case ScenarioQuantity::ResidualVolume:
            s.residualVolume = value;
            break;
        case ScenarioQuantity::AdministeredActivity:
            s.administeredActivity = value;
            break;
        case ScenarioQuantity::EndTime:
            s.endTime = value;
            break;
        case ScenarioQuantity::DayRate:
            s.fillRate.dayRate = value;
            if (key.nightFollowsDay) s.fillRate.nightRate = value / 2;
            break;
        case ScenarioQuantity::NightRate:
            s.fillRate.nightRate = value;
            break;
        case ScenarioQuantity::FillFactor:
            s.fillRate.dayRate *= value;
            s.fillRate.nightRate *= value;
            for (FillStep& step : s.fillRate.steps) step.rate *= value;
            break;
        case ScenarioQuantity::StepFrom:
            s.fillRate.steps.at(i).from = value;
            break;
        case ScenarioQuantity::StepRate:
            s.fillRate.steps.at(i).rate = value;
            break;
        case ScenarioQuantity::FirstVoid:
            s.voiding.firstVoid = value;
            break;
        case ScenarioQuantity::Interval:
            s.voiding.regular.interval = value;
            break;
        case ScenarioQuantity::DiaryTime:
            s.voiding.voids.at(i).at = value;
            break;
        case ScenarioQuantity::DiaryResidual:
            s.voiding.voids.at(i).residual = value;
            break;
    }
}

namespace {

// The scenario with the sample's values, or nothing when a scenario file with those values
// would be refused before any computation: a fraction below 0 (other than the scenario's own).
std::optional<Scenario> variedScenario(const Scenario& scenario,
                                       const std::vector<ScenarioKey>& keys, const double* values) {
    Scenario varied = scenario;
    // The factor on every fill rate goes last, so that it scales a varied rate too.
    for (bool factor : {false, true})
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if ((keys[k].quantity == ScenarioQuantity::FillFactor) != factor) continue;
            if (keys[k].quantity == ScenarioQuantity::Fraction && values[k] < 0 &&
                values[k] != scenarioValue(scenario, keys[k]))
                return std::nullopt;
            setScenarioValue(varied, keys[k], values[k]);
        }
    return varied;
}

}  // namespace

UncertaintyResult runScenarioUncertainty(const Scenario& scenario, const QuadratureRule& rule,
                                         const std::vector<ScenarioKey>& keys,
                                         const std::vector<UncertainInput>& inputs,
                                         const UncertaintyOptions& options) {
    const DoseFunctionMaker maker = [&] {
        auto workspace = std::make_shared<ScenarioWorkspace>();
        return DoseFunction([&, workspace](const std::vector<double>& values) {
            const std::optional<Scenario> varied = variedScenario(scenario, keys, values.data());
            if (!varied) return std::optional<double>();
            try {
                return std::optional<double>(
                    scenarioDose(*varied, rule, *workspace, ResidualAboveVolume::LeaveAll));
            } catch (const ScenarioError&) {
                return std::optional<double>();
            }
        });
    };
    UncertaintyResult result = runUncertainty(inputs, maker, options);
    // The used samples in which a void left all there was: their events once more (no dose).
    ScenarioEvents events;
    events.clampResiduals = true;
    for (std::size_t i = 0; i < result.doses.size(); ++i) {
        if (std::isnan(result.doses[i])) continue;
        const std::optional<Scenario> varied =
            variedScenario(scenario, keys, result.values.data() + i * keys.size());
        buildScenarioEvents(*varied, events);
        if (events.clamped > 0) ++result.clamped;
    }
    return result;
}

}  // namespace orvane
