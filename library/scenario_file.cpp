#include "library/scenario_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "engine/scenario_events.h"
#include "engine/voiding_clock.h"
#include "library/names.h"

namespace orvane {
namespace {

using nlohmann::json;

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
    throw ScenarioError(path, reason);
}

std::string join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string indexed(const std::string& path, std::size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

const char* typeName(const json& value) {
    switch (value.type()) {
        case json::value_t::object:
            return "an object";
        case json::value_t::array:
            return "a list";
        case json::value_t::string:
            return "a text";
        case json::value_t::boolean:
            return "true or false";
        case json::value_t::null:
            return "null";
        default:
            return "a number";
    }
}

// An object whose keys are all among `known`; refuses with the first unknown key's path.
const json& object(const json& value, const std::string& path,
                   std::initializer_list<std::string_view> known,
                   const std::vector<std::string>& more = {}) {
    if (!value.is_object()) refuse(path, std::string("expected an object, got ") + typeName(value));
    for (const auto& [key, item] : value.items()) {
        const bool ok = std::find(known.begin(), known.end(), key) != known.end() ||
                        std::find(more.begin(), more.end(), key) != more.end();
        if (!ok) {
            std::string list;
            for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
            refuse(join(path, key), "unknown key; expected one of " + list);
        }
    }
    return value;
}

const json* find(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const json& require(const json& object, const std::string& path, const char* key) {
    const json* value = find(object, key);
    if (!value) refuse(join(path, key), "missing; this key is required here");
    return *value;
}

// A finite number of at least `least` (and above it when `strict`).
double number(const json& value, const std::string& path, const char* unit, bool strict = false) {
    if (!value.is_number()) {
        refuse(path, std::string("expected a number (") + unit + "), got " + typeName(value));
    }
    const double x = value.get<double>();
    if (!std::isfinite(x)) refuse(path, std::string("expected a finite number (") + unit + ")");
    if (x < 0 || (strict && x == 0)) {
        refuse(path, std::string("expected a ") + (strict ? "positive" : "non-negative") +
                         " number (" + unit + ")");
    }
    return x;
}

std::optional<double> optionalNumber(const json& object, const std::string& path, const char* key,
                                     const char* unit, bool strict = false) {
    const json* value = find(object, key);
    if (!value) return std::nullopt;
    return number(*value, join(path, key), unit, strict);
}

std::string text(const json& value, const std::string& path) {
    if (!value.is_string()) refuse(path, std::string("expected a text, got ") + typeName(value));
    return value.get<std::string>();
}

double clock(const json& value, const std::string& path) {
    const auto parsed = value.is_string() ? parseClockText(value.get<std::string>()) : std::nullopt;
    if (!parsed) refuse(path, "expected a time of day as \"HH:MM\" (00:00 to 23:59)");
    return *parsed;
}

std::optional<double> optionalClock(const json& object, const std::string& path, const char* key) {
    const json* value = find(object, key);
    if (!value) return std::nullopt;
    return clock(*value, join(path, key));
}

const json& list(const json& value, const std::string& path, std::size_t most) {
    if (!value.is_array()) refuse(path, std::string("expected a list, got ") + typeName(value));
    if (value.empty()) refuse(path, "expected at least one entry");
    if (value.size() > most) refuse(path, "expected at most " + std::to_string(most) + " entries");
    return value;
}

int standardIndex(const json& value, const std::string& path) {
    if (value.is_number_integer() || value.is_number_unsigned()) {
        const long long index = value.get<long long>();
        if (index >= 0 && index < kStandardCount) return static_cast<int>(index);
    } else if (value.is_string()) {
        const std::string name = value.get<std::string>();
        for (int i = 0; i < kStandardCount; ++i) {
            if (sameName(name, kStandardNames[i])) return i;
        }
    }
    refuse(path,
           "expected a standard's index 0 to 19 or its name as listed (e.g. \"Tc-99m "
           "MAG3\")");
}

ModelParameters radiopharmaceutical(const json& value, const StandardData& data,
                                    const ScenarioReadOptions& options) {
    const std::string path = "radiopharmaceutical";
    if (!value.is_object()) refuse(path, std::string("expected an object, got ") + typeName(value));
    if (const json* standard = find(value, "standard")) {
        object(value, path, {"standard", "name"});
        const StandardFieldTexts texts =
            standardFieldTexts(data.library[standardIndex(*standard, join(path, "standard"))]);
        const json* name = find(value, "name");
        return readModelParameters(texts.fields,
                                   name ? text(*name, join(path, "name")) : texts.name);
    }
    if (const json* entry = find(value, "library")) {
        object(value, path, {"library", "name"});
        const std::string key = text(*entry, join(path, "library"));
        if (!options.library)
            refuse(join(path, "library"), "no radiopharmaceutical library is available here");
        ModelParameters p;
        try {
            p = options.library(key);
        } catch (const std::exception& e) {
            refuse(join(path, "library"), e.what());
        }
        if (const json* name = find(value, "name")) p.name = text(*name, join(path, "name"));
        return p;
    }
    object(value, path,
           {"standard", "library", "components", "physical_half_life", "delta", "gamma", "name"});
    ModelParameters p;
    if (const json* name = find(value, "name")) p.name = text(*name, join(path, "name"));
    const std::string componentsPath = join(path, "components");
    const json& components =
        list(require(value, path, "components"), componentsPath, kComponentCount);
    for (std::size_t c = 0; c < components.size(); ++c) {
        const std::string at = indexed(componentsPath, c);
        const json& component =
            object(components[c], at, {"fraction", "rate_constant", "half_life"});
        p.fraction[c] = number(require(component, at, "fraction"), join(at, "fraction"), "-");
        p.rateConstant[c] =
            number(require(component, at, "rate_constant"), join(at, "rate_constant"), "min^-1");
        p.biologicalHalfLife[c] =
            optionalNumber(component, at, "half_life", "min")
                .value_or(p.rateConstant[c] > 0 ? kDecayNumerator / p.rateConstant[c] : 0.0);
    }
    p.physicalHalfLife = number(require(value, path, "physical_half_life"),
                                join(path, "physical_half_life"), "min", true);
    p.physicalDecayConstant = kDecayNumerator / p.physicalHalfLife;
    p.deltaScaled = scaleEmissionConstant(
        number(require(value, path, "delta"), join(path, "delta"), "mGy-kg/MBq-s"));
    p.gammaScaled = scaleEmissionConstant(
        number(require(value, path, "gamma"), join(path, "gamma"), "mGy-cm^2/MBq-s"));
    return p;
}

FillRatePattern fillRate(const json& value) {
    const std::string path = "fill_rate";
    FillRatePattern f;
    if (find(value, "steps")) {
        object(value, path, {"steps"});
        const std::string at = join(path, "steps");
        const json& steps = list(value["steps"], at, kMaxScenarioVoids);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const std::string stepPath = indexed(at, i);
            const json& step = object(steps[i], stepPath, {"from", "rate"});
            f.steps.push_back(
                {number(require(step, stepPath, "from"), join(stepPath, "from"), "min"),
                 number(require(step, stepPath, "rate"), join(stepPath, "rate"), "ml/min")});
        }
        return f;
    }
    object(value, path, {"day", "night", "night_from", "night_to", "steps"});
    f.dayRate = number(require(value, path, "day"), join(path, "day"), "ml/min");
    f.nightRate = optionalNumber(value, path, "night", "ml/min").value_or(f.dayRate / 2);
    f.nightFrom = optionalClock(value, path, "night_from").value_or(f.nightFrom);
    f.nightTo = optionalClock(value, path, "night_to").value_or(f.nightTo);
    return f;
}

RegularVoiding regular(const json& value, const std::string& path, const FillRatePattern& fill) {
    RegularVoiding r;
    r.interval = number(require(value, path, "interval"), join(path, "interval"), "min", true);
    r.bedtime = optionalClock(value, path, "bedtime").value_or(fill.nightFrom);
    r.wake = optionalClock(value, path, "wake").value_or(fill.nightTo);
    return r;
}

VoidingPattern voiding(const json& value, const FillRatePattern& fill) {
    const std::string path = "voiding";
    VoidingPattern v;
    if (!value.is_object()) refuse(path, std::string("expected an object, got ") + typeName(value));
    const json* pattern = find(value, "pattern");
    const std::string kind = pattern ? text(*pattern, join(path, "pattern")) : "diary";
    if (kind == "table") {
        object(value, path, {"pattern", "first_void", "intervals"});
        v.kind = VoidingKind::Table;
        v.firstVoid =
            number(require(value, path, "first_void"), join(path, "first_void"), "min", true);
        if (const json* n = find(value, "intervals")) {
            const double count = number(*n, join(path, "intervals"), "intervals", true);
            if (count != std::floor(count) || count > kMaxScenarioVoids) {
                refuse(join(path, "intervals"),
                       "expected a whole number from 1 to " + std::to_string(kMaxScenarioVoids));
            }
            v.tableIntervals = static_cast<int>(count);
        }
    } else if (kind == "regular") {
        object(value, path, {"pattern", "first_void", "interval", "bedtime", "wake"});
        v.kind = VoidingKind::Regular;
        v.firstVoid =
            number(require(value, path, "first_void"), join(path, "first_void"), "min", true);
        v.regular = regular(value, path, fill);
    } else if (kind == "diary") {
        object(value, path, {"pattern", "voids", "then"});
        v.kind = VoidingKind::Diary;
        const std::string at = join(path, "voids");
        const json& voids = list(require(value, path, "voids"), at, kMaxScenarioVoids);
        for (std::size_t i = 0; i < voids.size(); ++i) {
            const std::string voidPath = indexed(at, i);
            DiaryVoid d;
            if (voids[i].is_object()) {
                object(voids[i], voidPath, {"at", "residual"});
                d.at = number(require(voids[i], voidPath, "at"), join(voidPath, "at"), "min", true);
                d.residual = optionalNumber(voids[i], voidPath, "residual", "ml", true);
            } else {
                d.at = number(voids[i], voidPath, "min", true);
            }
            v.voids.push_back(d);
        }
        if (const json* then = find(value, "then")) {
            const std::string thenPath = join(path, "then");
            object(*then, thenPath, {"interval", "bedtime", "wake"});
            v.then = true;
            v.regular = regular(*then, thenPath, fill);
        }
    } else {
        refuse(join(path, "pattern"), "expected \"table\", \"regular\" or \"diary\"");
    }
    return v;
}

std::string position(std::string_view text, std::size_t byte) {
    byte = std::min(byte, text.size());
    const auto line = std::count(text.begin(), text.begin() + byte, '\n') + 1;
    const auto lineStart = text.rfind('\n', byte == 0 ? 0 : byte - 1);
    const std::size_t column = lineStart == std::string_view::npos ? byte : byte - lineStart - 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column + 1);
}

std::string clockJson(double clock) {
    return clockText(clock);
}

}  // namespace

