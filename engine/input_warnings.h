// Input that the model computes but that is physically doubtful: told, never refused.
#pragma once

#include <string>
#include <vector>

#include "engine/calculation.h"

namespace orvane {

struct InputWarning {
    int field;            // the 0-based field index the warning is about
    std::string message;  // begins with the field's caption
};

// The warnings about fields that checkFieldTexts and checkParameters accept: fractions that add
// up to more than 1; a fraction outside [-1, 1]; a component whose 0.693/k and biological
// half-life differ by more than 1 % of the half-life (k alone shapes the activity, the
// half-life alone sets the number of intervals); a blank Delta or Gamma while the other is set.
std::vector<InputWarning> inputWarnings(const FieldTexts& fields);

}  // namespace orvane
