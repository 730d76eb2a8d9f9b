// Whatever a physicist types into any one of the fifteen fields, the calculation gives a
// table of finite doses or refuses in words that name the field by its caption, and
// orvane-cli refuses the same with exit status 2. Each field takes each odd text in turn
// while the others hold the texts of Tc-99m DTPA.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "cli/cli.h"
#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/numtext.h"
#include "library/standards.h"
#include "library/warnings.h"
#include "support.h"

namespace orvane {
namespace {

const StandardPharmaceutical& dtpa() {
    return test::shippedData().library[1];
}

// The rules: a text that is not wholly a number, an infinite value, a physical half-life
// that is not positive, a negative rate constant on a component with a fraction, a biological
// half-life that is not positive on a component with a fraction and a rate constant, and a
// negative Delta or Gamma are refused; all else is computed.
bool shouldBeRefused(int field, const std::string& text) {
    const std::string_view trimmed = trimBlanks(text);
    if (!trimmed.empty() && !isWholeNumber(trimmed)) return true;
    const double value = textToNumber(trimmed);
    const int c = field / 3;
    const bool takesPart = field < 12 && dtpa().fraction[c] != 0 && dtpa().rateConstant[c] != 0;
    return !std::isfinite(value) || (field == 12 && value <= 0) ||
           (field < 12 && field % 3 == 1 && dtpa().fraction[c] != 0 && value < 0) ||
           (field < 12 && field % 3 == 2 && takesPart && value <= 0) || (field > 12 && value < 0);
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
    const std::string texts[] = {"",
                                 "0",
                                 "-5",
                                 "1E999",
                                 "abc",
                                 " 12abc",
                                 "1,5",
                                 "-0",
                                 " 7.5\t",
                                 "1E",
                                 "5 %",
                                 std::string(1 << 20, '9'),
                                 std::string(1 << 20, '9') + "x"};
    for (int field = 0; field < kFieldCount; ++field) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(fieldCaption(field) + " holding \"" + text.substr(0, 8) + "\"");
            FieldTexts fields = standardFieldTexts(dtpa()).fields;
            fields[field] = text;
            const int refused = shouldBeRefused(field, text) ? field : -1;
            const auto calculate = [&] {
                for (const DoseTable& table :
                     RunCalculation(fields, "DTPA", test::shippedTables()).tables) {
                    for (const auto& row : table.dose) {
                        for (double dose : row) ASSERT_TRUE(std::isfinite(dose)) << dose;
                    }
                }
            };
            EXPECT_EQ(refusedField(calculate), refused);
            // The time check refuses the same input, before it reads the clock for a trial.
            int clockReads = 0;
            const auto estimate = [&] {
                EstimateCalculationTime(fields, test::shippedTables(),
                                        [&] { return ++clockReads, 0; });
            };
            EXPECT_EQ(refusedField(estimate), refused);
            EXPECT_TRUE(refused < 0 || clockReads == 0);
        }
    }
}

// What a refusal says about a typed text: the caption, the text quoted, what to type.
TEST(InputMessages, SayWhatWasTypedAndWhatToTypeInstead) {
    const std::vector<std::tuple<int, std::string, std::string>> cases{
        {0, "0,06",
         "Fraction, component 1: \"0,06\" is not a number; use a decimal point, as in 0.06."},
        {12, " 109,8 ", "Physical Half-Life (min): \"109,8\" is not a number; use a decimal point"},
        {12, "6.01 h",
         "\"6.01 h\" is not a number; type the number only; the unit is in the caption."},
        {3, "6%", "\"6%\" is not a number; type the number only; the unit"},
        {2, "17.3\xC2\xB5", "type the number only"},
        {0, "1/16", "\"1/16\" is not a number; type one decimal number, as in 0.5"},
        {13, "2.6E", "\"2.6E\" is not a number; type one decimal number"},
        {1, "1,2,3", "type one decimal number"},
        {13, std::string(50, '7') + "\xC3\xA9", "\"" + std::string(40, '7') + "...\" is not"},
        {14, std::string(39, '7') + "\xC3\xA9", "\"" + std::string(39, '7') + "...\" is not"},
        // Sr-89 without its biological half-life would come out ten times too low.
        {2, "",
         "Biological Half-Life (min), component 1: the biological half-life is empty, 0 "
         "or negative while the component's fraction and rate constant are not 0. Enter the "
         "half-life in minutes; 0.693/k gives 1.00E+02 min."},
        {5, "-0", "0.693/k gives 1.01E+04 min."},
        {13, "-2.6E-06", "Delta (mGy-kg/MBq-s): the value is negative (-2.60E-06)"},
        {14, "-5.56E-05", "Gamma (mGy-cm^2/MBq-s): the value is negative (-5.56E-05)"}};
    for (const auto& [field, text, words] : cases) {
        FieldTexts fields = standardFieldTexts(dtpa()).fields;
        fields[field] = text;
        const int refused =
            refusedField([&] { RunCalculation(fields, "", test::shippedTables()); });
        EXPECT_EQ(refused, field) << text;
        std::string message;
        try {
            EstimateCalculationTime(fields, test::shippedTables());
        } catch (const InputError& error) {
            message = error.what();
        }
        EXPECT_NE(message.find(words), std::string::npos) << message;
    }
    // A component that takes no part may leave its half-life blank.
    FieldTexts fields = standardFieldTexts(dtpa()).fields;
    fields[3] = "", fields[5] = "";
    EXPECT_NO_THROW(RunCalculation(fields, "", test::shippedTables()));
    fields[3] = "0.01", fields[4] = "0";
    EXPECT_NO_THROW(RunCalculation(fields, "", test::shippedTables()));
}

