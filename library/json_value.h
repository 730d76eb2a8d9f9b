// JSON values for the front ends, which never read JSON themselves: a value held whole and
// handed back (JsonValue), and one built from calls while a front end walks its own values
// (the Python module's dicts: JsonBuilder). library/json_view.h walks one the other way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// A JSON value held whole: a front end keeps it and gives it back, never looking inside.
class JsonValue {
public:
    JsonValue();  // null
    explicit JsonValue(nlohmann::json value);

    // For library/: the value itself.
    const nlohmann::json& json() const;
    bool isNull() const;
    // The value as JSON text: compact, or indented by `indent` blanks.
    std::string text(int indent = -1) const;
    friend bool operator==(const JsonValue& a, const JsonValue& b);

private:
    std::shared_ptr<const nlohmann::json> json_;  // none: null
};

// Builds one value from calls in document order: an object is beginObject(), then key() and
// its value for each member, then end(); a list beginList(), its values, end().
class JsonBuilder {
public:
    JsonBuilder();
    ~JsonBuilder();
    JsonBuilder(const JsonBuilder&) = delete;
    JsonBuilder& operator=(const JsonBuilder&) = delete;

    void null();
    void flag(bool value);
    void integer(std::int64_t value);
    void unsignedInteger(std::uint64_t value);
    void number(double value);
    void text(std::string value);  // UTF-8
    void beginObject();
    // The next member's key; false (and nothing changes) when the object has it already.
    bool key(std::string name);
    void beginList();
    void end();
    // The value built; std::logic_error when it is not complete.
    JsonValue take();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The same calls as JsonBuilder, written as compact JSON text that reads back as the same value
// (a number to the last bit, and a whole one as "2.0", so that it reads back as a number with a
// fraction). Handing a value to another thread as text, to be read there, keeps its
// memory on that thread.
class JsonTextBuilder {
public:
    void null();
    void flag(bool value);
    void integer(std::int64_t value);
    void unsignedInteger(std::uint64_t value);
    void number(double value);
    void text(std::string value);  // UTF-8
    void beginObject();
    // The next member's key; false (and nothing changes) when the object has it already.
    bool key(std::string name);
    void beginList();
    void end();
    // The text written; std::logic_error when the value is not complete.
    std::string take();

private:
    void beforeValue();

    struct Open {
        bool object = false;
        bool empty = true;     // nothing in it yet
        std::size_t keys = 0;  // an object's: where its keys start in names_
    };

    std::string out_;
    std::vector<Open> open_;          // the containers not yet ended, outermost first
    std::vector<std::string> names_;  // the keys of the open objects
    bool afterKey_ = false;
};

}  // namespace orvane
