#include "library/workbench.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <tuple>
#include <unordered_map>

#include "engine/numtext.h"
#include "library/json_reader.h"
#include "library/names.h"
#include "library/scenario_file.h"
#include "library/scenario_schema.h"
#include "library/warnings.h"

namespace orvane {
namespace {

// The names and aliases of an entry.
std::vector<std::string> namesOf(const LibraryEntry& entry) {
    std::vector<std::string> names{entry.name()};
    names.insert(names.end(), entry.aliases.begin(), entry.aliases.end());
    return names;
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Edits (insertions, deletions, substitutions) that turn a into b.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The standard whose name is the same name as `name`, or nullopt.
std::optional<int> standardNamed(std::string_view name) {
    static const std::unordered_map<std::string, int> byKey = [] {
        std::unordered_map<std::string, int> keys;
        for (int i = 0; i < kStandardCount; ++i) keys.try_emplace(nameKey(kStandardNames[i]), i);
        return keys;
    }();
    const auto found = byKey.find(nameKey(name));
    if (found == byKey.end()) return std::nullopt;
    return found->second;
}

// The entry of `entries` that `name` names by `index`, or nullptr.
const LibraryEntry* entryNamed(const std::vector<LibraryEntry>& entries, const EntryIndex& index,
                               std::string_view name) {
    const std::optional<std::size_t> at = index.find(name);
    return at ? &entries[*at] : nullptr;
}

// A whole number of one or two digits (leading zeros allowed), or nullopt.
std::optional<long long> indexIn(std::string_view text) {
    text = trimBlanks(text);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
    const std::string_view digits = text.substr(first);
    if (digits.size() > 2) return 100;
    return std::stoll(std::string(digits));
}

}  // namespace

Workbench::Workbench(StandardData data, LibraryFiles files)
    : data_(std::move(data)), files_(std::move(files)) {
    LoadedLibrary loaded = loadLibraries(files_.shipped, files_.user);
    shipped_ = std::move(loaded.shipped);
    shippedIndex_ = EntryIndex(shipped_);
    if (!loaded.shippedProblem.empty()) {
        shippedFileProblem_ = loaded.shippedProblem;
        problems_.push_back("the shipped library was set aside: " + loaded.shippedProblem);
    }
    if (!loaded.userProblem.empty()) {
        userFileProblem_ = loaded.userProblem;
        // Without a folder there is no file to set aside.
        problems_.push_back(
            (files_.user ? "your library was set aside: " : "your library is not read: ") +
            loaded.userProblem);
    }
    userFile_ = loaded.user;
    admitUserEntries(std::move(loaded.user));
    // Read here, not on first use, so that threads sharing the workbench only read it.
    try {
        patients_ = std::make_shared<const ReferencePatients>(
            loadPatientsFile(files_.shipped.parent_path() / "patients.json"));
    } catch (const DataFileError& e) {
        patientsProblem_ = std::make_shared<const DataFileError>(e);
    }
}

void Workbench::admitUserEntries(std::vector<LibraryEntry> entries) {
    for (LibraryEntry& entry : entries) {
        std::string refusal;
        for (const std::string& name : namesOf(entry)) {
            if (refusal.empty()) refusal = refusedUserName(name, entry.name());
        }
        if (refusal.empty()) {
            userIndex_.add(entry, user_.size());
            user_.push_back(std::move(entry));
            continue;
        }
        problems_.push_back("your library's entry " + inQuotes(entry.name()) + " in " +
                            files_.user->string() + " was set aside: " + refusal +
                            "; rename it there");
        setAsideIndex_.add(entry, setAside_.size());
        setAside_.push_back(std::move(entry));
    }
}

std::string Workbench::refusedUserName(std::string_view name, std::string_view replacing) const {
    if (nameKey(name).empty()) return "an entry needs a name";
    if (const std::optional<int> i = standardNamed(name)) {
        return inQuotes(name) + " is the name of the standard " + inQuotes(kStandardNames[*i]);
    }
    if (const LibraryEntry* entry = entryNamed(shipped_, shippedIndex_, name)) {
        return inQuotes(name) + " is the name of the library's entry " + inQuotes(entry->name());
    }
    const LibraryEntry* own = entryNamed(user_, userIndex_, name);
    if (own && !sameName(own->name(), replacing)) {
        return inQuotes(name) + " is already the name of your entry " + inQuotes(own->name());
    }
    return {};
}

WriteOutcome Workbench::saveUserEntries(const std::vector<LibraryEntry>& entries) const {
    if (!files_.user) {
        return {false,
                "There is no folder for your library (neither XDG_DATA_HOME nor HOME is set)."};
    }
    const EntryIndex inFile(userFile_);
    std::vector<LibraryEntry> admitted;
    EntryIndex admittedIndex;
    for (const LibraryEntry& entry : entries) {
        const LibraryEntry* asRead = entryNamed(userFile_, inFile, entry.name());
        const bool unchanged = asRead && *asRead == entry;
        for (const std::string& name : unchanged ? std::vector<std::string>() : namesOf(entry)) {
            // Only the standards and the shipped entries bind here; the user's own list is
            // the one being written.
            if (const std::optional<int> i = standardNamed(name)) {
                return {false, "Not saved: " + inQuotes(name) + " is the name of the standard " +
                                   inQuotes(kStandardNames[*i]) + "; choose another name."};
            }
            if (const LibraryEntry* shipped = entryNamed(shipped_, shippedIndex_, name)) {
                return {false, "Not saved: " + inQuotes(name) +
                                   " is the name of the library's entry " +
                                   inQuotes(shipped->name()) + "; choose another name."};
            }
            if (const LibraryEntry* earlier = entryNamed(admitted, admittedIndex, name)) {
                return {false, "Not saved: " + inQuotes(name) + " names both " +
                                   inQuotes(earlier->name()) + " and " + inQuotes(entry.name()) +
                                   "."};
            }
        }
        admittedIndex.add(entry, admitted.size());
        admitted.push_back(entry);
    }
    return writeUserLibrary(*files_.user, entries);
}

ResolvedEntry Workbench::standard(long long index) const {
    if (index < 0 || index >= kStandardCount) {
        throw NameError("no standard " + inQuotes(std::to_string(index)) +
                        " (the standards are numbered 0 to 19)");
    }
    const int i = static_cast<int>(index);
    return {EntryOrigin::Standard, i, standardEntry(data_.library[i], i), {}};
}

ResolvedEntry Workbench::resolve(std::string_view query) const {
    if (const std::optional<long long> index = indexIn(query)) return standard(*index);
    ResolvedEntry resolved;
    bool found = false;
    if (const std::optional<int> i = standardNamed(query)) {
        resolved = standard(*i);
        found = true;
    }
    for (const auto& [entries, index, origin] :
         {std::tuple{&shipped_, &shippedIndex_, EntryOrigin::Shipped},
          std::tuple{&user_, &userIndex_, EntryOrigin::User}}) {
        if (found) break;
        if (const LibraryEntry* entry = entryNamed(*entries, *index, query)) {
            resolved = {origin, -1, *entry, {}};
            found = true;
        }
    }
    if (!found) {
        std::string message =
            "no standard or library entry " + inQuotes(query) + nearestNames(query);
        for (const std::string& problem : problems_) message += "; " + problem;
        throw NameError(message);
    }
    if (const LibraryEntry* hidden = entryNamed(setAside_, setAsideIndex_, query)) {
        resolved.notes.push_back(
            {"radiopharmaceutical", "your library's entry " + inQuotes(hidden->name()) +
                                        " was set aside, not used: its name is taken by " +
                                        inQuotes(resolved.entry.name()) + "; rename it in " +
                                        files_.user->string()});
    }
    return resolved;
}

std::string Workbench::nearestNames(std::string_view query) const {
    const std::string key = nameKey(query);
    struct Candidate {
        std::size_t distance;
        std::string name;
    };
    std::vector<Candidate> candidates;
    const auto consider = [&](const std::string& name, const std::string& shown) {
        const std::string other = nameKey(name);
        std::size_t distance = editDistance(key, other);
        const bool contained = key.size() >= 3 && other.find(key) != std::string::npos;
        if (contained) distance = std::min<std::size_t>(distance, 1);
        if (distance <= std::max<std::size_t>(2, key.size() / 3)) {
            candidates.push_back({distance, shown});
        }
    };
    for (const char* name : kStandardNames) consider(name, name);
    for (const auto* entries : {&shipped_, &user_}) {
        for (const LibraryEntry& entry : *entries) {
            for (const std::string& name : namesOf(entry)) consider(name, entry.name());
        }
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    std::vector<std::string> shown;
    for (const Candidate& c : candidates) {
        if (c.distance == candidates.front().distance && shown.size() < 3 &&
            std::find(shown.begin(), shown.end(), c.name) == shown.end()) {
            shown.push_back(c.name);
        }
    }
    if (shown.empty()) return {};
    std::string text = "; did you mean ";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == shown.size() ? " or " : ", ") + shown[i];
    }
    return text + "?";
}

std::vector<std::string> Workbench::choiceNames() const {
    std::vector<std::string> names(kStandardNames.begin(), kStandardNames.end());
    for (const auto* entries : {&shipped_, &user_}) {
        for (const LibraryEntry& entry : *entries) names.push_back(entry.name());
    }
    return names;
}

std::optional<std::size_t> Workbench::choiceIndex(std::string_view query) const {
    ResolvedEntry resolved;
    try {
        resolved = resolve(query);
    } catch (const NameError&) {
        return std::nullopt;
    }
    if (resolved.origin == EntryOrigin::Standard) return resolved.standard;
    const std::vector<LibraryEntry>& list =
        resolved.origin == EntryOrigin::Shipped ? shipped_ : user_;
    const std::size_t before = kStandardCount + (&list == &user_ ? shipped_.size() : 0);
    const auto at = std::find_if(list.begin(), list.end(), [&](const LibraryEntry& e) {
        return e.name() == resolved.entry.name();
    });
    return before + static_cast<std::size_t>(at - list.begin());
}

ScenarioInput Workbench::readScenario(const nlohmann::json& document,
                                      const std::vector<std::string>& sections,
                                      const std::string& file) const {
    ScenarioInput input;
    ScenarioReadOptions reading;
    reading.sections = sections;
    reading.file = file;
    reading.library = [this, &input](const std::string& key) {
        ResolvedEntry resolved = resolve(key);
        // As the input window shows the entry once chosen.
        ModelParameters p = readModelParameters(standardFieldTexts(resolved.entry.values).fields,
                                                resolved.entry.name());
        input.chosen = std::move(resolved);
        return p;
    };
    reading.standard = [this](const std::string& name) {
        const ResolvedEntry resolved = resolve(name);
        if (resolved.origin != EntryOrigin::Standard) {
            throw NameError(
                inQuotes(name) + " is the library entry " + inQuotes(resolved.entry.name()) +
                ", not a standard: name it as {\"library\": " + inQuotes(resolved.entry.name()) +
                "}");
        }
        return resolved.standard;
    };
    reading.patient = [this](double age, std::optional<Sex> sex) {
        return referencePatient(age, sex);
    };
    input.scenario = scenarioFromJson(document, data_, reading);
    return input;
}

std::optional<std::size_t> Workbench::userFileIndex(std::string_view name) const {
    const LibraryEntry* entry = findEntry(userFile_, name);
    if (!entry) return std::nullopt;
    return static_cast<std::size_t>(entry - userFile_.data());
}

ScenarioInput Workbench::readScenario(const ScenarioDocument& document,
                                      const std::vector<std::string>& sections) const {
    return readScenario(document.json(), sections, document.file());
}

std::optional<UncertaintyPlan> Workbench::uncertaintyPlan(const ScenarioDocument& document,
                                                          const Scenario& scenario) const {
    const nlohmann::json* section = findKey(document.json(), schema::kUncertainty);
    if (!section) return std::nullopt;
    return readUncertaintySection(*section, document.json(), scenario);
}

const ReferencePatients& Workbench::patients() const {
    if (!patients_) throw *patientsProblem_;
    return *patients_;
}

ReferencePatient Workbench::referencePatient(double age, std::optional<Sex> sex) const {
    return orvane::referencePatient(patients(), age, sex);
}

ReferenceFragment Workbench::patientFragment(double age, std::optional<Sex> sex) const {
    return referenceFragment(patients(), age, sex);
}

std::vector<Warning> Workbench::tableWarnings(const FieldTexts& fields, const ResolvedEntry* chosen,
                                              std::optional<int> schedule) const {
    std::vector<Warning> warnings;
    const bool entry = chosen && chosen->origin != EntryOrigin::Standard;
    if (chosen) warnings = chosen->notes;
    for (Warning& w : fieldWarnings(fields, entry ? &chosen->entry : nullptr)) {
        warnings.push_back(std::move(w));
    }
    for (Warning& w : tableCapacityWarnings(schedule)) warnings.push_back(std::move(w));
    return warnings;
}

std::vector<Warning> Workbench::scenarioWarnings(const ScenarioInput& input,
                                                 const ScenarioResult& result) const {
    std::vector<Warning> warnings;
    const bool entry = input.chosen && input.chosen->origin != EntryOrigin::Standard;
    if (input.chosen) warnings = input.chosen->notes;
    for (Warning& w :
         orvane::scenarioWarnings(input.scenario, result, entry ? &input.chosen->entry : nullptr)) {
        warnings.push_back(std::move(w));
    }
    for (Warning& w : capacityWarnings(input.scenario, result)) {
        warnings.push_back(std::move(w));
    }
    return warnings;
}

}  // namespace orvane
