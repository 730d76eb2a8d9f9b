#include "library/radiopharmaceuticals.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>

#include "engine/numtext.h"
#include "library/file_text.h"
#include "library/names.h"

namespace orvane {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view kFormat = "orvane radiopharmaceutical library";
constexpr int kFormatVersion = 1;
constexpr std::size_t kMaxLibraryFileBytes = 16 * 1024 * 1024;
constexpr std::string_view kFileName = "radiopharmaceuticals.json";

const std::set<std::string, std::less<>> kConfidences{"H", "M", "L", "H-M", "M-H", "M-L", "L-M"};

// Line and column (1-based) of a byte offset.
std::string lineAndColumn(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const std::size_t line =
        static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t column =
        lineStart == std::string_view::npos ? offset + 1 : offset - lineStart;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Refuses an object key that appears twice; JSON readers would silently keep one of them.
class DuplicateKeyGuard {
public:
    explicit DuplicateKeyGuard(const std::string& fileName) : fileName_(fileName) {}

    bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                countElement();
                frames_.push_back({false, -1, {}, {}});
                break;
            case Json::parse_event_t::array_start:
                countElement();
                frames_.push_back({true, -1, {}, {}});
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                if (!frames_.empty()) frames_.pop_back();
                break;
            case Json::parse_event_t::key: {
                Frame& frame = frames_.back();
                frame.key = parsed.get<std::string>();
                if (!frame.keys.insert(frame.key).second) {
                    throw DataFileError(fileName_, path(), "the key appears twice in one object");
                }
                break;
            }
            case Json::parse_event_t::value:
                countElement();
                break;
        }
        return true;
    }

private:
    struct Frame {
        bool array;
        int index;
        std::string key;
        std::set<std::string> keys;
    };

    void countElement() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    }

    std::string path() const {
        std::string text;
        for (const Frame& frame : frames_) {
            if (frame.array) {
                text += "[" + std::to_string(frame.index) + "]";
            } else if (!frame.key.empty()) {
                text += (text.empty() ? "" : ".") + frame.key;
            }
        }
        return text;
    }

    const std::string& fileName_;
    std::vector<Frame> frames_;
};

// Reads the values of one JSON object, naming each by its key path in errors.
class ObjectReader {
public:
    ObjectReader(const Json& object, std::string path, const std::string& fileName)
        : object_(object), path_(std::move(path)), fileName_(fileName) {
        if (!object_.is_object()) fail(path_, "expected an object");
    }

    // Refuses keys that were never asked for: a misspelt key would otherwise be ignored.
    void refuseUnknownKeys() const {
        for (const auto& item : object_.items()) {
            if (!asked_.contains(item.key())) {
                fail(keyPath(item.key()), "unknown key");
            }
        }
    }

    bool has(const std::string& key) {
        asked_.insert(key);
        return object_.contains(key);
    }

    const Json& at(const std::string& key) {
        if (!has(key)) fail(keyPath(key), "missing");
        return object_.at(key);
    }

    std::string text(const std::string& key, bool required) {
        if (!required && !has(key)) return {};
        const Json& value = at(key);
        if (!value.is_string()) fail(keyPath(key), "expected a text in quotes");
        return value.get<std::string>();
    }

    double number(const std::string& key, double low, double high, const std::string& range) {
        const Json& value = at(key);
        if (!value.is_number()) fail(keyPath(key), "expected a number");
        const double x = value.get<double>();
        if (!std::isfinite(x) || x < low || x > high) {
            fail(keyPath(key), "expected " + range + ", found " + value.dump());
        }
        return x;
    }

    bool flag(const std::string& key) {
        if (!has(key)) return false;
        const Json& value = at(key);
        if (!value.is_boolean()) fail(keyPath(key), "expected true or false");
        return value.get<bool>();
    }

