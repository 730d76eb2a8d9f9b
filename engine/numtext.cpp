#include "engine/numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace orvane {
namespace {

// A negative zero is shown, and read, as zero.
double withoutNegativeZero(double value) {
    return value == 0.0 ? 0.0 : value;
}

std::string toChars(double value, std::chars_format format, int precision) {
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    if (ec != std::errc()) return "?";
    return std::string(buffer, end);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when value lies exactly halfway between two texts of the given precision. Such a
// tie has a short exact decimal expansion, so 40 more digits show it whole.
bool isExactTie(double value, std::chars_format format, int precision) {
    const std::string digits = toChars(value, format, precision + 40);
    std::size_t pos = digits.find('.');
    if (pos == std::string::npos) return false;
    pos += static_cast<std::size_t>(precision) + 1;
    if (pos >= digits.size() || digits[pos] != '5') return false;
    for (++pos; pos < digits.size() && isDigit(digits[pos]); ++pos) {
        if (digits[pos] != '0') return false;
    }
    return true;
}

// Rounds to the precision with ties away from zero, as a pencil-and-paper rounding does
// (to_chars alone would round an exact tie such as 0.3125 to even).
std::string rounded(double value, std::chars_format format, int precision) {
    value = withoutNegativeZero(value);
    if (std::isfinite(value) && isExactTie(value, format, precision)) {
        value = std::nextafter(value, value > 0 ? HUGE_VAL : -HUGE_VAL);
    }
    return toChars(value, format, precision);
}

}  // namespace

std::string formatScientific(double value) {
    std::string text = rounded(value, std::chars_format::scientific, 2);
    // to_chars writes "1.23e-02"; the program writes a capital E.
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return text;
}

std::string formatUpTo3Decimals(double value) {
    std::string text = rounded(value, std::chars_format::fixed, 3);
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (text == "-0.") text = "0.";
    return text;
}

std::string formatOneDecimal(double value) {
    std::string text = rounded(value, std::chars_format::fixed, 1);
    if (text == "-0.0") text = "0.0";
    return text;
}

std::string formatWhole(double value) {
    std::string text = rounded(value, std::chars_format::fixed, 0);
    if (text == "-0") text = "0";
    return text;
}

std::string formatPlain(double value) {
    const std::string text = formatShortest(value);
    return withoutNegativeZero(value) >= 0 ? " " + text : text;
}

std::string formatShortest(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, withoutNegativeZero(value));
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string formatFixed(double value, int decimals) {
    std::string text = rounded(value, std::chars_format::fixed, decimals);
    // A value that rounds to zero is shown without its sign.
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

std::string formatRoundTrip(double value) {
    return toChars(withoutNegativeZero(value), std::chars_format::scientific, 16);
}

LeadingNumber readLeadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;

    const std::size_t numberStart = pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t mantissaStart = pos;
    std::size_t integerDigits = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        ++pos;
        ++integerDigits;
    }
    std::size_t fractionDigits = 0;
    if (pos < text.size() && text[pos] == '.') {
        std::size_t after = pos + 1;
        while (after < text.size() && isDigit(text[after])) {
            ++after;
            ++fractionDigits;
        }
        if (integerDigits + fractionDigits > 0) pos = after;
    }
    if (integerDigits + fractionDigits == 0) return {};

    const std::size_t mantissaEnd = pos;
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        std::size_t after = pos + 1;
        if (after < text.size() && (text[after] == '+' || text[after] == '-')) ++after;
        const std::size_t exponentDigitsStart = after;
        while (after < text.size() && isDigit(text[after])) ++after;
        if (after > exponentDigitsStart) pos = after;
    }

    // The scanned part is a plain decimal number, which from_chars reads exactly (it would
    // also take "inf", "nan" or hex, but those never reach it).
    const std::string_view number = text.substr(mantissaStart, pos - mantissaStart);
    double magnitude = 0.0;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), magnitude,
                                     std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow from the decimal exponent of the first
        // significant digit.
        long long exponent = 0;
        const std::size_t ePos = number.find_first_of("eE");
        if (ePos != std::string_view::npos) {
            std::string_view digits = number.substr(ePos + 1);
            bool exponentNegative = false;
            if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
                exponentNegative = digits[0] == '-';
                digits.remove_prefix(1);
            }
            for (char c : digits) {
                exponent = std::min<long long>(exponent * 10 + (c - '0'), 1'000'000'000LL);
            }
            if (exponentNegative) exponent = -exponent;
        }
        const std::string_view mantissa = number.substr(0, mantissaEnd - mantissaStart);
        long long leading = 0;  // decimal exponent of the first non-zero digit, before E
        const std::size_t point = mantissa.find('.');
        const std::size_t intLength = point == std::string_view::npos ? mantissa.size() : point;
        const std::size_t firstNonZero = mantissa.find_first_of("123456789");
        if (firstNonZero == std::string_view::npos) {
            magnitude = 0.0;
        } else {
            leading = firstNonZero < intLength
                          ? static_cast<long long>(intLength - firstNonZero) - 1
                          : -static_cast<long long>(firstNonZero - intLength);
            magnitude = exponent + leading > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
    } else if (ec != std::errc()) {
        magnitude = 0.0;
    }
    (void)ptr;
    (void)numberStart;
    LeadingNumber result;
    result.value = withoutNegativeZero(negative ? -magnitude : magnitude);
    result.length = pos;
    return result;
}

double textToNumber(std::string_view text) {
    return readLeadingNumber(text).value;
}

std::string_view trimBlanks(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool isWholeNumber(std::string_view text) {
    const std::string_view trimmed = trimBlanks(text);
    const LeadingNumber number = readLeadingNumber(trimmed);
    return number.found() && number.length == trimmed.size();
}

std::string quoteText(std::string_view text) {
    constexpr std::size_t kShown = 40;
    auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    std::size_t end = std::min(text.size(), kShown);
    while (end > 0 && end < text.size() && continuation(text[end])) --end;
    std::string shown;
    for (std::size_t i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        shown += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
    }
    if (end < text.size()) shown += "...";
    return "\"" + shown + "\"";
}

std::string formatSignificant(double value, int digits) {
    std::string text = toChars(withoutNegativeZero(value), std::chars_format::general, digits);
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return text;
}

}  // namespace orvane