std::optional<double> parseClockText(std::string_view t) {
    auto digit = [&](std::size_t i) { return t[i] >= '0' && t[i] <= '9'; };
    if (t.size() != 5 || t[2] != ':' || !digit(0) || !digit(1) || !digit(3) || !digit(4)) {
        return std::nullopt;
    }
    const int hours = (t[0] - '0') * 10 + (t[1] - '0');
    const int minutes = (t[3] - '0') * 10 + (t[4] - '0');
    if (hours > 23 || minutes > 59) return std::nullopt;
    return hours * 60.0 + minutes;
}

json parseScenarioJson(std::string_view text) {
    // Where the parser is, as a key path, and the keys of every open object: a key given twice
    // is refused (the parser would keep the last), and a number too large for a double is
    // refused at its path.
    struct Level {
        bool array = false;
        std::string key;
        std::size_t index = 0;
        std::set<std::string> keys;
    };
    std::vector<Level> levels;
    auto here = [&] {
        std::string path;
        for (const Level& level : levels) {
            if (level.array) {
                path += "[" + std::to_string(level.index) + "]";
            } else if (!level.key.empty()) {
                path += (path.empty() ? "" : ".") + level.key;
            }
        }
        return path;
    };
    std::optional<std::string> duplicate;
    const json::parser_callback_t callback = [&](int, json::parse_event_t event, json& parsed) {
        switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                levels.push_back({event == json::parse_event_t::array_start, {}, 0, {}});
                break;
            case json::parse_event_t::key:
                levels.back().key = parsed.get<std::string>();
                if (!levels.back().keys.insert(levels.back().key).second && !duplicate) {
                    duplicate = here();
                }
                break;
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                levels.pop_back();
                [[fallthrough]];
            case json::parse_event_t::value:
                if (!levels.empty() && levels.back().array) ++levels.back().index;
                break;
        }
        return true;
    };
    json document;
    try {
        document = json::parse(text.begin(), text.end(), callback);
    } catch (const json::parse_error& e) {
        std::string reason = e.what();
        const auto colon = reason.rfind(": ");
        if (colon != std::string::npos) reason.erase(0, colon + 2);
        throw ScenarioError(position(text, e.byte == 0 ? 0 : e.byte - 1),
                            "not valid JSON: " + reason);
    } catch (const json::exception&) {
        throw ScenarioError(here(), "expected a finite number");
    }
    if (duplicate) throw ScenarioError(*duplicate, "the key is given twice in one object");
    return document;
}

