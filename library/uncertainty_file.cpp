#include "library/uncertainty_file.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <regex>
#include <utility>

#include "library/json_reader.h"
#include "library/scenario_schema.h"

namespace orvane {

namespace {

using Json = nlohmann::json;
using namespace schema;

const JsonCheck check;

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
    check.refuse(path, reason);
}

double number(const Json& value, const std::string& path) {
    return check.number(value, path, "", JsonSign::Any);
}

// Reads the members of an object into the named slots; an unknown member is refused.
void readMembers(const Json& object, const std::string& path,
                 const std::vector<std::pair<std::string_view, double*>>& slots) {
    std::vector<std::string_view> names;
    for (const auto& slot : slots) names.push_back(slot.first);
    check.object(object, path, names);
    for (const auto& [name, target] : slots) {
        if (const Json* value = findKey(object, name))
            *target = number(*value, keyPath(path, name));
    }
}

// {"normal": {...}}, {"lognormal": {...}}, {"uniform": [a, b] or {...}},
// {"triangular": [a, mode, b] or {...}}; centre defaults to the scenario's value.
Distribution readDistribution(const Json& entry, const std::string& path, double own) {
    if (!entry.is_object() || entry.size() != 1)
        refuse(path,
               "expected one of {\"normal\": ...}, {\"lognormal\": ...}, {\"uniform\": ...}, "
               "{\"triangular\": ...}");
    const std::string kind = entry.begin().key();
    const Json& body = entry.begin().value();
    const std::string at = keyPath(path, kind);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Distribution d;
    double low = nan, mode = nan, high = nan;
    if (kind == kNormal || kind == kLognormal) {
        const bool normal = kind == kNormal;
        d.kind = normal ? DistributionKind::Normal : DistributionKind::Lognormal;
        d.a = own;
        d.b = nan;
        readMembers(body, at,
                    {{normal ? kMean : kMedian, &d.a},
                     {normal ? kSd : kGsd, &d.b},
                     {kMin, &d.min},
                     {kMax, &d.max}});
        if (std::isnan(d.b)) check.missing(keyPath(at, normal ? kSd : kGsd));
    } else if (kind == kUniform || kind == kTriangular) {
        const bool uniform = kind == kUniform;
        d.kind = uniform ? DistributionKind::Uniform : DistributionKind::Triangular;
        const std::size_t width = uniform ? 2 : 3;
        if (body.is_array()) {
            if (body.size() != width)
                refuse(at,
                       uniform ? "expected [lowest, highest]" : "expected [lowest, mode, highest]");
            low = number(body[0], indexPath(at, 0));
            mode = uniform ? nan : number(body[1], indexPath(at, 1));
            high = number(body[width - 1], indexPath(at, width - 1));
        } else {
            std::vector<std::pair<std::string_view, double*>> slots{
                {kLow, &low}, {kHigh, &high}, {kMin, &d.min}, {kMax, &d.max}};
            if (!uniform) slots.emplace_back(kMode, &mode);
            readMembers(body, at, slots);
            for (const auto& [name, value] : {std::pair{kLow, low}, {kHigh, high}})
                if (std::isnan(value)) check.missing(keyPath(at, name));
            if (!uniform && std::isnan(mode)) check.missing(keyPath(at, kMode));
        }
        d.a = low;
        d.b = uniform ? high : mode;
        d.c = uniform ? 0.0 : high;
    } else {
        refuse(keyPath(path, kind),
               "unknown distribution: expected normal, lognormal, uniform or "
               "triangular");
    }
    if (const char* problem = distributionProblem(d); *problem) refuse(at, problem);
    return d;
}

// The smallest value the distribution can give within its bounds.
double lowestDrawn(const Distribution& d) {
    double natural = -std::numeric_limits<double>::infinity();
    if (d.kind == DistributionKind::Lognormal) natural = 0;
    if (d.kind == DistributionKind::Uniform || d.kind == DistributionKind::Triangular)
        natural = d.a;
    return std::max(natural, d.min);
}

// Two paths that set the same value: one quantity twice, or a component's half-life and its
// rate constant (each moves the other).
bool sameQuantity(const ScenarioKey& a, const ScenarioKey& b) {
    auto kinetic = [](ScenarioQuantity q) {
        return q == ScenarioQuantity::HalfLife || q == ScenarioQuantity::RateConstant;
    };
    if (a.index != b.index) return false;
    return a.quantity == b.quantity || (kinetic(a.quantity) && kinetic(b.quantity));
}

std::string varyPath(const std::string& key) {
    return keyPath(kUncertainty, kVary) + "[\"" + key + "\"]";
}

}  // namespace

