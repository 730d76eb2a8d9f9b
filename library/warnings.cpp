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
    return warnings;
}

namespace {

Warning aboveCapacity(const std::string& path, double largest, double capacity,
                      const std::string& whose) {
    return {path, "the bladder holds up to " + formatSignificant(largest, 4) + " ml, more than " +
                      whose + " capacity of " + formatSignificant(capacity, 4) +
                      " ml: a real patient would void before that."};
}

}  // namespace

std::vector<Warning> capacityWarnings(const Scenario& scenario, const ScenarioResult& result,
                                      std::optional<double> patientCapacity) {
    const double capacity =
        scenario.voiding.capacity.value_or(patientCapacity.value_or(kAdultCapacity));
    const std::string whose = scenario.voiding.capacity ? "the scenario's"
                              : patientCapacity         ? "the reference patient's"
                                                        : "an adult's";
    double largest = scenario.initialVolume;
    for (const ScenarioVoid& v : result.voids) largest = std::max(largest, v.volume);
    for (const TimePoint& t : result.timeCourse) largest = std::max(largest, t.volume);
    // A void exactly at the capacity is the capacity pattern at work; allow rounding.
    if (largest <= capacity * (1 + 1e-9)) return {};
    return {aboveCapacity("voiding", largest, capacity, whose)};
}

std::vector<Warning> tableCapacityWarnings() {
    constexpr int kFirstDayIntervals = 10;  // 09:00 to beyond the next morning
    double largest = 0;
    int cells = 0;
    for (const FillRateSchedule& schedule : kFillRateSchedules) {
        for (const double v0 : kLabelledV0Grid) {
            for (const double t0 : kLabelledT0Grid) {
                VoidingClock clock(schedule, v0, t0);
                double cellLargest = 0;
                for (int i = 0; i < kFirstDayIntervals; ++i) {
                    const IntervalBounds b = clock.next();
                    cellLargest = std::max(cellLargest, b.startVolume + b.rate * (b.end - b.start));
                }
                largest = std::max(largest, cellLargest);
                if (cellLargest > kAdultCapacity) ++cells;
            }
        }
    }
    if (cells == 0) return {};
    Warning w = aboveCapacity("table", largest, kAdultCapacity, "an adult's");
    w.message = std::to_string(cells) + " of the " +
                std::to_string(kScheduleCount * kV0Count * kT0Count) + " cells: " + w.message;
    return {w};
}

}  // namespace orvane