Scenario scenarioFromJson(const json& document, const StandardData& data,
                          const ScenarioReadOptions& options) {
    object(document, "",
           {"name", "radiopharmaceutical", "administration_time", "initial_volume",
            "residual_volume", "administered_activity", "fill_rate", "voiding", "end_time"},
           options.sections);
    Scenario s;
    if (const json* name = find(document, "name")) s.name = text(*name, "name");
    s.radiopharmaceutical =
        radiopharmaceutical(require(document, "", "radiopharmaceutical"), data, options);
    s.administrationClock =
        optionalClock(document, "", "administration_time").value_or(s.administrationClock);
    s.initialVolume = number(require(document, "", "initial_volume"), "initial_volume", "ml", true);
    s.residualVolume =
        optionalNumber(document, "", "residual_volume", "ml", true).value_or(s.residualVolume);
    s.administeredActivity = optionalNumber(document, "", "administered_activity", "MBq", true);
    s.fillRate = fillRate(require(document, "", "fill_rate"));
    s.voiding = voiding(require(document, "", "voiding"), s.fillRate);
    s.endTime = optionalNumber(document, "", "end_time", "min", true);
    // What only the voids reveal (a residual above the volume at its void, too many voids)
    // is refused here too, so that nothing is ever computed from a refused file.
    checkScenario(s);
    ScenarioEvents events;
    buildScenarioEvents(s, events);
    return s;
}

