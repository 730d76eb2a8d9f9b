#include "library/warnings.h"

#include <cmath>
#include <functional>

#include "engine/numtext.h"
#include "engine/voiding_clock.h"

namespace orvane {
namespace {

constexpr double kHalfLifeTolerance = 0.01;

// The values checked, and how each field is named and shown at one door. Fields are numbered
// as the input window numbers them (fractionField(c), ..., kDeltaField, kGammaField).
struct Checked {
    std::array<double, kComponentCount> fraction{}, rateConstant{}, halfLife{};
    bool deltaGiven = false, gammaGiven = false;
    std::string absent;                             // how a Delta or Gamma not given reads
    std::function<std::string(int field)> path;     // where a warning points
    std::function<std::string(int field)> caption;  // how a message begins
    std::function<std::string(int field)> shown;    // the value as the user gave it
};

std::vector<Warning> valueWarnings(const Checked& in) {
    std::vector<Warning> warnings;
    const auto warn = [&](int field, const std::string& text) {
        warnings.push_back({in.path(field), in.caption(field) + ": " + text});
    };
    double sum = 0;
    std::string terms;
    int first = -1, count = 0;
    for (int c = 0; c < kComponentCount; ++c) {
        if (in.fraction[c] == 0) continue;
        sum += in.fraction[c];
        terms += (terms.empty() ? "" : " + ") + in.shown(fractionField(c));
        if (first < 0) first = fractionField(c);
        ++count;
    }
    // One fraction above 1 is told by its own warning below.
    if (count > 1 && sum > 1 + kFractionSumTolerance) {
        warn(first, "the fractions add up to " + formatSignificant(sum, 9) + " (" + terms +
                        "), more than 1: more activity reaches the urine than was "
                        "administered.");
    }
    for (int c = 0; c < kComponentCount; ++c) {
        const int field = fractionField(c);
        if (std::fabs(in.fraction[c]) > 1) {
            warn(field, in.shown(field) +
                            " lies outside -1 to 1 (a fraction of the administered activity).");
        } else if (in.fraction[c] < 0) {
            warn(field,
                 in.shown(field) + " is negative: this component takes activity out of the urine.");
        }
    }
    for (int c = 0; c < kComponentCount; ++c) {
        const double k = in.rateConstant[c], tb = in.halfLife[c];
        if (in.fraction[c] == 0 || k <= 0 || tb <= 0) continue;
        const double fromK = kDecayNumerator / k;
        if (std::fabs(fromK - tb) > kHalfLifeTolerance * tb) {
            warn(halfLifeField(c),
                 in.shown(halfLifeField(c)) + " min, but the rate constant " +
                     in.shown(rateConstantField(c)) +
                     " min^-1 gives 0.693/k = " + formatSignificant(fromK, 4) +
                     " min, more than 1 % apart. The rate constant alone shapes the activity "
                     "curve; the half-life sets how long the calculation runs.");
        }
    }
    if (in.deltaGiven != in.gammaGiven) {
        const int missing = in.deltaGiven ? kGammaField : kDeltaField;
        warn(missing, in.absent + " while " + (in.deltaGiven ? "Delta" : "Gamma") +
                          " is set, so the doses leave out the " +
                          (in.deltaGiven ? "penetrating" : "non-penetrating") + " emissions.");
    }
    return warnings;
}

void append(std::vector<Warning>& to, std::vector<Warning> more) {
    to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

std::string scenarioPath(int field) {
    const std::string at = "radiopharmaceutical";
    if (field == kDeltaField) return at + ".delta";
    if (field == kGammaField) return at + ".gamma";
    if (field == kPhysicalHalfLifeField) return at + ".physical_half_life";
    static const char* const kColumns[] = {"fraction", "rate_constant", "half_life"};
    return at + ".components[" + std::to_string(fieldComponent(field)) + "]." +
           kColumns[fieldColumn(field)];
}

// The activity that the dose leaves out, where to continue the voiding, and how.
void warnActivityLeft(std::vector<Warning>& warnings, const Scenario& s,
                      const ScenarioResult& result) {
    if (!(result.activityLeft >= kActivityLeftWarning) || result.voids.empty()) return;
    const VoidingPattern& v = s.voiding;
    std::string path = "end_time", how = "give a later end_time";
    if (v.kind == VoidingKind::Table) {
        path = "voiding.intervals";
        how = "give more voiding.intervals";
    } else if (v.kind == VoidingKind::Diary && !v.then) {
        const std::string then =
            "continue the voiding after the last void with \"then\" (a regular interval)";
        path = s.endTime ? "end_time" : "voiding.then";
        how = s.endTime ? "give a later end_time (up to the last void), or " + then : then;
    }
    warnings.push_back(
        {path, formatSignificant(100 * result.activityLeft, 3) +
                   " % of the administered activity is still in the bladder or yet to reach it "
                   "at the scenario's end (" +
                   formatSignificant(result.voids.back().time, 6) +
                   " min), and the dose leaves out what it would give: " + how + "."});
}

}  // namespace

std::vector<Warning> fieldWarnings(const FieldTexts& fields, const LibraryEntry* entry) {
    const ModelParameters p = readModelParameters(fields, std::string());
    Checked in;
    in.fraction = p.fraction;
    in.rateConstant = p.rateConstant;
    in.halfLife = p.biologicalHalfLife;
    in.deltaGiven = !trimBlanks(fields[kDeltaField]).empty();
    in.gammaGiven = !trimBlanks(fields[kGammaField]).empty();
    in.absent = "blank";
    in.path = [](int field) { return std::string(kFieldKeys[field]); };
    in.caption = [](int field) { return fieldCaption(field); };
    in.shown = [&fields](int field) { return std::string(trimBlanks(fields[field])); };
    std::vector<Warning> warnings = valueWarnings(in);
    if (entry) append(warnings, entryWarnings(*entry, "radiopharmaceutical"));
    return warnings;
}

std::vector<Warning> entryWarnings(const LibraryEntry& entry, const std::string& path) {
    std::vector<Warning> warnings;
    for (const std::string& text : entry.warnings) {
        warnings.push_back({path, entry.name() + ": " + text});
    }
    if (entry.confidence.find('L') != std::string::npos) {
        warnings.push_back({path, entry.name() + ": the library's confidence in these values is " +
                                      entry.confidence +
                                      " (low); see its sources and notes before relying on "
                                      "the dose."});
    }
    return warnings;
}

std::vector<Warning> scenarioWarnings(const Scenario& scenario, const ScenarioResult& result,
                                      const LibraryEntry* entry) {
    const ModelParameters& p = scenario.radiopharmaceutical;
    Checked in;
    in.fraction = p.fraction;
    in.rateConstant = p.rateConstant;
    in.halfLife = p.biologicalHalfLife;
    in.deltaGiven = p.deltaScaled != 0;
    in.gammaGiven = p.gammaScaled != 0;
    in.absent = "0";
    in.path = scenarioPath;
    in.caption = scenarioPath;
    in.shown = [&p](int field) {
        const int c = fieldComponent(field);
        switch (fieldColumn(field)) {
            case 0:
                return formatSignificant(p.fraction[c], 9);
            case 1:
                return formatSignificant(p.rateConstant[c], 9);
            default:
                return formatSignificant(p.biologicalHalfLife[c], 9);
        }
    };
    std::vector<Warning> warnings = valueWarnings(in);
    if (entry) append(warnings, entryWarnings(*entry, "radiopharmaceutical.library"));
    double largest = scenario.initialVolume;
    for (const ScenarioVoid& v : result.voids) largest = std::max(largest, v.volume);
    for (const TimePoint& t : result.timeCourse) largest = std::max(largest, t.volume);
    if (largest > kLargestBladderVolume) {
        warnings.push_back({"voiding", "the bladder holds up to " + formatSignificant(largest, 4) +
                                           " ml, more than " +
                                           formatSignificant(kLargestBladderVolume, 4) +
                                           " ml: check the fill rate and the voids."});
    }
    warnActivityLeft(warnings, scenario, result);
    return warnings;
}

namespace {

std::string aboveCapacityText(double largest, double capacity, const std::string& whose) {
    return "the bladder holds up to " + formatSignificant(largest, 4) + " ml, more than " + whose +
           " capacity of " + formatSignificant(capacity, 4) +
           " ml: a real patient would void before that.";
}

// The largest volume of each cell of a table, V0 by row, T0 by column, through the first day
// and night (the fill pattern repeats after it).
std::array<std::array<double, kT0Count>, kV0Count> tableLargestVolumes(int schedule) {
    constexpr int kFirstDayIntervals = 10;  // from T0 to beyond the next morning
    std::array<std::array<double, kT0Count>, kV0Count> largest{};
    for (int i = 0; i < kV0Count; ++i) {
        for (int j = 0; j < kT0Count; ++j) {
            VoidingClock clock(kFillRateSchedules[schedule], kLabelledV0Grid[i],
                               kLabelledT0Grid[j]);
            for (int n = 0; n < kFirstDayIntervals; ++n) {
                const IntervalBounds b = clock.next();
                largest[i][j] = std::max(largest[i][j], b.startVolume + b.rate * (b.end - b.start));
            }
        }
    }
    return largest;
}

std::string tableName(int schedule) {
    return "the table of " + formatSignificant(kFillRateSchedules[schedule].dayRate, 3) +
           " ml/min by day";
}

}  // namespace

std::vector<Warning> capacityWarnings(const Scenario& scenario, const ScenarioResult& result) {
    const PatientOrigin* patient = scenario.origin.patient.get();
    const double capacity =
        patient ? patient->capacity : scenario.voiding.capacity.value_or(kAdultCapacity);
    const std::string whose = patient                     ? "the reference patient's"
                              : scenario.voiding.capacity ? "the scenario's"
                                                          : "an adult's";
    double largest = scenario.initialVolume;
    for (const ScenarioVoid& v : result.voids) largest = std::max(largest, v.volume);
    for (const TimePoint& t : result.timeCourse) largest = std::max(largest, t.volume);
    // A void exactly at the capacity is the capacity pattern at work; allow rounding.
    if (largest <= capacity * (1 + 1e-9)) return {};
    if (!patient && !scenario.voiding.capacity && largest > kLargestBladderVolume) return {};
    return {{"voiding", aboveCapacityText(largest, capacity, whose)}};
}

std::vector<Warning> tableCapacityWarnings(std::optional<int> schedule) {
    if (!schedule || *schedule < 0 || *schedule >= kScheduleCount) return {};
    const auto largest = tableLargestVolumes(*schedule);
    std::string cells;
    int count = 0;
    double most = 0;
    for (int i = 0; i < kV0Count; ++i) {
        std::string row;
        for (int j = 0; j < kT0Count; ++j) {
            most = std::max(most, largest[i][j]);
            if (largest[i][j] <= kAdultCapacity) continue;
            row += (row.empty() ? "" : ", ") + formatSignificant(kLabelledT0Grid[j], 4);
            ++count;
        }
        if (!row.empty()) {
            cells += (cells.empty() ? "" : "; ") + std::string("V0 ") +
                     formatSignificant(kLabelledV0Grid[i], 4) + " ml at T0 " + row + " min";
        }
    }
    if (count == 0) return {};
    return {{"table", tableName(*schedule) + ", " + std::to_string(count) + " of its " +
                          std::to_string(kV0Count * kT0Count) + " cells (" + cells +
                          "): " + aboveCapacityText(most, kAdultCapacity, "an adult's")}};
}

}  // namespace orvane