    // The elements of an optional array (empty when absent), each with its path.
    std::vector<std::pair<const Json*, std::string>> array(const std::string& key,
                                                           std::size_t maxCount) {
        std::vector<std::pair<const Json*, std::string>> elements;
        if (!has(key)) return elements;
        const Json& value = at(key);
        if (!value.is_array()) fail(keyPath(key), "expected a list in [ ]");
        if (value.size() > maxCount) {
            fail(keyPath(key), "expected at most " + std::to_string(maxCount) + " elements");
        }
        for (std::size_t i = 0; i < value.size(); ++i) {
            elements.emplace_back(&value[i], keyPath(key) + "[" + std::to_string(i) + "]");
        }
        return elements;
    }

    std::vector<std::string> texts(const std::string& key) {
        std::vector<std::string> result;
        for (const auto& [element, path] : array(key, 1000)) {
            if (!element->is_string()) fail(path, "expected a text in quotes");
            result.push_back(element->get<std::string>());
        }
        return result;
    }

    std::string keyPath(const std::string& key) const {
        return path_.empty() ? key : path_ + "." + key;
    }

    [[noreturn]] void fail(const std::string& path, const std::string& reason) const {
        throw DataFileError(fileName_, path, reason);
    }

private:
    const Json& object_;
    std::string path_;
    const std::string& fileName_;
    std::set<std::string, std::less<>> asked_;
};

constexpr double kHuge = 1e300;

std::string fieldKey(int field) {
    static constexpr const char* kComponentKeys[] = {"fraction", "rateConstant",
                                                     "biologicalHalfLife"};
    if (field < 0) return {};
    if (field < 3 * kComponentCount) {
        return "components[" + std::to_string(field / 3) + "]." + kComponentKeys[field % 3];
    }
    static constexpr const char* kOtherKeys[] = {"physicalHalfLife", "delta", "gamma"};
    return kOtherKeys[field - 3 * kComponentCount];
}

// Refuses values that the calculation would refuse (InputError naming the field).
void checkValues(const StandardPharmaceutical& values) {
    checkParameters(makeModelParameters({values.name, values.fraction, values.rateConstant,
                                         values.biologicalHalfLife, values.physicalHalfLife,
                                         values.delta, values.gamma}));
}