Scenario parseScenario(std::string_view text, const StandardData& data,
                       const ScenarioReadOptions& options) {
    return scenarioFromJson(parseScenarioJson(text), data, options);
}

std::string readScenarioText(const std::filesystem::path& file) {
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        throw ScenarioFileError(file.string() + ": is a folder, not a scenario file");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw ScenarioFileError(file.string() + ": cannot be read (" + std::strerror(errno) + ")");
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw ScenarioFileError(file.string() + ": reading failed");
    return content.str();
}

json scenarioToJson(const Scenario& s) {
    const ModelParameters& p = s.radiopharmaceutical;
    json components = json::array();
    for (int c = 0; c < kComponentCount; ++c) {
        if (p.fraction[c] == 0 && p.rateConstant[c] == 0 && p.biologicalHalfLife[c] == 0) continue;
        components.push_back({{"fraction", p.fraction[c]},
                              {"rate_constant", p.rateConstant[c]},
                              {"half_life", p.biologicalHalfLife[c]}});
    }
    json document = {
        {"name", s.name},
        {"radiopharmaceutical",
         {{"name", p.name},
          {"components", components},
          {"physical_half_life", p.physicalHalfLife},
          {"delta", unscaleEmissionConstant(p.deltaScaled)},
          {"gamma", unscaleEmissionConstant(p.gammaScaled)}}},
        {"administration_time", clockJson(s.administrationClock)},
        {"initial_volume", s.initialVolume},
        {"residual_volume", s.residualVolume},
    };
    if (s.administeredActivity) document["administered_activity"] = *s.administeredActivity;
    const FillRatePattern& f = s.fillRate;
    if (f.steps.empty()) {
        document["fill_rate"] = {{"day", f.dayRate},
                                 {"night", f.nightRate},
                                 {"night_from", clockJson(f.nightFrom)},
                                 {"night_to", clockJson(f.nightTo)}};
    } else {
        json steps = json::array();
        for (const FillStep& step : f.steps)
            steps.push_back({{"from", step.from}, {"rate", step.rate}});
        document["fill_rate"] = {{"steps", steps}};
    }
    const VoidingPattern& v = s.voiding;
    auto regularJson = [&](json& target) {
        target["interval"] = v.regular.interval;
        target["bedtime"] = clockJson(v.regular.bedtime);
        target["wake"] = clockJson(v.regular.wake);
        if (v.capacity) target["capacity"] = *v.capacity;
    };
    json voidingJson;
    switch (v.kind) {
        case VoidingKind::Table:
            voidingJson = {{"pattern", "table"}, {"first_void", v.firstVoid}};
            if (v.tableIntervals) voidingJson["intervals"] = *v.tableIntervals;
            break;
        case VoidingKind::Regular:
            voidingJson = {{"pattern", "regular"}, {"first_void", v.firstVoid}};
            regularJson(voidingJson);
            break;
        case VoidingKind::Diary: {
            json voids = json::array();
            for (const DiaryVoid& d : v.voids) {
                if (d.residual) {
                    voids.push_back({{"at", d.at}, {"residual", *d.residual}});
                } else {
                    voids.push_back(d.at);
                }
            }
            voidingJson = {{"pattern", "diary"}, {"voids", voids}};
            if (v.then) regularJson(voidingJson["then"]);
            break;
        }
        case VoidingKind::Capacity:
            voidingJson = {{"pattern", "capacity"}, {"capacity", v.capacity.value_or(0.0)}};
            break;
    }
    document["voiding"] = voidingJson;
    if (s.endTime) document["end_time"] = *s.endTime;
    return document;
}

}  // namespace orvane
