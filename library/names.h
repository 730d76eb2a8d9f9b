// Names as people type them: nuclides in any of their usual spellings, agent names in any case
// and spacing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// "Tc-99m", "99mTc", "Tc99m", "tc-99m", "99m-Tc" -> "Tc-99m"; nullopt unless the whole text
// (blanks around it ignored) is one nuclide of a known element.
std::optional<std::string> canonicalNuclide(std::string_view text);

// The first nuclide written anywhere in a name ("Lu-177 PSMA-617" -> "Lu-177"), or nullopt.
std::optional<std::string> nuclideIn(std::string_view name);

// The form two names are compared in: nuclides canonical wherever they stand, letters in
// lower case, punctuation and blanks dropped ("18F-FDG", "f-18 fdg" and "F18 FDG" give one
// key). Only for comparing; never shown.
std::string nameKey(std::string_view name);

// Whether two names are the same name as typed.
bool sameName(std::string_view a, std::string_view b);

// Whether `query` occurs in `name`, compared as keys or as plain text in any case; an empty
// query occurs everywhere. A query that names an element ("lutetium", "iodide", "sodium
// iodide") finds a name when each such word's element is in it (as a nuclide, an element's
// name or a formula written with its capitals, "NaI") and each other word occurs in it. For
// search fields.
bool nameContains(std::string_view name, std::string_view query);

}  // namespace orvane
