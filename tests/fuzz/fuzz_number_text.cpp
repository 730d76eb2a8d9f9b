// Any bytes as a field text: the leading number that is read, and every number format
// applied to any double (the first eight bytes taken as one).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "engine/numtext.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// d.ddE+xx with at least two exponent digits.
bool isScientificText(const std::string& text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    if (text.size() < i + 8) return false;
    if (!isDigit(text[i]) || text[i + 1] != '.' || !isDigit(text[i + 2]) || !isDigit(text[i + 3]) ||
        text[i + 4] != 'E' || (text[i + 5] != '+' && text[i + 5] != '-')) {
        return false;
    }
    for (std::size_t j = i + 6; j < text.size(); ++j) {
        if (!isDigit(text[j])) return false;
    }
    return text.size() - (i + 6) >= 2;
}

void checkReading(std::string_view text) {
    const orvane::LeadingNumber number = orvane::readLeadingNumber(text);
    require(number.length <= text.size());
    require(!std::isnan(number.value));
    require(number.value != 0 || !std::signbit(number.value));  // never a negative zero
    if (!number.found()) {
        require(number.value == 0);
        return;
    }
    require(orvane::textToNumber(text) == number.value);

    // The number read is a prefix that reads the same on its own.
    const orvane::LeadingNumber again = orvane::readLeadingNumber(text.substr(0, number.length));
    require(again.length == number.length && again.value == number.value);

    // What "scientific" writes reads back whole and close to the value.
    if (std::isfinite(number.value)) {
        const std::string shown = orvane::formatScientific(number.value);
        require(isScientificText(shown));
        const orvane::LeadingNumber back = orvane::readLeadingNumber(shown);
        require(back.length == shown.size());
        if (std::fabs(number.value) >= std::numeric_limits<double>::min()) {
            require(std::fabs(back.value - number.value) <= 0.0051 * std::fabs(number.value));
        }
        const std::string exact = orvane::formatRoundTrip(number.value);
        require(orvane::textToNumber(exact) == number.value);
    }
}

void checkFormats(double value) {
    const std::string scientific = orvane::formatScientific(value);
    if (std::isfinite(value)) require(isScientificText(scientific));
    const std::string decimals = orvane::formatUpTo3Decimals(value);
    const std::string oneDecimal = orvane::formatOneDecimal(value);
    const std::string whole = orvane::formatWhole(value);
    const std::string plain = orvane::formatPlain(value);
    if (std::isfinite(value)) {
        for (const std::string* text : {&decimals, &oneDecimal, &whole}) {
            require(orvane::readLeadingNumber(*text).length == text->size());
        }
        require(orvane::readLeadingNumber(plain).found());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkReading(std::string_view(reinterpret_cast<const char*>(data), size));
    if (size >= sizeof(double)) {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        checkFormats(value);
    }
    return 0;
}
