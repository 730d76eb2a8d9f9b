#include "library/scenario_document.h"

#include <nlohmann/json.hpp>

#include "library/json_reader.h"
#include "library/scenario_file.h"

namespace orvane {

ScenarioDocument ScenarioDocument::parse(std::string_view text, const std::string& file) {
    return ScenarioDocument(parseScenarioJson(text, file), file);
}

ScenarioDocument::ScenarioDocument(const nlohmann::json& json, std::string file)
    : json_(std::make_shared<const nlohmann::json>(json)), file_(std::move(file)) {}

bool ScenarioDocument::has(std::string_view key) const {
    return findKey(*json_, key) != nullptr;
}

}  // namespace orvane
