// Any bytes as a field text: the leading number that is read, and every number format
// applied to any double (the first eight bytes taken as one).
#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <string>

#include "engine/numtext.h"
#include "fuzz_support.h"

using namespace orvane;

namespace {

// "Scientific": d.ddE+xx with at least two exponent digits.
const std::regex kScientific("-?[0-9]\\.[0-9]{2}E[+-][0-9]{2,}");

void checkReading(std::string_view text) {
    const LeadingNumber number = readLeadingNumber(text);
    REQUIRE(number.length <= text.size() && !std::isnan(number.value));
    REQUIRE(number.value != 0 || !std::signbit(number.value));  // never a negative zero
    if (!number.found()) return REQUIRE(number.value == 0);
    REQUIRE(textToNumber(text) == number.value);

    // The number read is a prefix that reads the same on its own.
    const LeadingNumber again = readLeadingNumber(text.substr(0, number.length));
    REQUIRE(again.length == number.length && again.value == number.value);
    if (!std::isfinite(number.value)) return;

    // What "scientific" writes reads back whole and close to the value (unless subnormal),
    // the round-trip text exactly.
    const std::string shown = formatScientific(number.value);
    const LeadingNumber back = readLeadingNumber(shown);
    REQUIRE(std::regex_match(shown, kScientific) && back.length == shown.size());
    const double value = number.value;
    REQUIRE(std::fabs(value) < std::numeric_limits<double>::min() ||
            std::fabs(back.value - value) <= 0.0051 * std::fabs(value));
    REQUIRE(textToNumber(formatRoundTrip(value)) == value);
}

// Every format takes any double; of a finite one, each text reads back.
void checkFormats(double value) {
    const std::string scientific = formatScientific(value), plain = formatPlain(value);
    const std::string texts[] = {formatUpTo3Decimals(value), formatOneDecimal(value),
                                 formatWhole(value)};
    if (!std::isfinite(value)) return;
    REQUIRE(std::regex_match(scientific, kScientific) && readLeadingNumber(plain).found());
    for (const std::string& text : texts) REQUIRE(readLeadingNumber(text).length == text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkReading(fuzz::inputText(data, size));
    double value = 0;
    if (size >= sizeof value) checkFormats((std::memcpy(&value, data, sizeof value), value));
    return 0;
}