ScenarioKey scenarioKeyOf(const std::string& path, const Json& file, const Scenario& scenario) {
    using Q = ScenarioQuantity;
    const auto in = [](const char* section, const char* key) { return keyPath(section, key); };
    static const std::vector<std::pair<std::string, Q>> plain{
        {in(kRadiopharmaceutical, kPhysicalHalfLife), Q::PhysicalHalfLife},
        {in(kRadiopharmaceutical, kDelta), Q::Delta},
        {in(kRadiopharmaceutical, kGamma), Q::Gamma},
        {kInitialVolume, Q::InitialVolume},
        {schema::kResidualVolume, Q::ResidualVolume},
        {kAdministeredActivity, Q::AdministeredActivity},
        {kEndTime, Q::EndTime},
        {kFillRate, Q::FillFactor},
        {in(kFillRate, kDay), Q::DayRate},
        {in(kFillRate, kNight), Q::NightRate},
        {in(kVoiding, kFirstVoid), Q::FirstVoid},
        {in(kVoiding, kInterval), Q::Interval},
        {in(in(kVoiding, kThen).c_str(), kInterval), Q::Interval}};
    const std::string at = varyPath(path);
    ScenarioKey key;
    std::smatch m;
    bool found = false;
    for (const auto& [name, quantity] : plain)
        if (name == path) std::tie(key.quantity, found) = std::pair(quantity, true);
    if (!found) {
        static const std::regex component(
            R"(radiopharmaceutical\.components\[(\d{1,6})\]\.(fraction|rate_constant|half_life))");
        static const std::regex step(R"(fill_rate\.steps\[(\d{1,6})\]\.(from|rate))");
        static const std::regex diary(R"(voiding\.voids\[(\d{1,6})\](\.at|\.residual)?)");
        if (std::regex_match(path, m, component)) {
            key.quantity = m[2] == "fraction"        ? Q::Fraction
                           : m[2] == "rate_constant" ? Q::RateConstant
                                                     : Q::HalfLife;
        } else if (std::regex_match(path, m, step)) {
            key.quantity = m[2] == "from" ? Q::StepFrom : Q::StepRate;
        } else if (std::regex_match(path, m, diary)) {
            key.quantity = m[2] == ".residual" ? Q::DiaryResidual : Q::DiaryTime;
        } else {
            refuse(at,
                   "not a numeric key of a scenario (a component's fraction, rate_constant "
                   "or half_life, physical_half_life, delta, gamma, a volume, a fill rate, "
                   "first_void, the interval, a diary void or its residual, end_time)");
        }
        key.index = std::stoi(m[1]);
    }

    const ModelParameters& p = scenario.radiopharmaceutical;
    const FillRatePattern& fill = scenario.fillRate;
    const VoidingPattern& voiding = scenario.voiding;
    switch (key.quantity) {
        case Q::Fraction:
        case Q::RateConstant:
        case Q::HalfLife:
            if (key.index >= kComponentCount ||
                (p.fraction[key.index] == 0 && p.rateConstant[key.index] == 0))
                refuse(at, "the radiopharmaceutical has no component " + std::to_string(key.index));
            if (key.quantity == Q::HalfLife && !(p.rateConstant[key.index] > 0))
                refuse(at,
                       "the component's rate constant is not above 0, so its half-life "
                       "cannot move it");
            break;
        case Q::DayRate:
        case Q::NightRate:
            if (!fill.steps.empty())
                refuse(at,
                       "the scenario's fill rate is given as steps (vary fill_rate.steps[i] "
                       "or fill_rate)");
            key.nightFollowsDay =
                findKey(file, kFillRate) == nullptr || findKey(file[kFillRate], kNight) == nullptr;
            break;
        case Q::StepFrom:
        case Q::StepRate:
            if (static_cast<std::size_t>(key.index) >= fill.steps.size())
                refuse(at, "the fill rate has " + std::to_string(fill.steps.size()) + " steps");
            break;
        case Q::EndTime:
            if (voiding.kind == VoidingKind::Table)
                refuse(at,
                       "the \"table\" pattern ends with its last interval; it has no end_time "
                       "to vary (give voiding.intervals)");
            break;
        case Q::FirstVoid:
            if (voiding.kind == VoidingKind::Diary)
                refuse(at, "a diary has no first_void (vary voiding.voids[0])");
            break;
        case Q::Interval:
            if (path == keyPath(kVoiding, kInterval) && voiding.kind != VoidingKind::Regular)
                refuse(at, "only the regular pattern has voiding.interval");
            if (path == keyPath(keyPath(kVoiding, kThen), kInterval) &&
                (voiding.kind != VoidingKind::Diary || !voiding.then))
                refuse(at, "only a diary continued by \"then\" has voiding.then.interval");
            break;
        case Q::DiaryTime:
        case Q::DiaryResidual:
            if (voiding.kind != VoidingKind::Diary ||
                static_cast<std::size_t>(key.index) >= voiding.voids.size())
                refuse(at,
                       "the voiding diary has " + std::to_string(voiding.voids.size()) + " voids");
            break;
        default:
            break;
    }
    return key;
}

