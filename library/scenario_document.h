// A scenario file's document as the strict reader read it (parseScenarioJson), held whole for
// the front ends: they hand it to the Workbench (readScenario, uncertaintyPlan) and never look
// inside, so that no front end reads JSON itself.
#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "library/json_value.h"

namespace orvane {

class ScenarioDocument {
public:
    // The text of a scenario file, read strictly; `file` names it in refusals (may be empty).
    // Throws JsonError (a ScenarioError).
    static ScenarioDocument parse(std::string_view text, const std::string& file = {});
    ScenarioDocument();  // an empty object
    explicit ScenarioDocument(const nlohmann::json& json, std::string file = {});
    // A value built by a front end (JsonBuilder), read as a file's document would be.
    explicit ScenarioDocument(const JsonValue& value, std::string file = {});

    // For library/: the document itself.
    const nlohmann::json& json() const { return *json_; }
    const std::string& file() const { return file_; }
    // Whether the top level has this key ("uncertainty").
    bool has(std::string_view key) const;
    // The top-level key's value (null without it).
    JsonValue member(std::string_view key) const;
    // The same document with the top-level key set to value, or without it for null.
    ScenarioDocument with(std::string_view key, const JsonValue& value) const;
    // The document as a scenario file is saved: indented by two blanks, a final line feed.
    std::string text() const;
    // The same values (the files are not compared).
    friend bool operator==(const ScenarioDocument& a, const ScenarioDocument& b);

private:
    std::shared_ptr<const nlohmann::json> json_;
    std::string file_;
};

}  // namespace orvane
