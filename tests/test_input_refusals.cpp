// Whatever a physicist types into any one of the fifteen fields, the calculation gives a
// table of finite doses or refuses in words that name the field by its caption, and
// orvane-cli refuses the same with exit status 2. Each field takes each odd text in turn
// while the others hold the texts of Tc-99m DTPA.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <regex>
#include <sstream>

#include "cli/cli.h"
#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/numtext.h"
#include "library/standards.h"

namespace orvane {
namespace {

const std::string kDataFile = std::string(ORVANE_SOURCE_DIR) + "/data/orvane.dat";
const StandardData kData = LoadStandardData(kDataFile);
const StandardPharmaceutical& kDtpa = kData.library[1];

// The rules: an infinite value, a physical half-life that is not positive, and a negative
// rate constant on a component with a fraction are refused; all else is computed.
bool shouldBeRefused(int field, const std::string& text) {
    const double value = textToNumber(text);
    const bool rateConstant = field < 12 && field % 3 == 1;
    return !std::isfinite(value) || (field == 12 && value <= 0) ||
           (rateConstant && kDtpa.fraction[field / 3] != 0 && value < 0);
}

// The field that run refuses, or -1. A refusal names the field by its caption, never by a
// control's name, and does not echo a long typed text whole.
int refusedField(const std::function<void()>& run) {
    try {
        run();
    } catch (const InputError& error) {
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with(fieldCaption(error.field()) + ": ") &&
                    !std::regex_search(message, std::regex("Text[0-9]")) && message.size() < 400)
            << message;
        return error.field();
    }
    return -1;
}

TEST(InputSweep, EveryFieldTakesEveryOddTextWithoutANonFiniteDose) {
    const std::string texts[] = {
        "", "0", "-5", "1E999", "abc", " 12abc", "1,5", "-0", std::string(1 << 20, '9')};
    for (int field = 0; field < kFieldCount; ++field) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(fieldCaption(field) + " holding \"" + text.substr(0, 8) + "\"");
            FieldTexts fields = standardFieldTexts(kDtpa).fields;
            fields[field] = text;
            const int refused = shouldBeRefused(field, text) ? field : -1;
            const auto calculate = [&] {
                for (const DoseTable& table : RunCalculation(fields, "DTPA", kData.tables).tables) {
                    for (const auto& row : table.dose) {
                        for (double dose : row) ASSERT_TRUE(std::isfinite(dose)) << dose;
                    }
                }
            };
            EXPECT_EQ(refusedField(calculate), refused);
            // The time check refuses the same input, before it reads the clock for a trial.
            int clockReads = 0;
            const auto estimate = [&] {
                EstimateCalculationTime(fields, kData.tables, [&] { return ++clockReads, 0; });
            };
            EXPECT_EQ(refusedField(estimate), refused);
            EXPECT_TRUE(refused < 0 || clockReads == 0);
        }
    }
}

TEST(CliRefusals, AnOptionIsRefusedWithExit2ByItsFieldsCaption) {
    // A component without a fraction takes no part, so --k3 -5 is computed.
    std::vector<std::tuple<std::string, std::string, int>> cases = {
        {"--tp", "-0", 12}, {"--k2", "-1,5", 4}, {"--k3", "-5", -1}};
    for (int field = 0; field < kFieldCount; ++field) {
        const std::string text = field % 2 ? "1E999" : std::string(1 << 20, '9');
        cases.emplace_back(std::string("--") + kFieldOptionNames[field], text, field);
    }
    for (const auto& [option, text, field] : cases) {
        for (const char* estimate : {"--estimate", "--csv"}) {
            std::ostringstream out, err;
            const int status =
                runCli({"--data", kDataFile, "--standard", "1", option, text, estimate}, out, err);
            EXPECT_EQ(status, field < 0 ? kCliOk : kCliRefused) << option << " " << estimate;
            const std::string words = "orvane-cli: refused: " + fieldCaption(std::max(field, 0));
            EXPECT_TRUE(field < 0 || (out.str().empty() && err.str().starts_with(words + ": ")))
                << err.str();
        }
    }
}

}  // namespace
}  // namespace orvane
