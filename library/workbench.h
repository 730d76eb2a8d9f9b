// The front door that every front end asks: the data file's standards, the shipped and the
// user's libraries, one rule for names, the scenario read with them, and the warnings.
// Qt-free; it never prints and never exits.
#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/atomic_file.h"
#include "engine/scenario.h"
#include "engine/warning.h"
#include "library/patients.h"
#include "library/radiopharmaceuticals.h"
#include "library/scenario_document.h"
#include "library/scenario_patient.h"
#include "library/standards.h"
#include "library/uncertainty_file.h"

namespace orvane {

enum class EntryOrigin { Standard, Shipped, User };

// Where the two library files are; no user file when neither XDG_DATA_HOME nor HOME is set.
struct LibraryFiles {
    std::filesystem::path shipped;
    std::optional<std::filesystem::path> user;
};

// A name that names nothing. what() says so, offers the nearest names and names every library
// file or entry that was set aside, and why.
class NameError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// A standard or a library entry that a name resolved to.
struct ResolvedEntry {
    EntryOrigin origin = EntryOrigin::Standard;
    int standard = -1;   // 0..19 for a standard
    LibraryEntry entry;  // a standard as standardEntry gives it
    // A user's entry of the same name that was set aside (told, never silently shadowed).
    std::vector<Warning> notes;
};

// A scenario document read with the workbench's standards and libraries.
struct ScenarioInput {
    Scenario scenario;
    std::optional<ResolvedEntry> chosen;  // what {"library": ...} named, if it did
};

class Workbench {
public:
    // Loads both libraries. A library file that cannot be used is set aside with its reason;
    // so is a user's entry whose name or alias is taken by a standard or a shipped entry.
    Workbench(StandardData data, LibraryFiles files);

    const StandardData& data() const { return data_; }
    const LibraryFiles& files() const { return files_; }
    const std::vector<LibraryEntry>& shipped() const { return shipped_; }
    // The user's entries that were admitted.
    const std::vector<LibraryEntry>& user() const { return user_; }
    // Every library file and user entry set aside, one line each, naming the file and why.
    const std::vector<std::string>& problems() const { return problems_; }
    // Why the whole shipped or user file was set aside, or empty.
    const std::string& shippedFileProblem() const { return shippedFileProblem_; }
    const std::string& userFileProblem() const { return userFileProblem_; }

    // One rule for every door: a standard by index (0..19) or name, else an entry by name or
    // alias, compared as sameName (any case, nuclide written either way). Throws NameError.
    ResolvedEntry resolve(std::string_view query) const;
    // Standard 0..19; NameError otherwise.
    ResolvedEntry standard(long long index) const;

    // The names a choice list offers, in order: the standards, the shipped entries, the user's.
    std::vector<std::string> choiceNames() const;
    // The position in choiceNames of what `query` names, or nullopt when it names nothing.
    std::optional<std::size_t> choiceIndex(std::string_view query) const;

    // Why `name` cannot be the name or an alias of a user's entry (taken by a standard, a
    // shipped entry or, unless it is `replacing`, another user's entry), or empty.
    std::string refusedUserName(std::string_view name, std::string_view replacing = {}) const;
    // The user's file as read, the entries set aside included, in its order.
    const std::vector<LibraryEntry>& userFileEntries() const { return userFile_; }
    // The position in userFileEntries of the entry that `name` names (findEntry), or nullopt.
    std::optional<std::size_t> userFileIndex(std::string_view name) const;
    // Writes the user's entries (writeUserLibrary), refusing with the file untouched an entry,
    // new or changed, whose name or alias is a standard's or a shipped entry's, or that of an
    // entry before it. An entry unchanged from the file is written back as it was.
    WriteOutcome saveUserEntries(const std::vector<LibraryEntry>& entries) const;

    // A scenario document (sections: top-level keys that the caller reads itself), its
    // {"library": ...} resolved as above. Throws ScenarioError.
    // `file` names the file in refusals (empty for a document without one).
    ScenarioInput readScenario(const nlohmann::json& document,
                               const std::vector<std::string>& sections = {"uncertainty"},
                               const std::string& file = {}) const;

    // The same for a document read by ScenarioDocument::parse, named by its file.
    ScenarioInput readScenario(const ScenarioDocument& document,
                               const std::vector<std::string>& sections = {"uncertainty"}) const;
    // The plan of the document's "uncertainty" section for its scenario (read as above), or
    // nullopt without one. Throws ScenarioError naming the key path.
    std::optional<UncertaintyPlan> uncertaintyPlan(const ScenarioDocument& document,
                                                   const Scenario& scenario) const;
    // The reference patients, read with the libraries from patients.json beside the shipped
    // library. Throws the DataFileError of that file if it could not be read.
    const ReferencePatients& patients() const;
    // referencePatient of patients(); ScenarioError for an age or sex refused.
    ReferencePatient referencePatient(double age, std::optional<Sex> sex) const;
    // The reference patient as a scenario fragment with its sources (referenceFragment).
    ReferenceFragment patientFragment(double age, std::optional<Sex> sex) const;

    // Every warning for a dose table of these fields (and the entry they were chosen from),
    // for the one table shown (0-based) or all of them (tableCapacityWarnings).
    std::vector<Warning> tableWarnings(const FieldTexts& fields,
                                       const ResolvedEntry* chosen = nullptr,
                                       std::optional<int> schedule = std::nullopt) const;
    // Every warning for a scenario and its result.
    std::vector<Warning> scenarioWarnings(const ScenarioInput& input,
                                          const ScenarioResult& result) const;

private:
    void admitUserEntries(std::vector<LibraryEntry> entries);
    std::string nearestNames(std::string_view query) const;

    StandardData data_;
    LibraryFiles files_;
    std::vector<LibraryEntry> shipped_, user_, setAside_, userFile_;
    EntryIndex shippedIndex_, userIndex_, setAsideIndex_;
    std::vector<std::string> problems_;
    std::string shippedFileProblem_, userFileProblem_;
    std::shared_ptr<const ReferencePatients> patients_;
    std::shared_ptr<const DataFileError> patientsProblem_;
};

}  // namespace orvane
