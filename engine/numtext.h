// Number to text and text to number: the one place where every figure the program
// shows or writes is formatted, and where every typed or file text becomes a number.
// Locale-independent: the decimal separator is always the full stop.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane {

// "scientific": d.ddE+xx, mantissa rounded to two decimals, at least two exponent
// digits (0.0123 -> "1.23E-02", 360 -> "3.60E+02", 0 -> "0.00E+00").
std::string formatScientific(double value);

// "0.###": at least one integer digit, up to three decimals, no trailing zeros; a whole
// number keeps its point (0.25 -> "0.25", 1 -> "1.").
std::string formatUpTo3Decimals(double value);

// "###0.0": at least one integer digit and exactly one decimal (4.676 -> "4.7").
std::string formatOneDecimal(double value);

// "###": the whole number, rounded, without leading zeros (10 -> "10").
std::string formatWhole(double value);

// The plain conversion of a number: one blank before a non-negative value (60 -> " 60").
std::string formatPlain(double value);

// The shortest text that reads back as the same double (0.5 -> "0.5", 60 -> "60",
// 1e-300 -> "1e-300").
std::string formatShortest(double value);

// Exactly `decimals` decimals, rounded half away from zero (0.1234, 3 -> "0.123").
std::string formatFixed(double value, int decimals);

// 17 significant digits, enough to read the exact double back ("3.4812345678901234e-01").
std::string formatRoundTrip(double value);

// What reading a text as a number found.
struct LeadingNumber {
    double value = 0.0;      // 0 when nothing was found; +-infinity when the text overflows
    std::size_t length = 0;  // characters consumed, leading blanks included; 0 when none found
    bool found() const { return length != 0; }
};

// After leading blanks (space, tab), the longest leading part that forms a decimal number:
// optional sign, digits with an optional point, optional exponent (E or e, optional sign,
// digits). Hex, "inf", "nan" and locale separators are not numbers. A negative zero reads
// as 0. A value beyond the double range reads as +-infinity, one below it as 0.
LeadingNumber readLeadingNumber(std::string_view text);

// The value of readLeadingNumber(text); text without a leading number reads as 0.
double textToNumber(std::string_view text);

// text without its leading and trailing blanks (space, tab).
std::string_view trimBlanks(std::string_view text);

// True when text, blanks trimmed, is one whole number as readLeadingNumber reads it.
bool isWholeNumber(std::string_view text);

// A typed or file text as a message shows it: in double quotes, control characters as "?",
// cut after 40 bytes (never inside a UTF-8 character) with "...".
std::string quoteText(std::string_view text);

// Up to `digits` significant digits, no trailing zeros, E for an exponent (1.8, 693,
// 1.25E-05); for figures whose own digits matter more than a fixed layout.
std::string formatSignificant(double value, int digits);

}  // namespace orvane
