#include "engine/calculation.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string_view>
#include <utility>

#include "engine/fast_engine.h"
#include "engine/numtext.h"
#include "engine/plain_text.h"
#include "engine/simulation.h"

namespace orvane {
namespace {

[[noreturn]] void refuse(int field, const std::string& reason) {
    throw InputError(field, fieldCaption(field) + ": " + reason);
}

void requireFinite(int field, double value) {
    if (!std::isfinite(value)) {
        refuse(field,
               "the value is infinite or too large to compute with (for example 1E999). "
               "Enter an ordinary number.");
    }
}

// What to type instead of a text that is not wholly a number.
std::string notANumberAdvice(std::string_view text) {
    if (text.find(',') != std::string_view::npos) {
        std::string pointed(text);
        std::replace(pointed.begin(), pointed.end(), ',', '.');
        if (isWholeNumber(pointed)) return "use a decimal point, as in " + pointed;
    }
    const LeadingNumber number = readLeadingNumber(text);
    if (number.found()) {
        const std::string_view rest = trimBlanks(text.substr(number.length));
        const auto first = static_cast<unsigned char>(rest.front());
        const bool exponent = (first == 'e' || first == 'E') && rest.size() <= 2;
        if (!exponent && (std::isalpha(first) || first == '%' || first >= 0x80)) {
            return "type the number only; the unit is in the caption";
        }
    }
    return "type one decimal number, as in 0.5, 17.3 or 6.93E-03";
}

}  // namespace

void checkFieldTexts(const FieldTexts& fields) {
    for (int f = 0; f < kFieldCount; ++f) {
        const std::string_view text = trimBlanks(fields[f]);
        if (text.empty() || isWholeNumber(text)) continue;
        refuse(f, quoteText(text) + " is not a number; " + notANumberAdvice(text) + ".");
    }
}

std::string fillRateText(const FillRateSchedule& schedule) {
    return formatUpTo3Decimals(schedule.dayRate) + "/" + formatUpTo3Decimals(schedule.nightRate) +
           " ml/min";
}

std::string fieldCaption(int fieldIndex) {
    static const char* const kComponentColumns[] = {"Fraction", "Biological Rate Constant (min^-1)",
                                                    "Biological Half-Life (min)"};
    if (fieldIndex >= 0 && fieldIndex < kComponentFieldCount) {
        return std::string(kComponentColumns[fieldColumn(fieldIndex)]) + ", component " +
               std::to_string(fieldComponent(fieldIndex) + 1);
    }
    switch (fieldIndex) {
        case kPhysicalHalfLifeField:
            return "Physical Half-Life (min)";
        case kDeltaField:
            return "Delta (mGy-kg/MBq-s)";
        case kGammaField:
            return "Gamma (mGy-cm^2/MBq-s)";
        default:
            return "Input";
    }
}

ModelParameters readModelParameters(const FieldTexts& fields, const std::string& name) {
    RadiopharmaceuticalValues v;
    v.name = replaceControlCharacters(name);
    for (int c = 0; c < kComponentCount; ++c) {
        v.fraction[c] = textToNumber(fields[fractionField(c)]);
        v.rateConstant[c] = textToNumber(fields[rateConstantField(c)]);
        v.biologicalHalfLife[c] = textToNumber(fields[halfLifeField(c)]);
    }
    v.physicalHalfLife = textToNumber(fields[kPhysicalHalfLifeField]);
    v.delta = textToNumber(fields[kDeltaField]);
    v.gamma = textToNumber(fields[kGammaField]);
    return makeModelParameters(v);
}

void checkParameters(const ModelParameters& p) {
    for (int c = 0; c < kComponentCount; ++c) {
        requireFinite(fractionField(c), p.fraction[c]);
        requireFinite(rateConstantField(c), p.rateConstant[c]);
        requireFinite(halfLifeField(c), p.biologicalHalfLife[c]);
    }
    requireFinite(kPhysicalHalfLifeField, p.physicalHalfLife);
    requireFinite(kDeltaField, p.deltaScaled);
    requireFinite(kGammaField, p.gammaScaled);

    if (p.physicalHalfLife == 0) {
        refuse(kPhysicalHalfLifeField,
               "the physical half-life is empty or 0. Enter the half-life in minutes.");
    }
    if (p.physicalHalfLife < 0) {
        refuse(kPhysicalHalfLifeField, "the physical half-life is negative (" +
                                           formatScientific(p.physicalHalfLife) +
                                           " min). Enter a positive half-life in minutes.");
    }
    if (!std::isfinite(p.physicalDecayConstant)) {
        refuse(kPhysicalHalfLifeField, "the physical half-life is too small to compute with.");
    }
    for (int c = 0; c < kComponentCount; ++c) {
        if (p.fraction[c] != 0 && p.rateConstant[c] < 0) {
            refuse(rateConstantField(c),
                   "the rate constant is negative (" + formatScientific(p.rateConstant[c]) +
                       " min^-1) while the component's fraction is not 0. Enter a rate constant "
                       "of 0 or more.");
        }
    }
    if (p.physicalHalfLife + longestBiologicalHalfLife(p) == 0) {
        refuse(kPhysicalHalfLifeField,
               "the physical half-life and the longest biological half-life add up to 0, so "
               "the effective half-life is undefined.");
    }
    // The half-lives alone set the number of intervals, so a missing one cuts the simulation
    // short while the rate constant still excretes slowly.
    for (int c = 0; c < kComponentCount; ++c) {
        if (p.fraction[c] != 0 && p.rateConstant[c] != 0 && p.biologicalHalfLife[c] <= 0) {
            refuse(halfLifeField(c),
                   "the biological half-life is empty, 0 or negative while the component's "
                   "fraction and rate constant are not 0. Enter the half-life in minutes; "
                   "0.693/k gives " +
                       formatScientific(kDecayNumerator / p.rateConstant[c]) + " min.");
        }
    }
    const std::pair<int, double> emissions[] = {{kDeltaField, p.deltaScaled},
                                                {kGammaField, p.gammaScaled}};
    for (const auto& [field, scaled] : emissions) {
        if (scaled < 0) {
            refuse(field, "the value is negative (" +
                              formatScientific(unscaleEmissionConstant(scaled)) +
                              "), which would give negative doses. Enter 0 or more.");
        }
    }
}

void checkIntervalCount(const ModelParameters& p, long long n) {
    if (n <= kMaxIntervals) return;
    const double tbMax = longestBiologicalHalfLife(p);
    const std::string count =
        n >= kIntervalCountCeiling ? "more than " + std::to_string(n) : std::to_string(n);
    throw InputError(-1, "The calculation would need N = " + count +
                             " voiding intervals, more "
                             "than the " +
                             std::to_string(kMaxIntervals) +
                             " it can simulate. The "
                             "effective half-life is too long: physical half-life " +
                             formatScientific(p.physicalHalfLife) +
                             " min, longest biological "
                             "half-life " +
                             formatScientific(tbMax) + " min.");
}

void checkGrids(const ModelTables& tables) {
    for (int v = 0; v < kV0Count; ++v) {
        const double v0 = tables.v0Grid[v];
        if (!std::isfinite(v0) || v0 <= 0) {
            throw GridError("Data file: initial bladder volume V0 number " + std::to_string(v + 1) +
                            " is " + formatScientific(v0) + " ml; it must be a positive volume.");
        }
    }
    for (int t = 0; t < kT0Count; ++t) {
        const double t0 = tables.t0Grid[t];
        if (!std::isfinite(t0) || t0 <= 0) {
            throw GridError("Data file: first-void time T0 number " + std::to_string(t + 1) +
                            " is " + formatScientific(t0) + " min; it must be a positive time.");
        }
        // Only the interval after the first can come out empty: a first void after 03:00
        // the next morning (T0 of 1080 min or more).
        VoidingClock clock(kFillRateSchedules[0], tables.v0Grid[0], t0);
        clock.next();
        const IntervalBounds second = clock.next();
        if (!(second.end > second.start)) {
            throw GridError("Data file: first-void time T0 number " + std::to_string(t + 1) +
                            " is " + formatScientific(t0) +
                            " min; it leaves the next voiding interval empty (T0 must "
                            "be below 1080 min).");
        }
    }
    for (int i = 0; i < kNodeCount; ++i) {
        const double x = tables.quadratureNodes[i];
        const double w = tables.quadratureWeights[i];
        if (!std::isfinite(x) || x < 0 || x > 1 || !std::isfinite(w)) {
            throw GridError("Data file: quadrature node " + std::to_string(i + 1) +
                            " must lie in [0, 1] with a finite weight.");
        }
    }
}

DoseResults computeDoseResults(const ModelParameters& parameters, const ModelTables& tables,
                               DoseEngine engine) {
    checkParameters(parameters);
    const long long n = IntervalCount(parameters);
    checkIntervalCount(parameters, n);
    checkGrids(tables);

    DoseResults results;
    results.parameters = parameters;
    results.grids = tables;
    std::array<DoseTable, kScheduleCount> fastTables{};
    if (engine == DoseEngine::Fast) {
        fastTables = computeDoseTablesFast(parameters, tables, static_cast<int>(n));
    }
    VoidHistory history;
    for (int s = 0; s < kScheduleCount; ++s) {
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                const double dose =
                    engine == DoseEngine::Fast
                        ? fastTables[s].at(t, v)
                        : SimulateDose(parameters, kFillRateSchedules[s], tables.v0Grid[v],
                                       tables.t0Grid[t], static_cast<int>(n),
                                       tables.quadratureNodes, tables.quadratureWeights, history);
                if (!std::isfinite(dose)) {
                    throw CalculationError(
                        "The dose for fill rate " + fillRateText(kFillRateSchedules[s]) + ", V0 " +
                        formatWhole(tables.v0Grid[v]) + " ml, T0 " + formatWhole(tables.t0Grid[t]) +
                        " min is not a finite number. Check the entered values.");
                }
                results.tables[s].at(t, v) = dose;
            }
        }
    }
    return results;
}

DoseResults RunCalculation(const FieldTexts& fields, const std::string& name,
                           const ModelTables& tables, DoseEngine engine) {
    checkFieldTexts(fields);
    return computeDoseResults(readModelParameters(fields, name), tables, engine);
}

}  // namespace orvane
