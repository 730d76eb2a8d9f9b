#include "library/json_value.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "library/json_view.h"

namespace orvane {

using nlohmann::json;

namespace {
const json kNull;
}  // namespace

// A null value holds nothing.
JsonValue::JsonValue() = default;

const nlohmann::json& JsonValue::json() const {
    return json_ ? *json_ : kNull;
}

JsonValue::JsonValue(nlohmann::json value)
    : json_(std::make_shared<const nlohmann::json>(std::move(value))) {}

bool JsonValue::isNull() const {
    return json().is_null();
}

std::string JsonValue::text(int indent) const {
    return json().dump(indent);
}

bool operator==(const JsonValue& a, const JsonValue& b) {
    return a.json() == b.json();
}

struct JsonBuilder::State {
    json root;
    bool started = false;
    std::vector<json*> open;  // the containers not yet ended, outermost first
    json* member = nullptr;   // the member that key() added to the innermost object

    // Puts a value where the builder stands and returns where it went.
    json* place(json value) {
        if (open.empty()) {
            if (started) throw std::logic_error("JsonBuilder: a second value at the top level");
            started = true;
            root = std::move(value);
            return &root;
        }
        json& into = *open.back();
        if (into.is_array()) {
            into.push_back(std::move(value));
            return &into.back();
        }
        if (!member) throw std::logic_error("JsonBuilder: a member without its key");
        json* placed = std::exchange(member, nullptr);
        *placed = std::move(value);
        return placed;
    }
};

JsonBuilder::JsonBuilder() : state_(std::make_unique<State>()) {}
JsonBuilder::~JsonBuilder() = default;

void JsonBuilder::null() {
    state_->place(json());
}
void JsonBuilder::flag(bool value) {
    state_->place(json(value));
}
void JsonBuilder::integer(std::int64_t value) {
    state_->place(json(value));
}
void JsonBuilder::unsignedInteger(std::uint64_t value) {
    state_->place(json(value));
}
void JsonBuilder::number(double value) {
    state_->place(json(value));
}
void JsonBuilder::text(std::string value) {
    state_->place(json(std::move(value)));
}
void JsonBuilder::beginObject() {
    state_->open.push_back(state_->place(json::object()));
}
void JsonBuilder::beginList() {
    state_->open.push_back(state_->place(json::array()));
}

bool JsonBuilder::key(std::string name) {
    if (state_->open.empty() || !state_->open.back()->is_object())
        throw std::logic_error("JsonBuilder: a key outside an object");
    // Added here, so that the name is looked up once and moved, not copied.
    const auto [at, added] = state_->open.back()->emplace(std::move(name), nullptr);
    if (added) state_->member = &at.value();
    return added;
}

void JsonBuilder::end() {
    if (state_->open.empty()) throw std::logic_error("JsonBuilder: end() without a container");
    state_->open.pop_back();
}

JsonValue JsonBuilder::take() {
    if (!state_->started || !state_->open.empty())
        throw std::logic_error("JsonBuilder: the value is not complete");
    JsonValue value(std::move(state_->root));
    state_ = std::make_unique<State>();
    return value;
}

namespace {

template <typename Json>
void walk(const Json& value, JsonVisitor& visitor) {
    switch (value.type()) {
        case Json::value_t::boolean:
            return visitor.flag(value.template get<bool>());
        case Json::value_t::number_integer:
            return visitor.integer(value.template get<std::int64_t>());
        case Json::value_t::number_unsigned:
            return visitor.unsignedInteger(value.template get<std::uint64_t>());
        case Json::value_t::number_float:
            return visitor.number(value.template get<double>());
        case Json::value_t::string:
            return visitor.text(value.template get_ref<const std::string&>());
        case Json::value_t::array:
            visitor.beginList(value.size());
            for (const Json& item : value) walk(item, visitor);
            return visitor.end();
        case Json::value_t::object:
            visitor.beginObject(value.size());
            for (const auto& [name, item] : value.items()) {
                visitor.key(name);
                walk(item, visitor);
            }
            return visitor.end();
        default:
            return visitor.null();
    }
}

}  // namespace

void JsonView::visit(JsonVisitor& visitor) const {
    if (ordered_) return walk(*ordered_, visitor);
    walk(*plain_, visitor);
}

void JsonTextBuilder::beforeValue() {
    if (std::exchange(afterKey_, false)) return;
    if (open_.empty()) {
        if (!out_.empty())
            throw std::logic_error("JsonTextBuilder: a second value at the top level");
        return;
    }
    if (open_.back().object) throw std::logic_error("JsonTextBuilder: a member without its key");
    if (!std::exchange(open_.back().empty, false)) out_ += ',';
}

void JsonTextBuilder::null() {
    beforeValue();
    out_ += "null";
}
void JsonTextBuilder::flag(bool value) {
    beforeValue();
    out_ += value ? "true" : "false";
}
void JsonTextBuilder::integer(std::int64_t value) {
    beforeValue();
    out_ += std::to_string(value);
}
void JsonTextBuilder::unsignedInteger(std::uint64_t value) {
    beforeValue();
    out_ += std::to_string(value);
}
void JsonTextBuilder::number(double value) {
    if (!std::isfinite(value))
        throw std::logic_error("JsonTextBuilder: a number that is not finite");
    beforeValue();
    out_ += json(value).dump();  // the shortest text that reads back, with ".0" when whole
}
void JsonTextBuilder::text(std::string value) {
    beforeValue();
    out_ += json(std::move(value)).dump();
}
void JsonTextBuilder::beginObject() {
    beforeValue();
    out_ += '{';
    open_.push_back({true, true, names_.size()});
}
bool JsonTextBuilder::key(std::string name) {
    if (open_.empty() || !open_.back().object || afterKey_)
        throw std::logic_error("JsonTextBuilder: a key outside an object");
    for (std::size_t i = open_.back().keys; i < names_.size(); ++i)
        if (names_[i] == name) return false;
    if (!std::exchange(open_.back().empty, false)) out_ += ',';
    out_ += json(name).dump();
    out_ += ':';
    names_.push_back(std::move(name));
    afterKey_ = true;
    return true;
}
void JsonTextBuilder::beginList() {
    beforeValue();
    out_ += '[';
    open_.push_back({false, true, 0});
}
void JsonTextBuilder::end() {
    if (open_.empty() || afterKey_) throw std::logic_error("JsonTextBuilder: end() of nothing");
    if (open_.back().object) names_.resize(open_.back().keys);
    out_ += open_.back().object ? '}' : ']';
    open_.pop_back();
}
std::string JsonTextBuilder::take() {
    if (out_.empty() || !open_.empty()) throw std::logic_error("JsonTextBuilder: incomplete value");
    return std::move(out_);
}

}  // namespace orvane
