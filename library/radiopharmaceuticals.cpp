#include "library/radiopharmaceuticals.h"

#include <algorithm>
#include <tuple>

#include "engine/numtext.h"
#include "engine/plain_text.h"
#include "library/names.h"

namespace orvane {

void checkEntryValues(const StandardPharmaceutical& values) {
    checkParameters(makeModelParameters({values.name, values.fraction, values.rateConstant,
                                         values.biologicalHalfLife, values.physicalHalfLife,
                                         values.delta, values.gamma}));
}

bool LibraryEntry::operator==(const LibraryEntry& other) const {
    const auto tied = [](const LibraryEntry& e) {
        return std::tie(e.values.name, e.values.fraction, e.values.rateConstant,
                        e.values.biologicalHalfLife, e.values.physicalHalfLife, e.values.delta,
                        e.values.gamma, e.nuclide, e.aliases, e.deltaWithoutAlpha, e.confidence,
                        e.marks, e.sources, e.notes, e.publishedDoses, e.fittedPoints, e.warnings);
    };
    return tied(*this) == tied(other);
}

LibraryEntry standardEntry(const StandardPharmaceutical& standard, int index) {
    const StandardDocumentation documentation = standardDocumentation(index);
    LibraryEntry entry;
    entry.values = standard;
    entry.nuclide = nuclideIn(standard.name).value_or("");
    entry.confidence = documentation.confidence;
    entry.sources.push_back({documentation.sources, "documented in the data file's README", ""});
    entry.notes = documentation.note;
    if (documentation.publishedDose > 0) {
        entry.publishedDoses.push_back(
            {documentation.publishedDose, "ICRP model", documentation.publishedSource});
    }
    return entry;
}

LibraryEntry entryFromFields(const FieldTexts& fields, const std::string& name) {
    LibraryEntry entry;
    StandardPharmaceutical& values = entry.values;
    values.name = replaceControlCharacters(name);
    for (int j = 0; j < kComponentCount; ++j) {
        values.fraction[j] = textToNumber(fields[3 * j]);
        values.rateConstant[j] = textToNumber(fields[3 * j + 1]);
        values.biologicalHalfLife[j] = textToNumber(fields[3 * j + 2]);
    }
    values.physicalHalfLife = textToNumber(fields[12]);
    values.delta = textToNumber(fields[13]);
    values.gamma = textToNumber(fields[14]);
    checkEntryValues(values);
    for (int j = 0; j < kComponentCount; ++j) {
        const auto refuseUnless = [&](bool fine, int offset, const char* what) {
            if (!fine) {
                throw InputError(3 * j + offset, fieldCaption(3 * j + offset) + ": " + what +
                                                     " cannot be stored in the library.");
            }
        };
        refuseUnless(values.fraction[j] >= 0 && values.fraction[j] <= 1, 0,
                     "a fraction outside 0 to 1");
        refuseUnless(values.rateConstant[j] >= 0, 1, "a negative rate constant");
        refuseUnless(values.biologicalHalfLife[j] >= 0, 2, "a negative half-life");
    }
    const auto refuseNegative = [](double value, int field) {
        if (value < 0) {
            throw InputError(
                field, fieldCaption(field) + ": a negative value cannot be stored in the library.");
        }
    };
    refuseNegative(values.delta, 13);
    refuseNegative(values.gamma, 14);
    if (values.fraction[0] + values.fraction[1] + values.fraction[2] + values.fraction[3] >
        1.0 + 1e-9) {
        throw InputError(0,
                         "The fractions add up to more than 1 of the administered activity; "
                         "such values cannot be stored in the library.");
    }
    entry.nuclide = nuclideIn(name).value_or("");
    return entry;
}

std::string markExplanation(std::string_view mark) {
    if (mark == kMarkRecalled) {
        return "Some numbers were recalled from a label or paper and not re-read.";
    }
    if (mark == kMarkInverted) {
        return "Built backwards from the published bladder dose, which therefore cannot check "
               "it.";
    }
    if (mark == kMarkTuned) {
        return "Tuned within the range the data allow to match a published bladder dose.";
    }
    return {};
}

const LibraryEntry* findEntry(const std::vector<LibraryEntry>& entries, std::string_view query) {
    const std::string key = nameKey(query);
    for (const LibraryEntry& entry : entries) {
        if (nameKey(entry.name()) == key) return &entry;
        for (const std::string& alias : entry.aliases) {
            if (nameKey(alias) == key) return &entry;
        }
    }
    return nullptr;
}

bool entryMatches(const LibraryEntry& entry, std::string_view query) {
    if (nameContains(entry.name(), query) || nameContains(entry.nuclide, query)) return true;
    return std::ranges::any_of(
        entry.aliases, [&](const std::string& alias) { return nameContains(alias, query); });
}

EntryIndex::EntryIndex(const std::vector<LibraryEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) add(entries[i], i);
}

void EntryIndex::add(const LibraryEntry& entry, std::size_t at) {
    positions_.try_emplace(nameKey(entry.name()), at);
    for (const std::string& alias : entry.aliases) positions_.try_emplace(nameKey(alias), at);
}

std::optional<std::size_t> EntryIndex::find(std::string_view name) const {
    const auto found = positions_.find(nameKey(name));
    if (found == positions_.end()) return std::nullopt;
    return found->second;
}

}  // namespace orvane
