#include "gui/common/file_name.h"

namespace orvane {
namespace {

bool kept(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

bool trimmed(char c) {
    return c == '-' || c == '.';
}

}  // namespace

std::string safeFileName(std::string_view title, std::string_view fallback) {
    std::string name;
    for (const char c : title) {
        const char out = kept(c) ? c : '-';
        if (out == '-' && (name.empty() || name.back() == '-')) continue;
        name += out;
    }
    std::size_t first = 0;
    while (first < name.size() && trimmed(name[first])) ++first;
    name.erase(0, first);
    if (name.size() > kMaxFileNameStem) name.resize(kMaxFileNameStem);
    while (!name.empty() && trimmed(name.back())) name.pop_back();
    return name.empty() ? std::string(fallback) : name;
}

}  // namespace orvane
