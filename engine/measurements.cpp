#include "engine/measurements.h"

#include <algorithm>
#include <cmath>

#include "engine/numtext.h"
#include "engine/scenario_refusal.h"

namespace orvane {
namespace {

using namespace scenario_refusal;

std::string itemPath(const char* list, std::size_t i) {
    return std::string("measurements.") + list + "[" + std::to_string(i) + "]";
}

// A value and its sd: the sd its own, or relative_sd of the value, which a 0 cannot take.
void checkValue(const std::string& path, const char* key, double value,
                const std::optional<double>& sd, const char* unit) {
    requireNonNegative(path + "." + key, value, unit);
    if (sd) requirePositive(path + ".sd", *sd, unit);
    if (!sd && value == 0)
        refuse(path + ".sd", std::string("a measured 0 needs its own sd (in ") + unit +
                                 "): relative_sd gives it none");
}

void checkValues(const std::vector<MeasuredValue>& list, const char* name, const char* key,
                 const char* unit) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string path = itemPath(name, i);
        requirePositive(path + ".at", list[i].at, "min");
        checkValue(path, key, list[i].value, list[i].sd, unit);
    }
}

double pointSd(const std::optional<double>& sd, double relativeSd, double value) {
    return sd ? *sd : relativeSd * std::abs(value);
}

// The residual of the scenario's diary void at time `at`, else the scenario's residual.
double residualAt(const Scenario& s, double at) {
    if (s.voiding.kind == VoidingKind::Diary)
        for (const DiaryVoid& d : s.voiding.voids)
            if (d.at == at && d.residual) return *d.residual;
    return s.residualVolume;
}

}  // namespace

const char* measurementKindName(MeasurementKind kind) {
    switch (kind) {
        case MeasurementKind::Void:
            return "void";
        case MeasurementKind::CumulativeUrine:
            return "cumulative_urine";
        case MeasurementKind::Bladder:
            return "bladder";
        case MeasurementKind::WholeBody:
            return "whole_body";
    }
    return "";
}

void checkMeasurements(const Measurements& m, const Scenario& s) {
    if (!std::isfinite(m.relativeSd) || m.relativeSd <= 0)
        refuse("measurements.relative_sd",
               "expected a positive number (0.05 is 5 %), got " + number(m.relativeSd));
    bool activities = !m.bladder.empty() || !m.wholeBody.empty();
    std::size_t points = m.cumulativeUrine.size() + m.bladder.size() + m.wholeBody.size();
    for (std::size_t i = 0; i < m.voids.size(); ++i) {
        const MeasuredVoid& v = m.voids[i];
        const std::string path = itemPath("voids", i);
        requirePositive(path + ".at", v.at, "min");
        if (i > 0 && !(v.at > m.voids[i - 1].at))
            refuse(path + ".at", "expected a time after the previous void's");
        if (v.volume) requirePositive(path + ".volume", *v.volume, "ml");
        if (v.measuredAt) {
            if (!std::isfinite(*v.measuredAt) || *v.measuredAt < v.at)
                refuse(path + ".measured_at", "expected a time at or after the void's, " +
                                                  number(v.at) + " min; got " +
                                                  number(*v.measuredAt));
            if (!v.activity) refuse(path + ".measured_at", "expected an activity to go with it");
        }
        if (v.activity) {
            checkValue(path, "activity", *v.activity, v.sd, "MBq");
            activities = true;
            ++points;
        } else if (v.sd) {
            refuse(path + ".sd", "expected an activity to go with it");
        }
    }
    checkValues(m.cumulativeUrine, "cumulative_urine", "fraction", "fraction");
    checkValues(m.bladder, "bladder", "activity", "MBq");
    checkValues(m.wholeBody, "whole_body", "activity", "MBq");
    if (points == 0)
        refuse("measurements", "expected at least one measured point (an activity or a fraction)");
    if (activities && !s.administeredActivity)
        refuse("administered_activity",
               "expected the administered activity in MBq: the measurements give activities in "
               "MBq");
}

std::vector<MeasurementPoint> measurementPoints(const Measurements& m, const Scenario& s) {
    checkMeasurements(m, s);
    const double lp = s.radiopharmaceutical.physicalDecayConstant;
    std::vector<MeasurementPoint> points;
    for (std::size_t i = 0; i < m.voids.size(); ++i) {
        const MeasuredVoid& v = m.voids[i];
        if (!v.activity) continue;
        // Counted later, the sample had decayed: back to the void by e^(lp (measured - at)).
        const double back = v.measuredAt ? std::exp(lp * (*v.measuredAt - v.at)) : 1.0;
        points.push_back({MeasurementKind::Void, static_cast<int>(i), v.at, *v.activity * back,
                          pointSd(v.sd, m.relativeSd, *v.activity) * back});
    }
    const std::pair<MeasurementKind, const std::vector<MeasuredValue>*> lists[] = {
        {MeasurementKind::CumulativeUrine, &m.cumulativeUrine},
        {MeasurementKind::Bladder, &m.bladder},
        {MeasurementKind::WholeBody, &m.wholeBody}};
    for (const auto& [kind, list] : lists)
        for (std::size_t i = 0; i < list->size(); ++i) {
            const MeasuredValue& v = (*list)[i];
            points.push_back(
                {kind, static_cast<int>(i), v.at, v.value, pointSd(v.sd, m.relativeSd, v.value)});
        }
    return points;
}