LibraryEntry readEntry(const Json& json, const std::string& path, const std::string& fileName) {
    ObjectReader entry(json, path, fileName);
    LibraryEntry result;
    StandardPharmaceutical& values = result.values;
    values.name = entry.text("name", true);
    if (nameKey(values.name).empty()) entry.fail(entry.keyPath("name"), "the name is empty");
    const std::string nuclide = entry.text("nuclide", false);
    if (!nuclide.empty()) {
        const auto canonical = canonicalNuclide(nuclide);
        if (!canonical) {
            entry.fail(entry.keyPath("nuclide"),
                       "\"" + nuclide + "\" is not a nuclide such as \"Tc-99m\" or \"99mTc\"");
        }
        result.nuclide = *canonical;
    }
    result.aliases = entry.texts("aliases");

    double totalFraction = 0.0;
    const auto components = entry.array("components", kComponentCount);
    for (std::size_t j = 0; j < components.size(); ++j) {
        ObjectReader component(*components[j].first, components[j].second, fileName);
        values.fraction[j] = component.number("fraction", 0.0, 1.0, "a fraction from 0 to 1");
        values.rateConstant[j] =
            component.number("rateConstant", 0.0, kHuge, "a rate constant of 0 or more (min^-1)");
        values.biologicalHalfLife[j] = component.number(
            "biologicalHalfLife", 0.0, kHuge, "a biological half-life of 0 or more (min)");
        component.refuseUnknownKeys();
        totalFraction += values.fraction[j];
    }
    // A little above 1 is rounding in the source's figures; more is activity out of nothing.
    if (totalFraction > 1.0 + 1e-9) {
        entry.fail(entry.keyPath("components"),
                   "the fractions add up to more than 1 of the administered activity");
    }
    values.physicalHalfLife =
        entry.number("physicalHalfLife", 0.0, kHuge, "a physical half-life above 0 (min)");
    values.delta = entry.number("delta", 0.0, kHuge, "a Delta of 0 or more (mGy-kg/MBq-s)");
    values.gamma = entry.number("gamma", 0.0, kHuge, "a Gamma of 0 or more (mGy-cm^2/MBq-s)");
    if (entry.has("deltaWithoutAlpha")) {
        result.deltaWithoutAlpha =
            entry.number("deltaWithoutAlpha", 0.0, values.delta, "a value from 0 to the Delta");
    }
    try {
        checkValues(values);
    } catch (const InputError& error) {
        entry.fail(entry.keyPath(fieldKey(error.field())), error.what());
    }

    result.confidence = entry.text("confidence", false);
    if (!result.confidence.empty() && !kConfidences.contains(result.confidence)) {
        entry.fail(
            entry.keyPath("confidence"),
            "expected H, M or L, or a range such as \"L-M\"; found \"" + result.confidence + "\"");
    }
    const auto marks = entry.array("marks", 10);
    for (const auto& [mark, markPath] : marks) {
        if (!mark->is_string() || markExplanation(mark->get<std::string>()).empty()) {
            entry.fail(markPath, "expected \"recalled\", \"inverted\" or \"tuned\"");
        }
        result.marks.push_back(mark->get<std::string>());
    }
    for (const auto& [json, sourcePath] : entry.array("sources", 100)) {
        ObjectReader source(*json, sourcePath, fileName);
        LibrarySource item{source.text("key", false), source.text("citation", false),
                           source.text("url", false)};
        if (item.key.empty() && item.citation.empty()) {
            source.fail(sourcePath, "a source needs a key or a citation");
        }
        if (!item.url.empty() && !item.url.starts_with("https://") &&
            !item.url.starts_with("http://")) {
            source.fail(source.keyPath("url"), "expected an address starting with https://");
        }
        source.refuseUnknownKeys();
        result.sources.push_back(std::move(item));
    }
    result.notes = entry.text("notes", false);
    for (const auto& [json, dosePath] : entry.array("publishedDoses", 100)) {
        ObjectReader dose(*json, dosePath, fileName);
        PublishedDose item;
        item.value = dose.number("value", 0.0, kHuge, "a dose of 0 or more (mGy/MBq)");
        item.voiding = dose.text("voiding", true);
        item.source = dose.text("source", true);
        item.recalled = dose.flag("recalled");
        dose.refuseUnknownKeys();
        result.publishedDoses.push_back(std::move(item));
    }
    for (const auto& [json, pointPath] : entry.array("fittedPoints", 100)) {
        ObjectReader point(*json, pointPath, fileName);
        ExcretionPoint item;
        item.time = point.number("time", 0.0, kHuge, "a time of 0 or more (min)");
        item.excreted = point.number("excreted", 0.0, 1.0, "a fraction from 0 to 1");
        point.refuseUnknownKeys();
        result.fittedPoints.push_back(item);
    }
    result.warnings = entry.texts("warnings");
    entry.refuseUnknownKeys();
    return result;
}

