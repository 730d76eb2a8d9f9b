// A document of library/ or report/ walked part by part, so that a front end turns it into its
// own values (the Python module's dicts and lists) without reading JSON itself. It includes the
// whole JSON library, so that a front end may hold the documents that report/ returns; only
// such a front end's conversion includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "library/json_value.h"

namespace orvane {

// Receives a value's parts in document order (an object's members in their order).
class JsonVisitor {
public:
    virtual ~JsonVisitor() = default;
    virtual void null() = 0;
    virtual void flag(bool value) = 0;
    virtual void integer(std::int64_t value) = 0;
    virtual void unsignedInteger(std::uint64_t value) = 0;
    virtual void number(double value) = 0;
    virtual void text(std::string_view value) = 0;
    virtual void beginObject(std::size_t size) = 0;
    virtual void key(std::string_view name) = 0;
    virtual void beginList(std::size_t size) = 0;
    virtual void end() = 0;
};

// A value of library/ or report/ (or a JsonValue), to be walked; it refers to the value, which
// must outlive it.
class JsonView {
public:
    JsonView(const nlohmann::json& value) : plain_(&value) {}            // NOLINT: implicit
    JsonView(const nlohmann::ordered_json& value) : ordered_(&value) {}  // NOLINT: implicit
    JsonView(const JsonValue& value) : plain_(&value.json()) {}          // NOLINT: implicit
    void visit(JsonVisitor& visitor) const;

private:
    const nlohmann::json* plain_ = nullptr;
    const nlohmann::ordered_json* ordered_ = nullptr;
};

}  // namespace orvane