// Doubtful input is computed and told: which fields, with the numbers.
TEST(InputWarnings, NameTheFieldsAndTheNumbers) {
    for (const StandardPharmaceutical& standard : test::shippedData().library) {
        EXPECT_TRUE(fieldWarnings(standardFieldTexts(standard).fields).empty()) << standard.name;
    }
    using Edits = std::vector<std::pair<int, std::string>>;
    const std::vector<std::tuple<Edits, std::vector<int>, std::string>> cases{
        {{{0, "1.0"}, {3, "0.8"}},
         {0},
         "Fraction, component 1: the fractions add up to 1.8 (1.0 + 0.8)"},
        {{{0, "0.33"}, {3, "0.56"}, {6, "0.11"}}, {}, ""},  // 1.0000000000000002 is 1
        {{{0, "1.2"}, {3, "0"}}, {0}, "Fraction, component 1: 1.2 lies outside -1 to 1"},
        {{{0, "-1"}, {3, "1"}}, {0}, "Fraction, component 1: -1 is negative"},
        {{{0, "-0.2"}}, {0}, "-0.2 is negative: this component takes activity out"},
        {{{3, "-1.5"}}, {3}, "Fraction, component 2: -1.5 lies outside"},
        // MAG3's half-life with a rate constant 40 times too small.
        {{{1, "0.001"}, {2, " 17.3"}},
         {2},
         "Biological Half-Life (min), component 1: 17.3 min, but the rate constant 0.001 min^-1 "
         "gives 0.693/k = 693 min, more than 1 % apart."},
        {{{2, "100.9"}, {5, "10000"}}, {}, ""},  // 0.693/k = 100 and 10072.7: within 1 %
        {{{2, "101.1"}}, {2}, "0.693/k = 100 min"},
        {{{4, "0"}}, {}, ""},  // no rate constant: nothing to compare
        {{{13, ""}},
         {13},
         "Delta (mGy-kg/MBq-s): blank while Gamma is set, so the doses leave "
         "out the non-penetrating emissions."},
        {{{14, " "}}, {14}, "Gamma (mGy-cm^2/MBq-s): blank while Delta is set"},
        {{{13, ""}, {14, ""}}, {}, ""},
        {{{0, "3"}, {3, "2"}, {1, "1"}}, {0, 0, 3, 2}, ""}};
    for (const auto& [edits, fields, words] : cases) {
        FieldTexts texts = standardFieldTexts(dtpa()).fields;
        for (const auto& [field, text] : edits) texts[field] = text;
        const std::vector<Warning> warnings = fieldWarnings(texts);
        std::vector<int> warned;
        for (const Warning& warning : warnings) {
            const auto key = std::find(kFieldKeys.begin(), kFieldKeys.end(), warning.path);
            ASSERT_NE(key, kFieldKeys.end()) << warning.path;
            warned.push_back(static_cast<int>(key - kFieldKeys.begin()));
            EXPECT_TRUE(warning.message.starts_with(fieldCaption(warned.back()) + ": "));
        }
        EXPECT_EQ(warned, fields) << (warnings.empty() ? "" : warnings.front().message);
        if (!words.empty() && !warnings.empty()) {
            EXPECT_NE(warnings.front().message.find(words), std::string::npos)
                << warnings.front().message;
        }
        EXPECT_NO_THROW(RunCalculation(texts, "", test::shippedTables()));  // never refused
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
            const test::CliRun run = test::cli({"--standard", "1", option, text, estimate});
            EXPECT_EQ(run.status, field < 0 ? kCliOk : kCliRefused) << option << " " << estimate;
            const std::string words = "orvane-cli: refused: " + fieldCaption(std::max(field, 0));
            EXPECT_TRUE(field < 0 || (run.out.empty() && run.err.starts_with(words + ": ")))
                << run.err;
        }
    }
    // Doubtful input is computed and warned about on standard error, in every table mode.
    for (const char* mode : {"--estimate", "--csv"}) {
        const test::CliRun run = test::cli({"--standard", "1", "--f1", "1.0", "--f2", "0.8", mode});
        EXPECT_EQ(run.status, kCliOk);
        EXPECT_FALSE(run.out.empty());
        EXPECT_EQ(run.err,
                  "orvane-cli: warning: Fraction, component 1: the fractions add up to 1.8 (1.0 + "
                  "0.8), more than 1: more activity reaches the urine than was administered.\n");
    }
}

}  // namespace
}  // namespace orvane
