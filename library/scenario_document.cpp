#include "library/scenario_document.h"

#include <nlohmann/json.hpp>

#include "library/json_reader.h"
#include "library/scenario_file.h"

namespace orvane {

ScenarioDocument ScenarioDocument::parse(std::string_view text, const std::string& file) {
    return ScenarioDocument(parseScenarioJson(text, file), file);
}

ScenarioDocument::ScenarioDocument() : ScenarioDocument(nlohmann::json::object()) {}

ScenarioDocument::ScenarioDocument(const nlohmann::json& json, std::string file)
    : json_(std::make_shared<const nlohmann::json>(json)), file_(std::move(file)) {}

ScenarioDocument::ScenarioDocument(const JsonValue& value, std::string file)
    : ScenarioDocument(value.json(), std::move(file)) {}

bool ScenarioDocument::has(std::string_view key) const {
    return findKey(*json_, key) != nullptr;
}

JsonValue ScenarioDocument::member(std::string_view key) const {
    const nlohmann::json* value = findKey(*json_, key);
    return value ? JsonValue(*value) : JsonValue();
}

ScenarioDocument ScenarioDocument::with(std::string_view key, const JsonValue& value) const {
    nlohmann::json changed = *json_;
    if (value.isNull()) {
        if (changed.is_object()) changed.erase(std::string(key));
    } else {
        changed[std::string(key)] = value.json();
    }
    return ScenarioDocument(changed, file_);
}

std::string ScenarioDocument::text() const {
    return json_->dump(2) + "\n";
}

bool operator==(const ScenarioDocument& a, const ScenarioDocument& b) {
    return *a.json_ == *b.json_;
}

}  // namespace orvane
