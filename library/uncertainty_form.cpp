#include "library/uncertainty_form.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "engine/numtext.h"
#include "library/json_reader.h"
#include "library/scenario_form.h"
#include "library/scenario_schema.h"

namespace orvane {
namespace {

using nlohmann::json;
using namespace schema;

// A value as a cell shows it: a text as it is, a whole number as its digits, any other number
// in its shortest exact form.
std::string cellText(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_float()) return formatShortest(value.get<double>());
    return value.dump();
}

std::string trimmed(const std::string& text) {
    return std::string(trimBlanks(text));
}

// "mean=0.5, sd=0.05" -> {"mean": 0.5, "sd": 0.05}; "120, 240" -> [120, 240]; min and max
// join the object form (a list becomes {"low", ["mode",] "high"}).
json distributionBody(const UncertaintyForm::Row& row) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= row.parameters.size();) {
        const std::size_t comma = std::min(row.parameters.find(',', start), row.parameters.size());
        if (comma > start) parts.push_back(row.parameters.substr(start, comma - start));
        start = comma + 1;
    }
    const bool named = row.parameters.find('=') != std::string::npos || row.kind == kNormal ||
                       row.kind == kLognormal;
    json body = named ? json::object() : json::array();
    for (const std::string& part : parts) {
        if (!named) {
            body.push_back(fieldValue(part).json());
            continue;
        }
        const std::size_t equals = part.find('=');
        const std::string name = trimmed(part.substr(0, equals));
        body[name] =
            equals == std::string::npos ? json() : fieldValue(part.substr(equals + 1)).json();
    }
    const std::string min = trimmed(row.min), max = trimmed(row.max);
    if (min.empty() && max.empty()) return body;
    if (body.is_array()) {
        const bool uniform = row.kind == kUniform;
        if (body.size() != (uniform ? 2u : 3u)) return body;  // refused for its length
        json object{{kLow, body[0]}, {kHigh, body.back()}};
        if (!uniform) object[kMode] = body[1];
        body = object;
    }
    if (!min.empty()) body[kMin] = fieldValue(min).json();
    if (!max.empty()) body[kMax] = fieldValue(max).json();
    return body;
}

}  // namespace

UncertaintyForm uncertaintyForm(const ScenarioDocument& document) {
    UncertaintyForm form;
    const json* section = findKey(document.json(), kUncertainty);
    if (!section || !section->is_object()) return form;
    if (const json* samples = findKey(*section, kSamples); samples && samples->is_number_integer())
        form.samples = static_cast<std::uint64_t>(
            std::clamp<long long>(samples->get<long long>(), 1, kMaxSamples));
    if (const json* seed = findKey(*section, kSeed)) form.seed = cellText(*seed);
    const json* vary = findKey(*section, kVary);
    form.population = vary && vary->is_string() && *vary == kPopulation;
    if (!vary || !vary->is_object()) return form;
    for (const auto& [path, entry] : vary->items()) {
        UncertaintyForm::Row row{path, kLognormal, {}, {}, {}};
        if (entry.is_object() && entry.size() == 1) {
            row.kind = entry.begin().key();
            json body = entry.begin().value();
            if (body.is_object()) {
                if (const json* min = findKey(body, kMin)) row.min = cellText(*min);
                if (const json* max = findKey(body, kMax)) row.max = cellText(*max);
                body.erase(kMin);
                body.erase(kMax);
            }
            std::string parameters;
            auto add = [&parameters](const std::string& part) {
                parameters += (parameters.empty() ? "" : ", ") + part;
            };
            if (body.is_array())
                for (const json& value : body) add(cellText(value));
            else if (body.is_object())
                for (const auto& [name, value] : body.items()) add(name + "=" + cellText(value));
            row.parameters = parameters;
        } else {
            row.parameters = entry.dump();
        }
        form.rows.push_back(std::move(row));
    }
    return form;
}

JsonValue uncertaintySection(const UncertaintyForm& form) {
    json vary = json::object();
    if (form.population) {
        vary = kPopulation;
    } else {
        for (const UncertaintyForm::Row& row : form.rows) {
            if (trimmed(row.path).empty() && trimmed(row.parameters).empty())
                continue;  // a row added and left blank
            vary[trimmed(row.path)] = {{row.kind, distributionBody(row)}};
        }
        if (vary.empty()) return JsonValue();
    }
    const std::string seedText = trimmed(form.seed);
    std::uint64_t seed = 0;
    const auto [end, error] =
        std::from_chars(seedText.data(), seedText.data() + seedText.size(), seed);
    const bool whole =
        !seedText.empty() && error == std::errc() && end == seedText.data() + seedText.size();
    return JsonValue(json{
        {kSamples, form.samples}, {kSeed, whole ? json(seed) : json(form.seed)}, {kVary, vary}});
}

UncertaintyPlan readUncertaintySection(const JsonValue& section, const ScenarioDocument& document,
                                       const Scenario& scenario) {
    return readUncertaintySection(section.json(), document.json(), scenario);
}

}  // namespace orvane
