// The library file: parsing with the one JSON reader's checks, and its text.
#include <nlohmann/json.hpp>
#include <set>

#include "engine/plain_text.h"
#include "library/json_reader.h"
#include "library/names.h"
#include "library/radiopharmaceuticals.h"

namespace orvane {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view kFormat = "orvane radiopharmaceutical library";
constexpr int kFormatVersion = 1;
constexpr double kHuge = 1e300;

const std::set<std::string, std::less<>> kConfidences{"H", "M", "L", "H-M", "M-H", "M-L", "L-M"};

// A confidence grade, optionally qualified in brackets after a blank: "L-M", "M (f=0)".
bool isConfidence(std::string_view text) {
    const std::size_t bracket = text.find(" (");
    if (bracket != std::string_view::npos) {
        if (text.size() < bracket + 4 || text.back() != ')') return false;
        text = text.substr(0, bracket);
    }
    return kConfidences.contains(text);
}

// The key of an entry's value that an InputError's field names.
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

// Reads one file's values with JsonCheck, naming the file in every refusal.
class LibraryReader {
public:
    explicit LibraryReader(const std::string& fileName) : check_(fileName) {}

    std::vector<LibraryEntry> entries(const Json& document) const;

private:
    std::string requiredText(const Json& object, const std::string& path, const char* key) const {
        return check_.text(check_.require(object, path, key), keyPath(path, key));
    }
    std::string optionalText(const Json& object, const std::string& path, const char* key) const {
        return check_.optionalText(object, path, key).value_or("");
    }
    double number(const Json& object, const std::string& path, const char* key, double low,
                  double high, const std::string& expected) const {
        return check_.numberIn(check_.require(object, path, key), keyPath(path, key), low, high,
                               expected);
    }
    // The elements of an optional list (none when absent), each with its path.
    std::vector<std::pair<const Json*, std::string>> list(const Json& object,
                                                          const std::string& path, const char* key,
                                                          std::size_t most) const {
        std::vector<std::pair<const Json*, std::string>> elements;
        const Json* value = findKey(object, key);
        if (!value) return elements;
        const std::string at = keyPath(path, key);
        check_.list(*value, at, most, 0);
        for (std::size_t i = 0; i < value->size(); ++i) {
            elements.emplace_back(&(*value)[i], indexPath(at, i));
        }
        return elements;
    }
    std::vector<std::string> texts(const Json& object, const std::string& path,
                                   const char* key) const {
        std::vector<std::string> result;
        for (const auto& [element, at] : list(object, path, key, 1000)) {
            result.push_back(check_.text(*element, at));
        }
        return result;
    }

    void values(const Json& json, const std::string& path, LibraryEntry& result) const;
    LibraryEntry entry(const Json& json, const std::string& path) const;

