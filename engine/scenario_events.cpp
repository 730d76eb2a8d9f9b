#include "engine/scenario_events.h"

#include <algorithm>
#include <cmath>

#include "engine/calculation.h"
#include "engine/capacity.h"
#include "engine/numtext.h"
#include "engine/scenario_refusal.h"
#include "engine/simulation.h"
#include "engine/voiding_clock.h"

namespace orvane {
namespace {

using namespace scenario_refusal;

void requireClock(const std::string& path, double clock) {
    if (!std::isfinite(clock) || clock < 0 || clock >= kMinutesPerDay) {
        refuse(path, "expected a time of day from 00:00 to 23:59");
    }
}

// The key path of an input field of the calculation.
std::string parameterPath(int field) {
    static const char* const kColumns[] = {"fraction", "rate_constant", "half_life"};
    if (field >= 0 && field < kComponentFieldCount) {
        return "radiopharmaceutical.components[" + std::to_string(fieldComponent(field)) + "]." +
               kColumns[fieldColumn(field)];
    }
    switch (field) {
        case kPhysicalHalfLifeField:
            return "radiopharmaceutical.physical_half_life";
        case kDeltaField:
            return "radiopharmaceutical.delta";
        case kGammaField:
            return "radiopharmaceutical.gamma";
        default:
            return "radiopharmaceutical";
    }
}

void checkParametersByPath(const ModelParameters& p) {
    try {
        checkParameters(p);
    } catch (const InputError& e) {
        std::string reason = e.what();
        const std::string prefix = fieldCaption(e.field()) + ": ";
        if (reason.starts_with(prefix)) reason.erase(0, prefix.size());
        refuse(parameterPath(e.field()), reason);
    }
}

bool inWindow(double clock, double from, double to) {
    return from < to ? (clock >= from && clock < to) : (clock >= from || clock < to);
}

// Minutes from clock a to the next clock b, in (0, 1440].
double minutesUntil(double a, double b) {
    const double d = std::fmod(b - a + kMinutesPerDay, kMinutesPerDay);
    return d > 0 ? d : kMinutesPerDay;
}

// The regular pattern's void after one at time t.
double nextRegularVoid(const RegularVoiding& r, double administrationClock, double t) {
    if (r.nightVoids) return t + r.interval;
    const double clock = clockAt(administrationClock, t);
    if (inWindow(clock, r.bedtime, r.wake)) return t + minutesUntil(clock, r.wake);
    const double due = t + r.interval;
    const double bedtime = t + minutesUntil(clock, r.bedtime);
    return bedtime < due ? bedtime : due;
}

void voidTimes(const Scenario& s, ScenarioEvents& events, std::vector<int>& diaryIndex,
               const FillPieceAt& fill) {
    const VoidingPattern& v = s.voiding;
    const double end = s.endTime.value_or(defaultEndTime(s.radiopharmaceutical));
    auto push = [&](double t, double residual, int diary, const char* blame) {
        if (!events.voidTimes.empty() && !(t > events.voidTimes.back())) {
            refuse(blame,
                   "the voids do not advance in time (the interval is too short for "
                   "times this large)");
        }
        if (events.voidTimes.size() >= static_cast<std::size_t>(kMaxScenarioVoids)) {
            refuse(s.endTime ? "end_time" : blame,
                   "the scenario would need more than " + std::to_string(kMaxScenarioVoids) +
                       " voids; expected an end time or a voiding pattern with fewer");
        }
        events.voidTimes.push_back(t);
        events.voidResiduals.push_back(residual);
        diaryIndex.push_back(diary);
    };
    // The void due at `due` (+inf: none), or earlier when the bladder, holding `volume` at t,
    // reaches its capacity first.
    auto voidAfter = [&](double t, double volume, double due) {
        if (!v.capacity) return due;
        const char* path = capacityPath(v);
        const auto full =
            capacityCrossing(t, volume, *v.capacity, due, fill, kMaxScenarioSegments, path);
        if (!full && std::isinf(due)) {
            refuse(path, "the bladder never fills to its capacity after " +
                             (t > 0 ? "the void at " + number(t) + " min" : "the administration"));
        }
        return full.value_or(due);
    };
    auto regularUntilEnd = [&](double t, double volume) {
        const bool full = v.kind == VoidingKind::Capacity;
        while (t < end) {
            const double due =
                full ? INFINITY : nextRegularVoid(v.regular, s.administrationClock, t);
            t = voidAfter(t, volume, due);
            push(t, s.residualVolume, -1,
                 full ? "voiding.capacity"
                      : (v.kind == VoidingKind::Diary ? "voiding.then.interval"
                                                      : "voiding.interval"));
            volume = s.residualVolume;
        }
    };
    if (v.kind == VoidingKind::Regular) {
        push(voidAfter(0.0, s.initialVolume, v.firstVoid), s.residualVolume, -1,
             "voiding.first_void");
        regularUntilEnd(events.voidTimes.back(), s.residualVolume);
    } else if (v.kind == VoidingKind::Capacity) {
        regularUntilEnd(0.0, s.initialVolume);
    } else {
        // A diary is kept whole unless the scenario's own end time cuts it short.
        for (std::size_t i = 0; i < v.voids.size(); ++i) {
            push(v.voids[i].at, v.voids[i].residual.value_or(s.residualVolume), static_cast<int>(i),
                 "voiding.voids");
            if (s.endTime && v.voids[i].at >= *s.endTime) return;
        }
        if (v.then) {
            regularUntilEnd(v.voids.back().at, v.voids.back().residual.value_or(s.residualVolume));
        }
    }
}

std::string residualPath(int diary) {
    return diary < 0 ? "residual_volume" : "voiding.voids[" + std::to_string(diary) + "].residual";
}

// The fill rate from time t on, and the next time after t at which it changes (or +inf).
struct RatePiece {
    double rate;
    double until;
};

RatePiece ratePiece(const Scenario& s, double t) {
    const FillRatePattern& f = s.fillRate;
    if (!f.steps.empty()) {
        auto next =
            std::upper_bound(f.steps.begin(), f.steps.end(), t,
                             [](double time, const FillStep& step) { return time < step.from; });
        const double until = next == f.steps.end() ? INFINITY : next->from;
        return {std::prev(next)->rate, until};
    }
    const double clock = clockAt(s.administrationClock, t);
    if (inWindow(clock, f.nightFrom, f.nightTo)) {
        return {f.nightRate, t + minutesUntil(clock, f.nightTo)};
    }
    return {f.dayRate, t + minutesUntil(clock, f.nightFrom)};
}

// A void cannot leave more than the bladder holds: refused, or in a sampled run the void
// leaves all there is. Returns the residual the void leaves.
double checkResidual(ScenarioEvents& events, const std::string& path, double residual,
                     double volume, double time) {
    if (residual > volume && events.clampResiduals) {
        ++events.clamped;
        return volume;
    }
    if (residual > volume) {
        refuse(path, "the residual " + number(residual) + " ml is larger than the " +
                         number(volume) + " ml in the bladder at the void at " + number(time) +
                         " min");
    }
    return residual;
}

// An end time that the voiding would ignore is refused: the "table" pattern ends with its
// intervals, a diary without "then" with its last void.
void checkEndTime(const Scenario& s, double end) {
    const VoidingPattern& v = s.voiding;
    if (v.kind == VoidingKind::Table) {
        refuse("end_time",
               "the \"table\" pattern ends with its last interval; give the number of "
               "intervals in voiding.intervals instead of end_time");
    }
    if (v.kind == VoidingKind::Diary && !v.then && !v.voids.empty() && end > v.voids.back().at) {
        refuse("end_time", "the diary's last void is at " + number(v.voids.back().at) +
                               " min and nothing follows it; expected an end_time at or before "
                               "it, or continue the voiding after it with \"then\"");
    }
}

void tableEvents(const Scenario& s, ScenarioEvents& events) {
    const VoidingPattern& v = s.voiding;
    long long n = v.tableIntervals ? *v.tableIntervals : IntervalCount(s.radiopharmaceutical);
    if (n > kMaxScenarioVoids) {
        refuse("voiding.intervals",
               "the tables' number of intervals for this radiopharmaceutical is " +
                   std::to_string(n) + ", more than " + std::to_string(kMaxScenarioVoids) +
                   "; give a smaller voiding.intervals");
    }
    VoidingClock clock({s.fillRate.dayRate, s.fillRate.nightRate}, s.initialVolume, v.firstVoid);
    double left = s.residualVolume;  // what the previous void left
    for (long long d = 0; d < n; ++d) {
        IntervalBounds b = clock.next();
        if (!(b.end > b.start)) {
            refuse("voiding.first_void",
                   "a first void at " + number(v.firstVoid) +
                       " min leaves a later interval of the tables' clock empty; expected a time "
                       "below 1080 min");
        }
        if (d > 0) b.startVolume = left;
        const int index = static_cast<int>(events.voidTimes.size());
        events.segments.push_back({b.start, b.end - b.start, b.startVolume, b.rate, index});
        events.voidTimes.push_back(b.end);
        const double volume = b.startVolume + b.rate * (b.end - b.start);
        left = checkResidual(events, "residual_volume", s.residualVolume, volume, b.end);
        events.voidResiduals.push_back(left);
        events.voidVolumes.push_back(volume);
    }
}

}  // namespace

ScenarioError::ScenarioError(std::string path, std::string reason)
    : std::runtime_error(path.empty() ? reason : path + ": " + reason),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

double defaultEndTime(const ModelParameters& p) {
    const double tbMax = longestBiologicalHalfLife(p);
    const double tp = p.physicalHalfLife;
    const double teff = (tp * tbMax) / (tp + tbMax);
    return std::isfinite(teff) ? std::max(10 * teff, kMinimumEndTime) : teff;
}

void checkScenario(const Scenario& s) {
    checkParametersByPath(s.radiopharmaceutical);
    requireClock("administration_time", s.administrationClock);
    requirePositive("initial_volume", s.initialVolume, "ml");
    requirePositive("residual_volume", s.residualVolume, "ml");
    if (s.administeredActivity) {
        requirePositive("administered_activity", *s.administeredActivity, "MBq");
    }

    const FillRatePattern& f = s.fillRate;
    const bool table = s.voiding.kind == VoidingKind::Table;
    if (f.steps.empty()) {
        requireNonNegative("fill_rate.day", f.dayRate, "ml/min");
        requireNonNegative("fill_rate.night", f.nightRate, "ml/min");
        requireClock("fill_rate.night_from", f.nightFrom);
        requireClock("fill_rate.night_to", f.nightTo);
        if (f.nightFrom == f.nightTo) {
            refuse("fill_rate.night_to", "expected a time other than night_from");
        }
        if (table && (f.nightFrom != 0.0 || f.nightTo != kMorningClock)) {
            refuse("fill_rate.night_from",
                   "the \"table\" pattern's night is the tables' night interval (03:00 to "
                   "09:00, or 00:00 to 06:00 after a first void at 180 min); expected no "
                   "night_from and night_to");
        }
    } else {
        if (table) refuse("fill_rate.steps", "the \"table\" pattern needs day and night rates");
        if (f.steps.size() > static_cast<std::size_t>(kMaxScenarioVoids)) {
            refuse("fill_rate.steps",
                   "expected at most " + std::to_string(kMaxScenarioVoids) + " steps");
        }
        for (std::size_t i = 0; i < f.steps.size(); ++i) {
            const auto from = [i] { return "fill_rate.steps[" + std::to_string(i) + "].from"; };
            requireNonNegative(from, f.steps[i].from, "min");
            requireNonNegative([i] { return "fill_rate.steps[" + std::to_string(i) + "].rate"; },
                               f.steps[i].rate, "ml/min");
            if (i == 0 && f.steps[i].from != 0) {
                refuse(from(), "expected 0: the first step starts at the administration");
            }
            if (i > 0 && !(f.steps[i].from > f.steps[i - 1].from)) {
                refuse(from(), "expected a time after the previous step's");
            }
        }
    }

    const VoidingPattern& v = s.voiding;
    if (v.kind == VoidingKind::Regular || table) {
        requirePositive("voiding.first_void", v.firstVoid, "min");
    }
    if (table) {
        if (s.administrationClock != kAdministrationClock) {
            refuse("administration_time",
                   "the \"table\" pattern runs the tables' clock, with the administration at "
                   "09:00");
        }
        if (v.tableIntervals && (*v.tableIntervals < 1 || *v.tableIntervals > kMaxScenarioVoids)) {
            refuse("voiding.intervals",
                   "expected a whole number from 1 to " + std::to_string(kMaxScenarioVoids));
        }
    }
    if (v.kind == VoidingKind::Regular || (v.kind == VoidingKind::Diary && v.then)) {
        const std::string base = v.kind == VoidingKind::Regular ? "voiding." : "voiding.then.";
        requirePositive(base + "interval", v.regular.interval, "min");
        requireClock(base + "bedtime", v.regular.bedtime);
        requireClock(base + "wake", v.regular.wake);
        if (v.regular.bedtime == v.regular.wake && !v.regular.nightVoids) {
            refuse(base + "wake", "expected a time other than bedtime");
        }
    }
    if (v.kind == VoidingKind::Diary) {
        if (v.voids.empty()) refuse("voiding.voids", "expected at least one void");
        if (v.voids.size() > static_cast<std::size_t>(kMaxScenarioVoids)) {
            refuse("voiding.voids",
                   "expected at most " + std::to_string(kMaxScenarioVoids) + " voids");
        }
        for (std::size_t i = 0; i < v.voids.size(); ++i) {
            const DiaryVoid& d = v.voids[i];
            // A void with its own residual is written {"at": ..., "residual": ...}.
            const auto at = [&] {
                return "voiding.voids[" + std::to_string(i) + "]" + (d.residual ? ".at" : "");
            };
            requirePositive(at, d.at, "min");
            if (i > 0 && !(d.at > v.voids[i - 1].at)) {
                refuse(at(), "expected a time after the previous void's");
            }
            if (d.residual) {
                requirePositive([i] { return "voiding.voids[" + std::to_string(i) + "].residual"; },
                                *d.residual, "ml");
            }
        }
    }
    if (s.endTime) {
        requirePositive("end_time", *s.endTime, "min");
        checkEndTime(s, *s.endTime);
    }
    checkCapacity(s);
}

std::vector<TimeSpan> scenarioNights(const Scenario& s, double end) {
    std::vector<TimeSpan> found;
    if (!std::isfinite(end)) return found;
    auto add = [&](double from, double to) {
        const double a = std::max(from, 0.0);
        const double b = std::min(to, end);
        if (b > a) found.push_back({a, b});
    };
    const FillRatePattern& f = s.fillRate;
    if (s.voiding.kind == VoidingKind::Table) {
        // The tables' clock decides, whatever the count of intervals; it is walked until
        // the end (an empty interval, which the scenario refuses, ends the walk).
        VoidingClock clock({f.dayRate, f.nightRate}, s.initialVolume, s.voiding.firstVoid);
        for (long long d = 0; d <= kMaxScenarioSegments; ++d) {
            const IntervalBounds b = clock.next();
            if (!(b.end > b.start) || b.start >= end) break;
            if (b.night) add(b.start, b.end);
        }
        return found;
    }
    if (!f.steps.empty() || f.nightFrom == f.nightTo) return found;
    const double length = minutesUntil(f.nightFrom, f.nightTo);
    // The night that began on the day before the administration may still be running.
    for (double from = f.nightFrom - s.administrationClock - kMinutesPerDay; from < end;
         from += kMinutesPerDay) {
        add(from, from + length);
    }
    return found;
}

void buildScenarioEvents(const Scenario& s, ScenarioEvents& events) {
    events.segments.clear();
    events.voidTimes.clear();
    events.voidResiduals.clear();
    events.voidVolumes.clear();
    events.clamped = 0;
    events.tableRule = s.voiding.kind == VoidingKind::Table;
    if (events.tableRule) {
        tableEvents(s, events);
        return;
    }
    std::vector<int> diaryIndex;
    voidTimes(s, events, diaryIndex, [&s](double t) {
        const RatePiece piece = ratePiece(s, t);
        return FillPiece{piece.rate, piece.until};
    });

    // Between voids, one segment per stretch of constant fill rate.
    double t = 0.0;
    double volume = s.initialVolume;
    for (std::size_t j = 0; j < events.voidTimes.size(); ++j) {
        const double voidTime = events.voidTimes[j];
        while (t < voidTime) {
            const RatePiece piece = ratePiece(s, t);
            const double end = std::min(piece.until, voidTime);
            if (events.segments.size() >= static_cast<std::size_t>(kMaxScenarioSegments)) {
                refuse(s.endTime ? "end_time" : "voiding",
                       "the scenario spans too many days: more than " +
                           std::to_string(kMaxScenarioSegments) + " changes of fill rate");
            }
            const int closes = end == voidTime ? static_cast<int>(j) : -1;
            events.segments.push_back({t, end - t, volume, piece.rate, closes});
            volume += piece.rate * (end - t);
            t = end;
        }
        if (!std::isfinite(volume)) {
            refuse("fill_rate", "the volume at the void at " + number(voidTime) +
                                    " min grows beyond any number");
        }
        const double residual = checkResidual(events, residualPath(diaryIndex[j]),
                                              events.voidResiduals[j], volume, voidTime);
        events.voidResiduals[j] = residual;
        events.voidVolumes.push_back(volume);
        volume = residual;
    }
}

}  // namespace orvane