OrderedJson entryJson(const LibraryEntry& entry) {
    const StandardPharmaceutical& values = entry.values;
    OrderedJson json;
    json["name"] = values.name;
    if (!entry.nuclide.empty()) json["nuclide"] = entry.nuclide;
    if (!entry.aliases.empty()) json["aliases"] = entry.aliases;
    OrderedJson components = OrderedJson::array();
    for (int j = 0; j < kComponentCount; ++j) {
        if (values.fraction[j] == 0.0 && values.rateConstant[j] == 0.0 &&
            values.biologicalHalfLife[j] == 0.0) {
            continue;
        }
        components.push_back({{"fraction", values.fraction[j]},
                              {"rateConstant", values.rateConstant[j]},
                              {"biologicalHalfLife", values.biologicalHalfLife[j]}});
    }
    json["components"] = components;
    json["physicalHalfLife"] = values.physicalHalfLife;
    json["delta"] = values.delta;
    if (entry.deltaWithoutAlpha) json["deltaWithoutAlpha"] = *entry.deltaWithoutAlpha;
    json["gamma"] = values.gamma;
    if (!entry.confidence.empty()) json["confidence"] = entry.confidence;
    if (!entry.marks.empty()) json["marks"] = entry.marks;
    if (!entry.sources.empty()) {
        OrderedJson sources = OrderedJson::array();
        for (const LibrarySource& source : entry.sources) {
            OrderedJson item;
            if (!source.key.empty()) item["key"] = source.key;
            if (!source.citation.empty()) item["citation"] = source.citation;
            if (!source.url.empty()) item["url"] = source.url;
            sources.push_back(item);
        }
        json["sources"] = sources;
    }
    if (!entry.notes.empty()) json["notes"] = entry.notes;
    if (!entry.publishedDoses.empty()) {
        OrderedJson doses = OrderedJson::array();
        for (const PublishedDose& dose : entry.publishedDoses) {
            OrderedJson item{
                {"value", dose.value}, {"voiding", dose.voiding}, {"source", dose.source}};
            if (dose.recalled) item["recalled"] = true;
            doses.push_back(item);
        }
        json["publishedDoses"] = doses;
    }
    if (!entry.fittedPoints.empty()) {
        OrderedJson points = OrderedJson::array();
        for (const ExcretionPoint& point : entry.fittedPoints) {
            points.push_back({{"time", point.time}, {"excreted", point.excreted}});
        }
        json["fittedPoints"] = points;
    }
    if (!entry.warnings.empty()) json["warnings"] = entry.warnings;
    return json;
}

}  // namespace

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
    values.name = name;
    for (int j = 0; j < kComponentCount; ++j) {
        values.fraction[j] = textToNumber(fields[3 * j]);
        values.rateConstant[j] = textToNumber(fields[3 * j + 1]);
        values.biologicalHalfLife[j] = textToNumber(fields[3 * j + 2]);
    }
    values.physicalHalfLife = textToNumber(fields[12]);
    values.delta = textToNumber(fields[13]);
    values.gamma = textToNumber(fields[14]);
    checkValues(values);
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

std::vector<LibraryEntry> parseLibraryFile(std::string_view text, const std::string& fileName) {
    Json document;
    try {
        DuplicateKeyGuard guard(fileName);
        document = Json::parse(text.begin(), text.end(), std::ref(guard));
    } catch (const Json::parse_error& error) {
        // The library's message repeats the position; keep only what it found and expected.
        std::string reason = error.what();
        const std::size_t detail = reason.find(": syntax error");
        if (detail != std::string::npos) reason = reason.substr(detail + 2);
        throw DataFileError(fileName, lineAndColumn(text, error.byte == 0 ? 0 : error.byte - 1),
                            reason);
    } catch (const Json::exception& error) {
        // A number beyond the double range, for one; the reader does not say where.
        std::string reason = error.what();
        const std::size_t detail = reason.find("] ");
        if (detail != std::string::npos) reason = reason.substr(detail + 2);
        throw DataFileError(fileName, "", reason);
    }
    ObjectReader top(document, "", fileName);
    if (top.text("format", true) != kFormat) {
        top.fail("format", "expected \"" + std::string(kFormat) + "\"");
    }
    if (top.number("version", 1, 1e9, "a whole version number") != kFormatVersion) {
        top.fail("version", "this program reads version " + std::to_string(kFormatVersion));
    }
    std::vector<LibraryEntry> entries;
    for (const auto& [json, path] : top.array("entries", 100000)) {
        LibraryEntry entry = readEntry(*json, path, fileName);
        std::vector<std::string> names = entry.aliases;
        names.push_back(entry.name());
        for (const std::string& name : names) {
            if (const LibraryEntry* other = findEntry(entries, name)) {
                top.fail(path, "\"" + name + "\" is already the name or an alias of \"" +
                                   other->name() + "\"");
            }
        }
        entries.push_back(std::move(entry));
    }
    top.at("entries");
    top.refuseUnknownKeys();
    return entries;
}

