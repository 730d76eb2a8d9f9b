#include "library/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

namespace orvane {
namespace {

using Json = nlohmann::json;

std::string joinMessage(const std::string& file, const std::string& position,
                        const std::string& reason) {
    std::string message = file.empty() ? "" : file + ": ";
    return message + (position.empty() ? reason : position + ": " + reason);
}

// "line L, column C" (1-based) of a byte offset.
std::string lineAndColumn(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const auto line = std::count(before.begin(), before.end(), '\n') + 1;
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t column =
        lineStart == std::string_view::npos ? offset + 1 : offset - lineStart;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Where the parser is, as a key path, and the keys of every open object: a key given twice is
// refused (the parser would keep the last one), and a number beyond a double is refused at
// its path.
class KeyTracker {
public:
    explicit KeyTracker(const std::string& file) : file_(file) {}

    void open(bool array) { levels_.push_back({array, {}, 0, {}}); }
    void key(const std::string& key) {
        levels_.back().key = key;
        if (!levels_.back().keys.insert(key).second) {
            throw JsonError(file_, path(), "the key is given twice in one object");
        }
    }
    void close() {
        levels_.pop_back();
        valueDone();
    }
    void valueDone() {
        if (!levels_.empty() && levels_.back().array) ++levels_.back().index;
    }

    // The path of the value being read.
    std::string path() const {
        std::string text;
        for (const Level& level : levels_) {
            if (level.array) {
                text = indexPath(text, level.index);
            } else if (!level.key.empty()) {
                text = keyPath(text, level.key);
            }
        }
        return text;
    }

private:
    struct Level {
        bool array = false;
        std::string key;
        std::size_t index = 0;
        std::set<std::string> keys;
    };
    const std::string& file_;
    std::vector<Level> levels_;
};

// The parser's events, handed to its own document builder while the tracker follows the
// path. (A parse with a callback would walk each finished list again for discarded values,
// which makes a library of n entries take time in n squared.)
class TrackingBuilder {
public:
    TrackingBuilder(Json& result, KeyTracker& tracker) : dom_(result, true), tracker_(tracker) {}

    bool null() { return value(dom_.null()); }
    bool boolean(bool v) { return value(dom_.boolean(v)); }
    bool number_integer(Json::number_integer_t v) { return value(dom_.number_integer(v)); }
    bool number_unsigned(Json::number_unsigned_t v) { return value(dom_.number_unsigned(v)); }
    bool number_float(Json::number_float_t v, const std::string& s) {
        return value(dom_.number_float(v, s));
    }
    bool string(Json::string_t& v) { return value(dom_.string(v)); }
    bool binary(Json::binary_t& v) { return value(dom_.binary(v)); }
    bool start_object(std::size_t n) {
        tracker_.open(false);
        return dom_.start_object(n);
    }
    bool key(Json::string_t& k) {
        tracker_.key(k);
        return dom_.key(k);
    }
    bool end_object() {
        tracker_.close();
        return dom_.end_object();
    }
    bool start_array(std::size_t n) {
        tracker_.open(true);
        return dom_.start_array(n);
    }
    bool end_array() {
        tracker_.close();
        return dom_.end_array();
    }
    template <typename Exception>
    bool parse_error(std::size_t position, const std::string& token, const Exception& e) {
        return dom_.parse_error(position, token, e);
    }

private:
    bool value(bool ok) {
        tracker_.valueDone();
        return ok;
    }
    nlohmann::detail::json_sax_dom_parser<Json> dom_;
    KeyTracker& tracker_;
};

std::string expectedRange(std::uint64_t lowest, std::uint64_t highest) {
    return "expected a whole number from " + std::to_string(lowest) + " to " +
           std::to_string(highest);
}

}  // namespace

JsonError::JsonError(const std::string& file, const std::string& position,
                     const std::string& reason)
    : ScenarioError(position, reason), file_(file), message_(joinMessage(file, position, reason)) {}

std::string readJsonFileText(const std::filesystem::path& file) {
    return readRegularFileText(file, kMaxJsonFileBytes, "content of a scenario or library file");
}

std::string readJsonStreamText(std::istream& in, const std::string& name) {
    return readStreamText(in, name, kMaxJsonFileBytes, "content of a scenario or library file");
}

Json parseJson(std::string_view text, const std::string& file) {
    // The parser takes a NUL byte for the end of the text and would ignore what follows.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        throw JsonError(file, lineAndColumn(text, nul),
                        "a NUL byte; a JSON file is text and holds none");
    }
    KeyTracker tracker(file);
    try {
        Json result;
        TrackingBuilder builder(result, tracker);
        Json::sax_parse(text.begin(), text.end(), &builder);
        return result;
    } catch (const Json::parse_error& error) {
        // The parser's message repeats the position; keep what it found and expected.
        std::string reason = error.what();
        const std::size_t detail = reason.find("syntax error");
        reason = detail == std::string::npos ? reason : reason.substr(detail);
        if (reason.find("; expected end of input") != std::string::npos) {
            reason = "content after the end of the JSON document";
        } else {
            reason = "not valid JSON: " + reason;
        }
        throw JsonError(file, lineAndColumn(text, error.byte == 0 ? 0 : error.byte - 1), reason);
    } catch (const Json::out_of_range&) {
        throw JsonError(file, tracker.path(), "expected a finite number (beyond a double)");
    }
}

// Both are made for every value read (a refusal names its path), so with one allocation each.
std::string keyPath(const std::string& path, std::string_view key) {
    if (key.empty()) return path;
    if (path.empty()) return std::string(key);
    std::string at;
    at.reserve(path.size() + 1 + key.size());
    return at.append(path).append(1, '.').append(key);
}

