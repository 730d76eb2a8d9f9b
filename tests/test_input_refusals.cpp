// Whatever a physicist types into any one of the fifteen fields, the calculation gives a
// table of finite doses or refuses in words that name the field by its caption, and
// orvane-cli refuses the same with exit status 2. Each field takes each odd text in turn
// while the others hold the texts of Tc-99m DTPA.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/numtext.h"
#include "library/standards.h"

namespace orvane {
namespace {

const std::string kDataFile = std::string(ORVANE_SOURCE_DIR) + "/data/orvane.dat";

const StandardData& standardData() {
    static const StandardData data = LoadStandardData(kDataFile);
    return data;
}

constexpr int kDtpa = 1;

FieldTexts dtpaTexts() {
    return standardFieldTexts(standardData().library[kDtpa]).fields;
}

struct OddText {
    const char* label;
    std::string text;
};

const std::vector<OddText>& oddTexts() {
    static const std::vector<OddText> texts = {
        {"empty", ""},
        {"zero", "0"},
        {"negative", "-5"},
        {"overflowing", "1E999"},
        {"letters", "abc"},
        {"number then letters", " 12abc"},
        {"decimal comma", "1,5"},
        {"negative zero", "-0"},
        {"1 MB of digits", std::string(1 << 20, '9')},
        {"1 MB of letters", std::string(1 << 20, 'x')},
    };
    return texts;
}

bool isRateConstantField(int field) {
    return field < 12 && field % 3 == 1;
}

// What the rules say about field `field` holding `text` while the others hold DTPA's texts:
// an infinite value, a physical half-life that is not positive, and a negative rate
// constant on a component with a fraction are refused; everything else is computed.
bool shouldBeRefused(int field, const std::string& text) {
    const double value = textToNumber(text);
    if (!std::isfinite(value)) return true;
    if (field == 12) return value <= 0;
    if (isRateConstantField(field)) {
        const double fraction = standardData().library[kDtpa].fraction[field / 3];
        return fraction != 0 && value < 0;
    }
    return false;
}

// The refusal's message names the field by its caption and never by a control's name.
void expectNamesTheField(const std::string& message, int field) {
    EXPECT_TRUE(message.starts_with(fieldCaption(field) + ": ")) << message;
    EXPECT_FALSE(std::regex_search(message, std::regex("Text[0-9]"))) << message;
    EXPECT_LT(message.size(), 400u) << "the typed text is not echoed whole";
}

TEST(InputSweep, EveryFieldTakesEveryOddTextWithoutANonFiniteDose) {
    const ModelTables& tables = standardData().tables;
    for (int field = 0; field < kFieldCount; ++field) {
        for (const OddText& odd : oddTexts()) {
            SCOPED_TRACE(fieldCaption(field) + " holding " + odd.label);
            FieldTexts fields = dtpaTexts();
            fields[field] = odd.text;
            const bool refuse = shouldBeRefused(field, odd.text);
            try {
                const DoseResults results = RunCalculation(fields, "DTPA", tables);
                EXPECT_FALSE(refuse) << "computed instead of refused";
                for (const DoseTable& table : results.tables) {
                    for (const auto& row : table.dose) {
                        for (double dose : row) ASSERT_TRUE(std::isfinite(dose)) << dose;
                    }
                }
            } catch (const InputError& error) {
                EXPECT_TRUE(refuse) << "refused: " << error.what();
                EXPECT_EQ(error.field(), field);
                expectNamesTheField(error.what(), field);
            } catch (const CalculationError& error) {
                ADD_FAILURE() << "no field named: " << error.what();
            }

            // The time check refuses the same input, before any trial.
            int clockReads = 0;
            const SecondOfHourClock clock = [&clockReads] { return ++clockReads, 0; };
            try {
                const TimeEstimate estimate = EstimateCalculationTime(fields, tables, clock);
                EXPECT_FALSE(refuse);
                EXPECT_EQ(estimate.text, "<1 minute");
            } catch (const InputError& error) {
                EXPECT_TRUE(refuse);
                EXPECT_EQ(error.field(), field);
                EXPECT_EQ(clockReads, 0);
            }
        }
    }
}

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun runWith(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--data", kDataFile, "--standard", "1"});
    std::ostringstream out, err;
    const int status = runCli(arguments, out, err);
    return {status, out.str(), err.str()};
}

TEST(CliRefusals, EachFieldOptionIsRefusedByTheFieldsCaption) {
    for (int field = 0; field < kFieldCount; ++field) {
        const std::string option = std::string("--") + kFieldOptionNames[field];
        for (const std::string& text : {std::string("1E999"), std::string(1 << 20, '9')}) {
            for (const bool estimate : {false, true}) {
                std::vector<std::string> arguments = {option, text};
                if (estimate) arguments.push_back("--estimate");
                const CliRun run = runWith(arguments);
                SCOPED_TRACE(option + (estimate ? " --estimate" : ""));
                EXPECT_EQ(run.status, kCliRefused);
                EXPECT_TRUE(run.out.empty());
                EXPECT_TRUE(
                    run.err.starts_with("orvane-cli: refused: " + fieldCaption(field) + ": "))
                    << run.err;
            }
        }
    }
    for (const auto& [option, text] :
         std::vector<std::pair<std::string, std::string>>{{"--tp", ""},
                                                          {"--tp", "abc"},
                                                          {"--tp", "-5"},
                                                          {"--tp", "-0"},
                                                          {"--k1", "-5"},
                                                          {"--k2", "-1,5"}}) {
        const CliRun run = runWith({option, text});
        EXPECT_EQ(run.status, kCliRefused) << option << " " << text;
        EXPECT_NE(run.err.find(fieldCaption(option == "--tp"   ? 12
                                            : option == "--k1" ? 1
                                                               : 4)),
                  std::string::npos)
            << run.err;
    }
    // A component without a fraction takes no part, so its negative rate constant is fine.
    EXPECT_EQ(runWith({"--k3", "-5"}).status, kCliOk);
}

}  // namespace
}  // namespace orvane