    JsonCheck check_;
};

void LibraryReader::values(const Json& json, const std::string& path, LibraryEntry& result) const {
    StandardPharmaceutical& values = result.values;
    double totalFraction = 0.0;
    const auto components = list(json, path, "components", kComponentCount);
    for (std::size_t j = 0; j < components.size(); ++j) {
        const auto& [component, at] = components[j];
        check_.object(*component, at, {"fraction", "rateConstant", "biologicalHalfLife"});
        values.fraction[j] = number(*component, at, "fraction", 0.0, 1.0, "a fraction from 0 to 1");
        values.rateConstant[j] = number(*component, at, "rateConstant", 0.0, kHuge,
                                        "a rate constant of 0 or more (min^-1)");
        values.biologicalHalfLife[j] = number(*component, at, "biologicalHalfLife", 0.0, kHuge,
                                              "a biological half-life of 0 or more (min)");
        totalFraction += values.fraction[j];
    }
    // A little above 1 is rounding in the source's figures; more is activity out of nothing.
    if (totalFraction > 1.0 + 1e-9) {
        check_.refuse(keyPath(path, "components"),
                      "the fractions add up to more than 1 of the administered activity");
    }
    values.physicalHalfLife =
        number(json, path, "physicalHalfLife", 0.0, kHuge, "a physical half-life above 0 (min)");
    values.delta = number(json, path, "delta", 0.0, kHuge, "a Delta of 0 or more (mGy-kg/MBq-s)");
    values.gamma = number(json, path, "gamma", 0.0, kHuge, "a Gamma of 0 or more (mGy-cm^2/MBq-s)");
    if (findKey(json, "deltaWithoutAlpha")) {
        result.deltaWithoutAlpha = number(json, path, "deltaWithoutAlpha", 0.0, values.delta,
                                          "a value from 0 to the Delta");
    }
    try {
        checkEntryValues(values);
    } catch (const InputError& error) {
        check_.refuse(keyPath(path, fieldKey(error.field())), error.what());
    }
}

LibraryEntry LibraryReader::entry(const Json& json, const std::string& path) const {
    check_.object(json, path,
                  {"name", "nuclide", "aliases", "components", "physicalHalfLife", "delta",
                   "deltaWithoutAlpha", "gamma", "confidence", "marks", "sources", "notes",
                   "publishedDoses", "fittedPoints", "warnings"});
    LibraryEntry result;
    result.values.name = replaceControlCharacters(requiredText(json, path, "name"));
    if (nameKey(result.name()).empty()) check_.refuse(keyPath(path, "name"), "the name is empty");
    const std::string nuclide = optionalText(json, path, "nuclide");
    if (!nuclide.empty()) {
        const auto canonical = canonicalNuclide(nuclide);
        if (!canonical) {
            check_.refuse(keyPath(path, "nuclide"),
                          "\"" + nuclide + "\" is not a nuclide such as \"Tc-99m\" or \"99mTc\"");
        }
        result.nuclide = *canonical;
    }
    result.aliases = texts(json, path, "aliases");
    for (std::string& alias : result.aliases) alias = replaceControlCharacters(alias);
    values(json, path, result);

    result.confidence = optionalText(json, path, "confidence");
    if (!result.confidence.empty() && !isConfidence(result.confidence)) {
        check_.refuse(keyPath(path, "confidence"),
                      "expected H, M or L, or a range such as \"L-M\", optionally followed by a "
                      "note in brackets such as \"M (f=0)\"; found \"" +
                          result.confidence + "\"");
    }
    for (const auto& [mark, markPath] : list(json, path, "marks", 10)) {
        if (!mark->is_string() || markExplanation(mark->get<std::string>()).empty()) {
            check_.refuse(markPath, "expected \"recalled\", \"inverted\" or \"tuned\"");
        }
        result.marks.push_back(mark->get<std::string>());
    }
    for (const auto& [source, at] : list(json, path, "sources", 100)) {
        check_.object(*source, at, {"key", "citation", "url"});
        LibrarySource item{optionalText(*source, at, "key"), optionalText(*source, at, "citation"),
                           optionalText(*source, at, "url")};
        if (item.key.empty() && item.citation.empty()) {
            check_.refuse(at, "a source needs a key or a citation");
        }
        if (!item.url.empty() && !item.url.starts_with("https://") &&
            !item.url.starts_with("http://")) {
            check_.refuse(keyPath(at, "url"), "expected an address starting with https://");
        }
        result.sources.push_back(std::move(item));
    }
    result.notes = optionalText(json, path, "notes");
    for (const auto& [dose, at] : list(json, path, "publishedDoses", 100)) {
        check_.object(*dose, at, {"value", "voiding", "source", "recalled"});
        PublishedDose item;
        item.value = number(*dose, at, "value", 0.0, kHuge, "a dose of 0 or more (mGy/MBq)");
        item.voiding = requiredText(*dose, at, "voiding");
        item.source = requiredText(*dose, at, "source");
        const Json* recalled = findKey(*dose, "recalled");
        item.recalled = recalled && check_.flag(*recalled, keyPath(at, "recalled"));
        result.publishedDoses.push_back(std::move(item));
    }
    for (const auto& [point, at] : list(json, path, "fittedPoints", 100)) {
        check_.object(*point, at, {"time", "excreted"});
        ExcretionPoint item;
        item.time = number(*point, at, "time", 0.0, kHuge, "a time of 0 or more (min)");
        item.excreted = number(*point, at, "excreted", 0.0, 1.0, "a fraction from 0 to 1");
        result.fittedPoints.push_back(item);
    }
    result.warnings = texts(json, path, "warnings");
    for (std::string& warning : result.warnings) warning = replaceControlCharacters(warning);
    return result;
}

std::vector<LibraryEntry> LibraryReader::entries(const Json& document) const {
    check_.object(document, "", {"format", "version", "entries"});
    if (requiredText(document, "", "format") != kFormat) {
        check_.refuse("format", "expected \"" + std::string(kFormat) + "\"");
    }
    if (number(document, "", "version", 1, 1e9, "a whole version number") != kFormatVersion) {
        check_.refuse("version", "this program reads version " + std::to_string(kFormatVersion));
    }
    check_.require(document, "", "entries");
    std::vector<LibraryEntry> entries;
    EntryIndex index;
    for (const auto& [json, path] : list(document, "", "entries", 100000)) {
        LibraryEntry entry = this->entry(*json, path);
        std::vector<std::string> names = entry.aliases;
        names.push_back(entry.name());
        for (const std::string& name : names) {
            if (const std::optional<std::size_t> other = index.find(name)) {
                check_.refuse(path, "\"" + name + "\" is already the name or an alias of \"" +
                                        entries[*other].name() + "\"");
            }
        }
        index.add(entry, entries.size());
        entries.push_back(std::move(entry));
    }
    return entries;
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

std::vector<LibraryEntry> parseLibraryFile(std::string_view text, const std::string& fileName) {
    // The reader's refusals, in the data files' error: file, position or key path, reason.
    try {
        return LibraryReader(fileName).entries(parseJson(text, fileName));
    } catch (const JsonError& error) {
        throw DataFileError(fileName, error.position(), error.reason());
    }
}

std::vector<LibraryEntry> loadLibraryFile(const std::filesystem::path& file) {
    std::string text;
    try {
        text = readJsonFileText(file);
    } catch (const FileReadError& error) {
        throw DataFileError(error.file(), "", error.reason());
    }
    return parseLibraryFile(text, file.string());
}

std::string libraryFileText(const std::vector<LibraryEntry>& entries) {
    OrderedJson document;
    document["format"] = kFormat;
    document["version"] = kFormatVersion;
    document["entries"] = OrderedJson::array();
    for (const LibraryEntry& entry : entries) document["entries"].push_back(entryJson(entry));
    return document.dump(2) + "\n";
}

}  // namespace orvane
