// The library of further radiopharmaceuticals: the shipped file and the user's own, both JSON.
// Units: time min, rate constants min^-1, Delta mGy-kg/MBq-s, Gamma mGy-cm^2/MBq-s, doses
// mGy/MBq, excretion as a fraction of the administered activity.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/atomic_file.h"
#include "library/standards.h"

namespace orvane {

struct LibrarySource {
    std::string key;       // e.g. "KUR18"; may be empty in the user's entries
    std::string citation;  // free text
    std::string url;       // empty or http(s)://...
    bool operator==(const LibrarySource&) const = default;
};

// A bladder-wall dose coefficient published for adults.
struct PublishedDose {
    double value = 0.0;     // mGy/MBq
    std::string voiding;    // the voiding assumed, e.g. "3.5-h voiding" or "not stated"
    std::string source;     // where it was published
    bool recalled = false;  // recalled from the source, not re-read
    bool operator==(const PublishedDose&) const = default;
};

// A measured cumulative urinary excretion that the components were fitted to.
struct ExcretionPoint {
    double time = 0.0;      // min after administration
    double excreted = 0.0;  // fraction of the administered activity, decay-corrected
    bool operator==(const ExcretionPoint&) const = default;
};

// How an entry's numbers were made, shown to the user beside the confidence.
inline constexpr std::string_view kMarkRecalled = "recalled";  // some numbers not re-read
inline constexpr std::string_view kMarkInverted = "inverted";  // built backwards from a dose
inline constexpr std::string_view kMarkTuned = "tuned";        // tuned within the data to a dose

struct LibraryEntry {
    StandardPharmaceutical values;  // name, components, Tp, Delta, Gamma as a standard has them
    std::string nuclide;            // canonical ("Tc-99m"), or empty
    std::vector<std::string> aliases;
    std::optional<double> deltaWithoutAlpha;  // mGy-kg/MBq-s; for alpha emitters
    std::string confidence;                   // "H", "M", "L", "L-M", ..., or empty
    std::vector<std::string> marks;           // kMark... words
    std::vector<LibrarySource> sources;
    std::string notes;
    std::vector<PublishedDose> publishedDoses;
    std::vector<ExcretionPoint> fittedPoints;
    std::vector<std::string> warnings;  // shown wherever the entry is chosen

    const std::string& name() const { return values.name; }
    bool operator==(const LibraryEntry& other) const;
};

// A standard as a library entry: its values with the documentation of data/README.md.
LibraryEntry standardEntry(const StandardPharmaceutical& standard, int index);

// An entry of the values typed in the input fields (Text1..Text15, blank reading as 0) under
// name, with the nuclide found in the name. Throws InputError (naming the field) for values the
// calculation refuses, as a calculation would.
LibraryEntry entryFromFields(const FieldTexts& fields, const std::string& name);

// Refuses values that the calculation would refuse (InputError naming the field).
void checkEntryValues(const StandardPharmaceutical& values);

// The one-line meaning of a mark, for the user.
std::string markExplanation(std::string_view mark);

// Parses a library file with the one JSON reader (library/json_reader.h). fileName is only used
// in messages. Throws DataFileError whose position is "line L, column C" for JSON syntax, a NUL
// byte or trailing content, and the key path (e.g.
// "entries[2].components[0].fraction") for a value that is missing, of the wrong kind, out
// of range, unknown or repeated. Never returns partial data.
std::vector<LibraryEntry> parseLibraryFile(std::string_view text, const std::string& fileName);

// Reads (as readJsonFileText: a regular file of at most kMaxJsonFileBytes) and parses a
// library file. Throws DataFileError.
std::vector<LibraryEntry> loadLibraryFile(const std::filesystem::path& file);

// The file text for entries (JSON, two-space indent); parseLibraryFile reads it back equal.
std::string libraryFileText(const std::vector<LibraryEntry>& entries);

// The entry whose name or an alias is the same name as `query` (sameName), or nullptr.
const LibraryEntry* findEntry(const std::vector<LibraryEntry>& entries, std::string_view query);

// Whether a search field's `query` occurs in the entry's name, nuclide or an alias
// (nameContains); an empty query matches every entry.
bool entryMatches(const LibraryEntry& entry, std::string_view query);

// The positions of a list's entries by the keys (nameKey) of their names and aliases: finds a
// name in one look-up where findEntry walks the list, so checking every name of n entries
// stays linear in n.
class EntryIndex {
public:
    EntryIndex() = default;
    explicit EntryIndex(const std::vector<LibraryEntry>& entries);
    // Records the entry at position `at` under each of its names; a name already recorded
    // keeps its earlier entry, as findEntry would find that one first.
    void add(const LibraryEntry& entry, std::size_t at);
    // The position of the entry that `name` names, or nullopt.
    std::optional<std::size_t> find(std::string_view name) const;

private:
    std::unordered_map<std::string, std::size_t> positions_;
};

// The shipped library: <folder of the executable>/../share/orvane/radiopharmaceuticals.json.
std::filesystem::path shippedLibraryPathFor(const std::filesystem::path& executableDirectory);

// The user's library: $XDG_DATA_HOME/orvane/radiopharmaceuticals.json when XDG_DATA_HOME is
// an absolute path, else $HOME/.local/share/orvane/...; nullopt without either. Pass the
// environment values (or nullptr).
std::optional<std::filesystem::path> userLibraryPath(const char* xdgDataHome, const char* home);

// Both libraries as found. A file that cannot be used leaves its list empty and says why;
// a user file that does not exist is no problem.
struct LoadedLibrary {
    std::vector<LibraryEntry> shipped;
    std::vector<LibraryEntry> user;
    std::string shippedProblem;
    std::string userProblem;  // the user's file is never written while this is set
};
LoadedLibrary loadLibraries(const std::filesystem::path& shipped,
                            const std::optional<std::filesystem::path>& user);

// Writes the user's entries atomically, creating the folder. Refuses (ok false, file
// untouched) when a file there cannot be read or parsed, so that a damaged file is never
// replaced before the user has looked at it.
WriteOutcome writeUserLibrary(const std::filesystem::path& file,
                              const std::vector<LibraryEntry>& entries);

// Renames a damaged file aside to "<name>.damaged" (or ".damaged-2", ...) and returns the
// new path. Throws DataFileError.
std::filesystem::path moveDamagedFileAside(const std::filesystem::path& file);

}  // namespace orvane
