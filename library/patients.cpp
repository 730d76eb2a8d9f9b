#include "library/patients.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <type_traits>

#include "engine/numtext.h"
#include "engine/scenario.h"
#include "library/file_text.h"
#include "library/json_reader.h"
#include "library/standards.h"

namespace orvane {
namespace {

using Json = nlohmann::json;
using Sources = std::map<std::string, std::string>;

constexpr std::string_view kFormat = "orvane reference patients";
constexpr int kFormatVersion = 1;
constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;
constexpr double kDayMinutes = 1440.0;

// The values of one JSON object, each named by its key path in refusals (JsonCheck's wording);
// done() refuses the keys never asked for.
class Object {
public:
    Object(const Json& json, std::string path, const JsonCheck& check)
        : json_(json), path_(std::move(path)), check_(check) {
        if (!json_.is_object()) {
            fail(path_, std::string("expected an object, got ") + jsonKindName(json_));
        }
    }
    std::string path(const std::string& key) const { return keyPath(path_, key); }
    const JsonCheck& check() const { return check_; }
    [[noreturn]] void fail(const std::string& path, const std::string& reason) const {
        check_.refuse(path, reason);
    }
    bool has(const std::string& key) {
        asked_.insert(key);
        return findKey(json_, key) != nullptr;
    }
    const Json& at(const std::string& key) {
        asked_.insert(key);
        return check_.require(json_, path_, key);
    }
    Object object(const std::string& key) { return Object(at(key), path(key), check_); }
    std::string text(const std::string& key) {
        std::string text = check_.text(at(key), path(key));
        if (text.empty()) fail(path(key), "expected a text, got an empty one");
        return text;
    }
    bool flag(const std::string& key) { return check_.flag(at(key), path(key)); }
    double positive(const std::string& key, const std::string& unit) {
        const double x = check_.number(at(key), path(key), unit, JsonSign::Positive);
        if (!(x < 1e6)) fail(path(key), "expected less than 1e6 " + unit);
        return x;
    }
    // Refuses keys never asked for: a misspelt key would otherwise be ignored.
    void done() const {
        for (const auto& item : json_.items()) {
            if (!asked_.contains(item.key())) fail(path(item.key()), "unknown key");
        }
    }

private:
    const Json& json_;
    std::string path_;
    const JsonCheck& check_;
    std::set<std::string> asked_;
};

// "HH:MM" as clock minutes.
double readClock(Object& o, const std::string& key) {
    const std::string text = o.text(key);
    const auto digit = [&](std::size_t i) { return text[i] >= '0' && text[i] <= '9'; };
    const bool digits =
        text.size() == 5 && text[2] == ':' && digit(0) && digit(1) && digit(3) && digit(4);
    const int hours = digits ? std::stoi(text.substr(0, 2)) : 99;
    const int minutes = digits ? std::stoi(text.substr(3)) : 99;
    if (hours > 23 || minutes > 59) o.fail(o.path(key), "expected a time of day \"HH:MM\"");
    return hours * 60.0 + minutes;
}

// The sources, confidence, derived flag and basis of a value; closes the object.
Provenance readProvenance(Object& o, const Sources& sources) {
    Provenance p;
    const Json& list = o.check().list(o.at("sources"), o.path("sources"), 100);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string path = indexPath(o.path("sources"), i);
        if (!list[i].is_string() || !sources.contains(list[i].get<std::string>())) {
            o.fail(path, "expected a key of the file's \"sources\", found " + list[i].dump());
        }
        p.sources.push_back(list[i].get<std::string>());
    }
    p.confidence = o.text("confidence");
    if (p.confidence != "H" && p.confidence != "M" && p.confidence != "L") {
        o.fail(o.path("confidence"), "expected \"H\", \"M\" or \"L\"");
    }
    p.derived = o.has("derived") && o.flag("derived");
    p.basis = o.text("basis");
    o.done();
    return p;
}

// {"value": ..., "sources": [...], "confidence": ..., "derived": ..., "basis": ...}
template <typename T>
Sourced<T> readSourced(Object& patient, const std::string& key, const Sources& sources,
                       const std::string& unit) {
    Object o = patient.object(key);
    Sourced<T> result;
    if constexpr (std::is_same_v<T, bool>) {
        result.value = o.flag("value");
    } else {
        result.value = o.positive("value", unit);
    }
    result.provenance = readProvenance(o, sources);
    return result;
}

ReferencePatient readPatient(Object& o, const Sources& sources) {
    ReferencePatient p;
    const Json& age = o.at("age");
    const std::string sex = o.text("sex");
    if (age == "adult") {
        p.age = kAdultAge;
        if (sex != "female" && sex != "male") {
            o.fail(o.path("sex"), "expected \"female\" or \"male\" for an adult");
        }
        p.sex = sexFromText(sex);
    } else {
        p.age = age.is_number() ? age.get<double>() : NAN;
        if (!(p.age >= 0 && p.age < kAdultAge)) {
            o.fail(o.path("age"), "expected an age from 0 to below 18 years, or \"adult\"");
        }
        if (sex != "both") o.fail(o.path("sex"), "expected \"both\": a child's row is for both");
    }
    p.label = o.text("label");
    p.fillRateDay = readSourced<double>(o, "fill_rate_day", sources, "ml/min");
    p.fillRateNight = readSourced<double>(o, "fill_rate_night", sources, "ml/min");
    if (!o.at("night").is_null()) {
        Object night = o.object("night");
        p.night = ReferenceNight{readClock(night, "bedtime"), readClock(night, "wake"), {}};
        const Json& hours = night.at("hours");
        if (!hours.is_number() || hours.get<double>() != p.night->hours()) {
            night.fail(night.path("hours"), "expected the hours from bedtime to wake, " +
                                                formatSignificant(p.night->hours(), 6));
        }
        p.night->provenance = readProvenance(night, sources);
    } else if (p.fillRateNight.value != p.fillRateDay.value) {
        o.fail(o.path("fill_rate_night.value"),
               "expected the day rate: without a night the bladder fills at one rate");
    }
    p.capacity = readSourced<double>(o, "capacity", sources, "ml");
    p.dayInterval = readSourced<double>(o, "day_interval", sources, "min");
    p.nightVoids = readSourced<bool>(o, "night_voids", sources, "");
    p.residualVolume = readSourced<double>(o, "residual_volume", sources, "ml");
    p.initialVolume = readSourced<double>(o, "initial_volume", sources, "ml");
    for (const auto& [key, volume] : {std::pair{"residual_volume", p.residualVolume.value},
                                      std::pair{"initial_volume", p.initialVolume.value}}) {
        if (!(volume < p.capacity.value)) {
            o.fail(o.path(std::string(key) + ".value"), "expected less than the capacity");
        }
    }
    o.done();
    return p;
}

// ---- Between the listed patients ----

std::string years(double age) {
    return age == 1 ? "1 year" : formatSignificant(age, 6) + " years";
}

Provenance blend(const Provenance& a, const Provenance& b, const std::string& note,
                 const std::string& labelA, const std::string& labelB) {
    Provenance p = a;
    for (const std::string& key : b.sources) {
        if (std::find(p.sources.begin(), p.sources.end(), key) == p.sources.end()) {
            p.sources.push_back(key);
        }
    }
    static const std::string kOrder = "LMH";  // the lower confidence of the two
    if (kOrder.find(b.confidence) < kOrder.find(a.confidence)) p.confidence = b.confidence;
    p.derived = a.derived || b.derived;
    if (a.basis != b.basis) p.basis = labelA + ": " + a.basis + "; " + labelB + ": " + b.basis;
    p.interpolated = note;
    return p;
}

// A clock w of the way from a to b, the shorter way round.
double blendClock(double a, double b, double w) {
    const double d = std::fmod(b - a + 1.5 * kDayMinutes, kDayMinutes) - 0.5 * kDayMinutes;
    return std::fmod(a + w * d + kDayMinutes, kDayMinutes);
}

// w of the way from a to b (0 <= w <= 1), every number saying so in `note`; a yes/no value is
// the nearer one's, and halfway yes only if both say yes.
ReferencePatient blend(const ReferencePatient& a, const ReferencePatient& b, double w,
                       const std::string& note) {
    const std::string la = a.label, lb = b.label;
    auto number = [&](const Sourced<double>& x, const Sourced<double>& y) {
        return Sourced<double>{x.value + w * (y.value - x.value),
                               blend(x.provenance, y.provenance, note, la, lb)};
    };
    ReferencePatient p;
    p.age = a.age + w * (b.age - a.age);
    p.fillRateDay = number(a.fillRateDay, b.fillRateDay);
    p.fillRateNight = number(a.fillRateNight, b.fillRateNight);
    p.capacity = number(a.capacity, b.capacity);
    p.dayInterval = number(a.dayInterval, b.dayInterval);
    p.residualVolume = number(a.residualVolume, b.residualVolume);
    p.initialVolume = number(a.initialVolume, b.initialVolume);
    const bool yes = w < 0.5   ? a.nightVoids.value
                     : w > 0.5 ? b.nightVoids.value
                               : a.nightVoids.value && b.nightVoids.value;
    const std::string nearer = w < 0.5 ? la : lb;
    const std::string how = w == 0.5 ? "yes only if both " + la + " and " + lb + " say yes"
                                     : "taken from " + nearer + ", the nearer";
    p.nightVoids = {yes, blend(a.nightVoids.provenance, b.nightVoids.provenance, how, la, lb)};
    if (a.night && b.night) {
        p.night = ReferenceNight{blendClock(a.night->bedtime, b.night->bedtime, w),
                                 blendClock(a.night->wake, b.night->wake, w),
                                 blend(a.night->provenance, b.night->provenance, note, la, lb)};
    } else if (a.night || b.night) {
        p.night = a.night ? a.night : b.night;
        p.night->provenance.interpolated =
            "the clock of " + (a.night ? la : lb) + ", as " + (a.night ? lb : la) + " has no night";
    }
    return p;
}

}  // namespace