std::string indexPath(const std::string& path, std::size_t index) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, index).ptr;
    std::string at;
    at.reserve(path.size() + 2 + static_cast<std::size_t>(end - digits));
    return at.append(path)
        .append(1, '[')
        .append(digits, static_cast<std::size_t>(end - digits))
        .append(1, ']');
}

const char* jsonKindName(const Json& value) {
    switch (value.type()) {
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "a list";
        case Json::value_t::string:
            return "a text";
        case Json::value_t::boolean:
            return "true or false";
        case Json::value_t::null:
            return "null";
        default:
            return "a number";
    }
}

const Json* findKey(const Json& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

void JsonCheck::refuse(const std::string& path, const std::string& reason) const {
    throw JsonError(file_, path, reason);
}

const Json& JsonCheck::object(const Json& value, const std::string& path,
                              std::initializer_list<std::string_view> known,
                              const std::vector<std::string>& more) const {
    std::vector<std::string_view> all(known);
    all.insert(all.end(), more.begin(), more.end());
    return object(value, path, all);
}

const Json& JsonCheck::object(const Json& value, const std::string& path,
                              const std::vector<std::string_view>& known) const {
    if (!value.is_object()) {
        refuse(path, std::string("expected an object, got ") + jsonKindName(value));
    }
    for (const auto& [key, item] : value.items()) {
        if (std::find(known.begin(), known.end(), key) != known.end()) continue;
        std::string list;
        for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
        refuse(keyPath(path, key), "unknown key; expected one of " + list);
    }
    return value;
}

const Json& JsonCheck::require(const Json& object, const std::string& path,
                               std::string_view key) const {
    const Json* value = findKey(object, key);
    if (!value) missing(keyPath(path, key));
    return *value;
}

void JsonCheck::missing(const std::string& path) const {
    refuse(path, "missing; this key is required here");
}

double JsonCheck::number(const Json& value, const std::string& path, std::string_view unit,
                         JsonSign sign) const {
    const std::string units = unit.empty() ? "" : " (" + std::string(unit) + ")";
    if (!value.is_number()) {
        refuse(path, "expected a number" + units + ", got " + jsonKindName(value));
    }
    const double x = value.get<double>();
    if (!std::isfinite(x)) refuse(path, "expected a finite number" + units);
    if ((sign == JsonSign::NonNegative && x < 0) || (sign == JsonSign::Positive && !(x > 0))) {
        refuse(path, std::string("expected a ") +
                         (sign == JsonSign::Positive ? "positive" : "non-negative") + " number" +
                         units);
    }
    return x;
}

std::optional<double> JsonCheck::optionalNumber(const Json& object, const std::string& path,
                                                std::string_view key, std::string_view unit,
                                                JsonSign sign) const {
    const Json* value = findKey(object, key);
    if (!value) return std::nullopt;
    return number(*value, keyPath(path, key), unit, sign);
}

double JsonCheck::numberIn(const Json& value, const std::string& path, double low, double high,
                           const std::string& expected) const {
    if (!value.is_number()) {
        refuse(path, "expected a number (" + expected + "), got " + jsonKindName(value));
    }
    const double x = value.get<double>();
    if (!std::isfinite(x) || x < low || x > high) {
        refuse(path, "expected " + expected + ", found " + value.dump());
    }
    return x;
}

std::uint64_t JsonCheck::integer(const Json& value, const std::string& path, std::uint64_t lowest,
                                 std::uint64_t highest) const {
    // A whole number written with a point (3.0) counts while a double holds it exactly.
    const double whole = value.is_number_float() ? value.get<double>() : -1;
    const bool wholeFloat = whole >= 0 && whole <= 0x1p53 && whole == std::floor(whole);
    const bool negative =
        value.is_number_integer() && !value.is_number_unsigned() && value.get<std::int64_t>() < 0;
    if ((!value.is_number_integer() && !wholeFloat) || negative) {
        refuse(path, expectedRange(lowest, highest));
    }
    const std::uint64_t n =
        wholeFloat ? static_cast<std::uint64_t>(whole) : value.get<std::uint64_t>();
    if (n < lowest || n > highest) refuse(path, expectedRange(lowest, highest));
    return n;
}

std::string JsonCheck::text(const Json& value, const std::string& path) const {
    if (!value.is_string())
        refuse(path, std::string("expected a text, got ") + jsonKindName(value));
    return value.get<std::string>();
}

std::optional<std::string> JsonCheck::optionalText(const Json& object, const std::string& path,
                                                   std::string_view key) const {
    const Json* value = findKey(object, key);
    if (!value) return std::nullopt;
    return text(*value, keyPath(path, key));
}

bool JsonCheck::flag(const Json& value, const std::string& path) const {
    if (!value.is_boolean()) {
        refuse(path, std::string("expected true or false, got ") + jsonKindName(value));
    }
    return value.get<bool>();
}

const Json& JsonCheck::list(const Json& value, const std::string& path, std::size_t most,
                            std::size_t least) const {
    if (!value.is_array()) refuse(path, std::string("expected a list, got ") + jsonKindName(value));
    if (value.size() < least) {
        refuse(path, least == 1 ? std::string("expected at least one entry")
                                : "expected at least " + std::to_string(least) + " entries");
    }
    if (value.size() > most) refuse(path, "expected at most " + std::to_string(most) + " entries");
    return value;
}

}  // namespace orvane