std::vector<LibraryEntry> loadLibraryFile(const std::filesystem::path& file) {
    return parseLibraryFile(
        readDataFileText(file, kMaxLibraryFileBytes, "entries of a library file"), file.string());
}

std::string libraryFileText(const std::vector<LibraryEntry>& entries) {
    OrderedJson document;
    document["format"] = kFormat;
    document["version"] = kFormatVersion;
    document["entries"] = OrderedJson::array();
    for (const LibraryEntry& entry : entries) document["entries"].push_back(entryJson(entry));
    return document.dump(2) + "\n";
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

std::filesystem::path shippedLibraryPathFor(const std::filesystem::path& executableDirectory) {
    return (executableDirectory / ".." / "share" / "orvane" / kFileName).lexically_normal();
}

std::optional<std::filesystem::path> userLibraryPath(const char* xdgDataHome, const char* home) {
    if (xdgDataHome != nullptr && std::filesystem::path(xdgDataHome).is_absolute()) {
        return std::filesystem::path(xdgDataHome) / "orvane" / kFileName;
    }
    if (home != nullptr && std::filesystem::path(home).is_absolute()) {
        return std::filesystem::path(home) / ".local" / "share" / "orvane" / kFileName;
    }
    return std::nullopt;
}

LoadedLibrary loadLibraries(const std::filesystem::path& shipped,
                            const std::optional<std::filesystem::path>& user) {
    LoadedLibrary library;
    try {
        library.shipped = loadLibraryFile(shipped);
    } catch (const DataFileError& error) {
        library.shippedProblem = error.what();
    }
    if (!user) {
        library.userProblem =
            "no folder for the user's library: neither XDG_DATA_HOME nor HOME is set";
        return library;
    }
    std::error_code missing;
    if (!std::filesystem::exists(*user, missing) && !missing) return library;
    try {
        library.user = loadLibraryFile(*user);
    } catch (const DataFileError& error) {
        library.userProblem = error.what();
    }
    return library;
}

WriteOutcome writeUserLibrary(const std::filesystem::path& file,
                              const std::vector<LibraryEntry>& entries) {
    const std::string what = "the library file";
    std::error_code error;
    const bool exists = std::filesystem::exists(file, error);
    if (error)
        return {false, "Cannot write " + what + " \"" + file.string() + "\": " + error.message()};
    if (exists) {
        try {
            loadLibraryFile(file);
        } catch (const DataFileError& damaged) {
            return {false, "The library file \"" + file.string() +
                               "\" is not replaced because it cannot be read (" + damaged.what() +
                               "); rename it aside first."};
        }
    }
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        return {false, "Cannot write " + what + " \"" + file.string() +
                           "\": cannot create its folder: " + error.message()};
    }
    return writeFileAtomically(file, libraryFileText(entries), what);
}

std::filesystem::path moveDamagedFileAside(const std::filesystem::path& file) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        std::filesystem::path aside = file;
        aside += attempt == 1 ? ".damaged" : ".damaged-" + std::to_string(attempt);
        std::error_code error;
        if (std::filesystem::exists(aside, error) || error) continue;
        std::filesystem::rename(file, aside, error);
        if (error) {
            throw DataFileError(file.string(), "", "cannot rename it aside: " + error.message());
        }
        return aside;
    }
    throw DataFileError(file.string(), "", "cannot rename it aside: too many damaged copies there");
}

}  // namespace orvane
