// A scenario file's document as the strict reader read it (parseScenarioJson), held whole for
// the front ends: they hand it to the Workbench (readScenario, uncertaintyPlan) and never look
// inside, so that no front end reads JSON itself.
#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

namespace orvane {

class ScenarioDocument {
public:
    // The text of a scenario file, read strictly; `file` names it in refusals (may be empty).
    // Throws JsonError (a ScenarioError).
    static ScenarioDocument parse(std::string_view text, const std::string& file = {});
    explicit ScenarioDocument(const nlohmann::json& json, std::string file = {});

    // For library/: the document itself.
    const nlohmann::json& json() const { return *json_; }
    const std::string& file() const { return file_; }
    // Whether the top level has this key ("uncertainty").
    bool has(std::string_view key) const;

private:
    std::shared_ptr<const nlohmann::json> json_;
    std::string file_;
};

}  // namespace orvane
