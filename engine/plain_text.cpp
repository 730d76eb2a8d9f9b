#include "engine/plain_text.h"

#include <cstdio>

namespace orvane {
namespace {

// One character of UTF-8 text: its length in bytes, its code point, and whether the bytes
// are well-formed (a malformed byte counts as one character of its own).
struct Character {
    std::size_t length = 1;
    char32_t codePoint = 0;
    bool valid = true;
};

Character characterAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char first = byte(0);
    if (first < 0x80) return {1, first, true};
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t least = 0;
    if ((first & 0xE0) == 0xC0) {
        length = 2, codePoint = first & 0x1F, least = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3, codePoint = first & 0x0F, least = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4, codePoint = first & 0x07, least = 0x10000;
    } else {
        return {1, first, false};
    }
    if (at + length > text.size()) return {1, first, false};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {1, first, false};
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint < 0xE000)) {
        return {1, first, false};
    }
    return {length, codePoint, true};
}

// Control characters; a malformed byte 0x80..0x9F is read as a C1 control, as a Latin-1
// terminal would.
bool isControl(const Character& c) {
    return c.codePoint < 0x20 || (c.codePoint >= 0x7F && c.codePoint < 0xA0) ||
           (c.valid && (c.codePoint == 0x2028 || c.codePoint == 0x2029));
}

}  // namespace

std::string replaceControlCharacters(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        if (isControl(c)) {
            result += ' ';
        } else {
            result.append(text.substr(at, c.length));
        }
        at += c.length;
    }
    return result;
}

std::string escapeControlCharacters(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        if (!c.valid || (isControl(c) && c.codePoint < 0x80)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c.codePoint));
            result += escape;
        } else if (isControl(c)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c.codePoint));
            result += escape;
        } else {
            result.append(text.substr(at, c.length));
        }
        at += c.length;
    }
    return result;
}

}  // namespace orvane