Sex sexFromText(std::string_view text) {
    if (text == "female") return Sex::Female;
    if (text == "male") return Sex::Male;
    throw ScenarioError("patient.sex", "expected \"female\" or \"male\", got " + quoteText(text));
}

const char* sexText(Sex sex) {
    return sex == Sex::Female ? "female" : "male";
}

double ReferenceNight::hours() const {
    const double minutes = std::fmod(wake - bedtime + kDayMinutes, kDayMinutes);
    return minutes / 60.0;
}

namespace {

ReferencePatients readPatients(const Json& document, const JsonCheck& check) {
    Object top(document, "", check);
    if (top.text("format") != kFormat) {
        top.fail("format", "expected \"" + std::string(kFormat) + "\"");
    }
    if (top.at("version") != kFormatVersion) {
        top.fail("version", "this program reads version " + std::to_string(kFormatVersion));
    }
    top.text("description");
    Object units = top.object("units");
    for (const auto& item : top.at("units").items()) units.text(item.key());
    units.done();

    ReferencePatients result;
    Object sources = top.object("sources");
    for (const auto& item : top.at("sources").items()) {
        result.sources[item.key()] = sources.text(item.key());
    }
    sources.done();

    const Json& list = check.list(top.at("patients"), "patients", 1000, 0);
    std::optional<ReferencePatient> adults[2];  // woman, man
    for (std::size_t i = 0; i < list.size(); ++i) {
        Object o(list[i], indexPath("patients", i), check);
        ReferencePatient p = readPatient(o, result.sources);
        if (p.sex) {
            auto& slot = adults[*p.sex == Sex::Female ? 0 : 1];
            if (slot) o.fail(o.path("sex"), "a second adult of this sex");
            slot = std::move(p);
        } else if (result.listed.empty() ? p.age != 0 : !(p.age > result.listed.back().age)) {
            o.fail(o.path("age"), result.listed.empty()
                                      ? "expected 0: the children start with the newborn"
                                      : "expected an age above the previous child's");
        } else {
            result.listed.push_back(std::move(p));
        }
    }
    if (result.listed.empty() || !adults[0] || !adults[1]) {
        top.fail("patients", "expected children from age 0, an adult woman and an adult man");
    }
    result.listed.push_back(*adults[0]);
    result.listed.push_back(*adults[1]);
    top.done();
    return result;
}

}  // namespace

