#include "engine/input_warnings.h"

#include <cmath>

#include "engine/numtext.h"

namespace orvane {
namespace {

// Sums of typed fractions carry rounding noise near 1e-16; a sum this far above 1 is meant.
constexpr double kSumTolerance = 1e-9;
constexpr double kHalfLifeTolerance = 0.01;

std::string typed(const FieldTexts& fields, int field) {
    return std::string(trimBlanks(fields[field]));
}

}  // namespace

std::vector<InputWarning> inputWarnings(const FieldTexts& fields) {
    const ModelParameters p = readModelParameters(fields, std::string());
    std::vector<InputWarning> warnings;
    auto warn = [&warnings](int field, const std::string& text) {
        warnings.push_back({field, fieldCaption(field) + ": " + text});
    };

    double sum = 0;
    std::string terms;
    int first = -1, count = 0;
    for (int c = 0; c < kComponentCount; ++c) {
        if (p.fraction[c] == 0) continue;
        sum += p.fraction[c];
        terms += (terms.empty() ? "" : " + ") + typed(fields, fractionField(c));
        if (first < 0) first = fractionField(c);
        ++count;
    }
    // One fraction above 1 is told by the range warning below.
    if (count > 1 && sum > 1 + kSumTolerance) {
        warn(first, "the fractions add up to " + formatSignificant(sum, 9) + " (" + terms +
                        "), more than 1: more activity reaches the urine than was "
                        "administered.");
    }
    for (int c = 0; c < kComponentCount; ++c) {
        if (std::fabs(p.fraction[c]) > 1) {
            warn(fractionField(c), typed(fields, fractionField(c)) +
                                       " lies outside -1 to 1 (a fraction of the "
                                       "administered activity).");
        }
    }
    for (int c = 0; c < kComponentCount; ++c) {
        const double k = p.rateConstant[c], tb = p.biologicalHalfLife[c];
        if (p.fraction[c] == 0 || k <= 0 || tb <= 0) continue;
        const double fromK = kDecayNumerator / k;
        if (std::fabs(fromK - tb) > kHalfLifeTolerance * tb) {
            warn(halfLifeField(c),
                 typed(fields, halfLifeField(c)) + " min, but the rate constant " +
                     typed(fields, rateConstantField(c)) +
                     " min^-1 gives 0.693/k = " + formatSignificant(fromK, 4) +
                     " min, more than 1 % apart. The rate constant alone shapes the activity "
                     "curve; the half-life sets how many intervals are simulated.");
        }
    }
    const bool deltaBlank = typed(fields, kDeltaField).empty();
    const bool gammaBlank = typed(fields, kGammaField).empty();
    if (deltaBlank != gammaBlank) {
        const int blank = deltaBlank ? kDeltaField : kGammaField;
        warn(blank, std::string("blank while ") + (deltaBlank ? "Gamma" : "Delta") +
                        " is set, so the doses leave out the " +
                        (deltaBlank ? "non-penetrating" : "penetrating") + " emissions.");
    }
    return warnings;
}

}  // namespace orvane
