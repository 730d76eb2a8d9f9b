// The one strict JSON reader for every JSON file the program reads: scenario files (with their
// uncertainty section) and the radiopharmaceutical libraries, shipped and the user's.
//
// A file is read only if it is a regular file of at most kMaxJsonFileBytes (FileReadError
// otherwise). Its text is refused (JsonError) for a NUL byte, a syntax error, content after
// the document, a key given twice in one object, or a number beyond a double, each naming the
// file, the line and column or the key path, and the reason. The checked-value helpers of
// JsonCheck then read the document with the same wording for every file kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scenario.h"
#include "library/file_text.h"

namespace orvane {

// Far more than any scenario or library file (the shipped library is about 60 kB).
inline constexpr std::size_t kMaxJsonFileBytes = 16 * 1024 * 1024;

// A refused document: position() is "line L, column C" for the text, or the key path of the
// value ("voiding.voids[2].residual"); file() may be empty (a text without a file). A
// ScenarioError, so that a refused scenario file is refused as its values are.
class JsonError : public ScenarioError {
public:
    JsonError(const std::string& file, const std::string& position, const std::string& reason);
    const std::string& file() const { return file_; }
    const std::string& position() const { return path(); }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string file_, message_;
};

// The text of a JSON file (FileReadError if it cannot be read, as above).
std::string readJsonFileText(const std::filesystem::path& file);

// The text of standard input, with the same cap; named `name` in errors.
std::string readJsonStreamText(std::istream& in, const std::string& name = "standard input");

// The document of a text, refused as above; `file` names it in messages (may be empty).
nlohmann::json parseJson(std::string_view text, const std::string& file = {});

// "a.b" from "a" and "b" ("b" from "" and "b"); "a[2]" from "a" and 2.
std::string keyPath(const std::string& path, std::string_view key);
std::string indexPath(const std::string& path, std::size_t index);

// What "got" calls a value in a refusal: "an object", "a list", "a text", "a number", ...
const char* jsonKindName(const nlohmann::json& value);

// The member `key` of an object, or nullptr.
const nlohmann::json* findKey(const nlohmann::json& object, std::string_view key);

// Which numbers a value may hold.
enum class JsonSign { Any, NonNegative, Positive };

// Reads values of a document, refusing with JsonError(file, key path, reason) in one wording.
class JsonCheck {
public:
    explicit JsonCheck(std::string file = {}) : file_(std::move(file)) {}
    const std::string& file() const { return file_; }

    [[noreturn]] void refuse(const std::string& path, const std::string& reason) const;
    // A required key that is not there.
    [[noreturn]] void missing(const std::string& path) const;

    // An object whose keys are all among `known` (or `more`).
    const nlohmann::json& object(const nlohmann::json& value, const std::string& path,
                                 std::initializer_list<std::string_view> known,
                                 const std::vector<std::string>& more = {}) const;
    const nlohmann::json& object(const nlohmann::json& value, const std::string& path,
                                 const std::vector<std::string_view>& known) const;
    // The member `key` of `object` (at path), refused when missing.
    const nlohmann::json& require(const nlohmann::json& object, const std::string& path,
                                  std::string_view key) const;

    // A finite number of the given sign; `unit` is named in refusals ("min", "-", or none).
    double number(const nlohmann::json& value, const std::string& path, std::string_view unit,
                  JsonSign sign = JsonSign::NonNegative) const;
    std::optional<double> optionalNumber(const nlohmann::json& object, const std::string& path,
                                         std::string_view key, std::string_view unit,
                                         JsonSign sign = JsonSign::NonNegative) const;
    // A finite number from low to high; `expected` says what ("a fraction from 0 to 1").
    double numberIn(const nlohmann::json& value, const std::string& path, double low, double high,
                    const std::string& expected) const;
    // A whole number from lowest to highest.
    std::uint64_t integer(const nlohmann::json& value, const std::string& path,
                          std::uint64_t lowest, std::uint64_t highest) const;

    std::string text(const nlohmann::json& value, const std::string& path) const;
    std::optional<std::string> optionalText(const nlohmann::json& object, const std::string& path,
                                            std::string_view key) const;
    bool flag(const nlohmann::json& value, const std::string& path) const;
    // A list of `least` to `most` elements.
    const nlohmann::json& list(const nlohmann::json& value, const std::string& path,
                               std::size_t most, std::size_t least = 1) const;

private:
    std::string file_;
};

}  // namespace orvane