ReferencePatients parsePatientsFile(std::string_view text, const std::string& fileName) {
    // The reader's refusals, in the data files' error: file, position or key path, reason.
    try {
        return readPatients(parseJson(text, fileName), JsonCheck(fileName));
    } catch (const JsonError& error) {
        throw DataFileError(fileName, error.position(), error.reason());
    }
}

ReferencePatients loadPatientsFile(const std::filesystem::path& file) {
    return parsePatientsFile(readDataFileText(file, kMaxFileBytes, "reference patients"),
                             file.string());
}

std::filesystem::path patientsFilePathFor(const std::filesystem::path& executableDirectory) {
    return (executableDirectory / ".." / "share" / "orvane" / "patients.json").lexically_normal();
}

ReferencePatient referencePatient(const ReferencePatients& patients, double age,
                                  std::optional<Sex> sex) {
    if (!(age >= 0 && age <= kMaxPatientAge)) {
        throw ScenarioError("patient.age", "expected an age from 0 to " +
                                               formatSignificant(kMaxPatientAge, 6) +
                                               " years, got " + formatSignificant(age, 6));
    }
    // The listed children by ascending age, then the woman and the man.
    const std::vector<ReferencePatient>& listed = patients.listed;
    if (listed.size() < 3) throw std::invalid_argument("no reference patients were read");
    const std::size_t children = listed.size() - 2;
    ReferencePatient adult =
        sex ? listed[children + (*sex == Sex::Female ? 0 : 1)]
            : blend(listed[children], listed[children + 1], 0.5, "mean of the adult woman and man");
    if (!sex) adult.label = "Adult, mean of woman and man";
    if (age >= kAdultAge) {
        adult.age = age;
        return adult;
    }
    std::size_t i = children - 1;
    while (listed[i].age > age) --i;
    if (listed[i].age == age) return listed[i];
    const ReferencePatient& a = listed[i];
    const ReferencePatient& b = i + 1 < children ? listed[i + 1] : adult;
    auto name = [](const ReferencePatient& p) {
        std::string text = p.label;
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return p.age >= kAdultAge ? text + " (from " + years(kAdultAge) + ")" : text;
    };
    ReferencePatient p =
        blend(a, b, (age - a.age) / (b.age - a.age),
              "interpolated linearly at " + years(age) + " between " + name(a) + " and " + name(b));
    p.age = age;
    p.sex = b.sex;
    p.label = years(age);
    return p;
}

std::vector<std::pair<std::string, const Provenance*>> provenances(const ReferencePatient& p) {
    std::vector<std::pair<std::string, const Provenance*>> list{
        {"fill_rate_day", &p.fillRateDay.provenance},
        {"fill_rate_night", &p.fillRateNight.provenance},
        {"capacity", &p.capacity.provenance},
        {"day_interval", &p.dayInterval.provenance},
        {"night_voids", &p.nightVoids.provenance},
        {"residual_volume", &p.residualVolume.provenance},
        {"initial_volume", &p.initialVolume.provenance}};
    if (p.night) list.insert(list.begin() + 2, {"night", &p.night->provenance});
    return list;
}

}  // namespace orvane