UncertaintyPlan readUncertaintySection(const Json& section, const Json& file,
                                       const Scenario& scenario) {
    UncertaintyPlan plan;
    plan.options.samples = kDefaultSamples;
    const std::string path = kUncertainty;
    check.object(section, path, {kSamples, kSeed, kVary});
    if (const Json* samples = findKey(section, kSamples))
        plan.options.samples = check.integer(*samples, keyPath(path, kSamples), 1, kMaxSamples);
    if (const Json* seed = findKey(section, kSeed))
        plan.options.seed = check.integer(*seed, keyPath(path, kSeed), 0,
                                          std::numeric_limits<std::uint64_t>::max());
    const std::string varyAt = keyPath(path, kVary);
    const Json& varied = check.require(section, path, kVary);
    std::vector<std::pair<std::string, Distribution>> wanted;
    if (varied.is_string() && varied.get<std::string>() == kPopulation) {
        plan.population = true;
        auto lognormal = [](double gsd) {
            Distribution d;
            std::tie(d.kind, d.b) = std::pair(DistributionKind::Lognormal, gsd);
            return d;
        };
        wanted.emplace_back(schema::kResidualVolume, lognormal(kPopulationResidualGsd));
        wanted.emplace_back(kFillRate, lognormal(kPopulationFillRateGsd));
        if (scenario.voiding.kind == VoidingKind::Regular)
            wanted.emplace_back(keyPath(kVoiding, kInterval), lognormal(kPopulationIntervalGsd));
        if (scenario.voiding.kind == VoidingKind::Diary && scenario.voiding.then)
            wanted.emplace_back(keyPath(keyPath(kVoiding, kThen), kInterval),
                                lognormal(kPopulationIntervalGsd));
        for (auto& [path, d] : wanted) {
            const ScenarioKey key = scenarioKeyOf(path, file, scenario);
            d.a = scenarioValue(scenario, key);
            plan.keys.push_back(key);
        }
    } else if (varied.is_object() && !varied.empty()) {
        for (const auto& [path, entry] : varied.items()) {
            const ScenarioKey key = scenarioKeyOf(path, file, scenario);
            const double own = scenarioValue(scenario, key);
            Distribution d = readDistribution(entry, varyPath(path), own);
            if (lowestDrawn(d) < lowestAccepted(key.quantity))
                refuse(varyPath(path),
                       "draws values below 0, which the scenario refuses (give "
                       "\"min\": 0 or a distribution that stays above it)");
            for (std::size_t k = 0; k < plan.keys.size(); ++k)
                if (sameQuantity(plan.keys[k], key))
                    refuse(varyPath(path), "varies what " + varyPath(wanted[k].first) +
                                               " varies already; vary it once");
            wanted.emplace_back(path, d);
            plan.keys.push_back(key);
        }
    } else {
        refuse(varyAt, "expected \"population\" or an object of key paths and their distributions");
    }
    if (plan.options.samples * wanted.size() > kMaxSampledValues)
        refuse(keyPath(path, kSamples), "samples x varied keys may be at most " +
                                            std::to_string(kMaxSampledValues) +
                                            " (every value is kept for the statistics)");
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (plan.population && !(wanted[i].second.a > 0))
            refuse(varyPath(wanted[i].first), "the population preset needs a value above 0 here");
        plan.inputs.push_back(
            {wanted[i].first, wanted[i].second, scenarioValue(scenario, plan.keys[i])});
    }
    return plan;
}

}  // namespace orvane