Scenario withMeasuredDiary(const Scenario& scenario, const Measurements& m) {
    Scenario s = scenario;
    VoidingPattern& v = s.voiding;
    std::vector<DiaryVoid> voids;
    for (const MeasuredVoid& measured : m.voids) {
        std::optional<double> own;
        if (v.kind == VoidingKind::Diary)
            for (const DiaryVoid& d : v.voids)
                if (d.at == measured.at) own = d.residual;
        voids.push_back({measured.at, own});
    }
    if (voids.empty()) return s;
    if (v.kind != VoidingKind::Diary) {
        v.then = true;
        v.kind = VoidingKind::Diary;
    }
    v.voids = std::move(voids);
    return s;
}

FillRatePattern fillRateFromVoids(const Scenario& s, const Measurements& m) {
    FillRatePattern pattern = s.fillRate;
    pattern.steps.clear();
    double before = s.initialVolume;  // residual left before the interval
    double from = 0.0;
    double weighted = 0.0, voided = 0.0;
    std::vector<bool> derived;
    for (std::size_t i = 0; i < m.voids.size(); ++i) {
        const MeasuredVoid& v = m.voids[i];
        const double residual = residualAt(s, v.at);
        double rate = 0.0;
        if (v.volume) {
            rate = (*v.volume + residual - before) / (v.at - from);
            if (!(rate >= 0))
                refuse(itemPath("voids", i) + ".volume",
                       "the fill rate derived for the interval that ends at this void is negative: "
                       "the " +
                           number(*v.volume) + " ml voided and the " + number(residual) +
                           " ml left are less than the " + number(before) +
                           " ml in the bladder at " + number(from) + " min");
            weighted += rate * *v.volume;
            voided += *v.volume;
        }
        pattern.steps.push_back({from, rate});
        derived.push_back(v.volume.has_value());
        before = residual;
        from = v.at;
    }
    if (voided == 0)
        refuse("measurements.voids",
               "a fill rate from the voids needs at least one void with its volume");
    const double mean = weighted / voided;
    for (std::size_t i = 0; i < derived.size(); ++i)
        if (!derived[i]) pattern.steps[i].rate = mean;
    pattern.steps.push_back({from, mean});
    return pattern;
}

MeasurementModel::MeasurementModel(const Scenario& scenario, std::vector<MeasurementPoint> points,
                                   const QuadratureRule& rule)
    : scenario_(scenario), points_(std::move(points)), rule_(rule) {
    administered_ = scenario.administeredActivity.value_or(1.0);
    // Run up to the last point: the voids are then the same for any kinetics.
    double last = 0.0;
    for (const MeasurementPoint& p : points_) last = std::max(last, p.at);
    scenario_.endTime = last;
    const ScenarioResult run = computeScenario(scenario_, rule_);
    for (const MeasurementPoint& p : points_) {
        int index = -1;
        if (p.kind == MeasurementKind::Void) {
            const auto found = std::find_if(run.voids.begin(), run.voids.end(),
                                            [&](const ScenarioVoid& v) { return v.time == p.at; });
            if (found == run.voids.end())
                refuse(itemPath("voids", static_cast<std::size_t>(p.index)) + ".at",
                       "the scenario has no void at " + number(p.at) +
                           " min; expected the measured voids in its voiding (as its diary)");
            index = static_cast<int>(found - run.voids.begin());
        }
        voidIndex_.push_back(index);
    }
}

void MeasurementModel::predict(const ModelParameters& kinetics, std::vector<double>& model) const {
    Scenario s = scenario_;
    s.radiopharmaceutical = kinetics;
    const ScenarioResult run = computeScenario(s, rule_);
    const double lp = kinetics.physicalDecayConstant;
    model.resize(points_.size());
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const MeasurementPoint& p = points_[i];
        const double t = p.at;
        // The voids strictly before t.
        const auto end =
            std::lower_bound(run.voids.begin(), run.voids.end(), t,
                             [](const ScenarioVoid& v, double x) { return v.time < x; });
        double value = 0.0;
        switch (p.kind) {
            case MeasurementKind::Void: {
                const auto j = static_cast<std::size_t>(voidIndex_[i]);
                // The tables' pattern has as many voids as the kinetics give it intervals.
                if (j >= run.voids.size())
                    refuse("voiding", "these kinetics end the scenario before the void at " +
                                          number(t) + " min");
                value = administered_ * run.voids[j].voided;
                break;
            }
            case MeasurementKind::CumulativeUrine:
                for (int c = 0; c < kComponentCount; ++c)
                    if (kinetics.fraction[c] != 0)
                        value -= kinetics.fraction[c] * std::expm1(-kinetics.rateConstant[c] * t);
                break;
            case MeasurementKind::Bladder: {
                // From the last void before t, as the engine carries the content.
                double from = 0.0, b = 0.0;
                if (end != run.voids.begin()) {
                    const ScenarioVoid& v = *std::prev(end);
                    from = v.time;
                    b = v.activity * v.residual / v.volume;
                }
                const double dt = t - from;
                for (int c = 0; c < kComponentCount; ++c)
                    if (kinetics.fraction[c] != 0)
                        b -= kinetics.fraction[c] *
                             std::exp(-(lp + kinetics.rateConstant[c]) * from) *
                             std::expm1(-kinetics.rateConstant[c] * dt);
                value = administered_ * std::exp(-lp * dt) * b;
                break;
            }
            case MeasurementKind::WholeBody: {
                value = std::exp(-lp * t);
                for (auto v = run.voids.begin(); v != end; ++v)
                    value -= v->voided * std::exp(-lp * (t - v->time));
                value *= administered_;
                break;
            }
        }
        model[i] = value;
    }
}

}  // namespace orvane
