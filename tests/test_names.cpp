// Names as typed: nuclide spellings and agent names compared as one.

#include <gtest/gtest.h>

#include "library/names.h"

namespace orvane {
namespace {

TEST(Names, NuclideSpellingsReadAsOne) {
    const struct {
        const char* typed;
        const char* canonical;  // nullptr: not a nuclide
    } cases[] = {
        {"Tc-99m", "Tc-99m"},  {"99mTc", "Tc-99m"},  {"Tc99m", "Tc-99m"},
        {"tc-99m", "Tc-99m"},  {"99m-Tc", "Tc-99m"}, {" TC-99M ", "Tc-99m"},
        {"18F", "F-18"},       {"F18", "F-18"},      {"f-18", "F-18"},
        {"I-131", "I-131"},    {"131I", "I-131"},    {"In-111", "In-111"},
        {"113mIn", "In-113m"}, {"99Mo", "Mo-99"},    {"Ac-225", "Ac-225"},
        {"Lu177", "Lu-177"},   {"", nullptr},        {"Tc", nullptr},
        {"99m", nullptr},      {"Xx-99", nullptr},   {"Tc-99m DTPA", nullptr},
        {"Tc-0", nullptr},     {"Tc-1000", nullptr}, {"FDG-18", nullptr},
        {"18F2", nullptr},     {"Tc--99m", nullptr}, {"99mTcO4", nullptr},
    };
    for (const auto& c : cases) {
        const auto got = canonicalNuclide(c.typed);
        if (c.canonical == nullptr) {
            EXPECT_FALSE(got.has_value()) << c.typed << " -> " << got.value_or("");
        } else {
            EXPECT_EQ(got.value_or("(none)"), c.canonical) << c.typed;
        }
    }
}

TEST(Names, AgentNamesMatchAsTyped) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"F-18 FDG", "f-18 fdg", true},
        {"F-18 FDG", "18F FDG", true},
        {"F-18 FDG", "F18 FDG", true},
        {"F-18 FDG", "18F-FDG", true},
        {"Tc-99m DTPA", "99mTc-DTPA", true},
        {"Tc-99m MIBI-stress", "tc99m mibi stress", true},
        {"Lu-177 PSMA-617", "177Lu-PSMA617", true},
        {"Sr-89 Cl", "89Sr Cl", true},
        {"I-123 NaI", "I-131 NaI", false},
        {"Tc-99m MIBI-rest", "Tc-99m MIBI-stress", false},
        {"F-18 FDG", "F-18 FDG2", false},
        {"In-111 DTPA", "IN-111 dtpa", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sameName(c.a, c.b), c.same) << c.a << " | " << c.b;
    }
}

TEST(Names, SearchFindsPartsOfNames) {
    const struct {
        const char* name;
        const char* query;
        bool found;
    } cases[] = {
        {"Lu-177 PSMA-617 (vipivotide tetraxetan)", "psma", true},
        {"Lu-177 PSMA-617 (vipivotide tetraxetan)", "177Lu", true},
        {"Lu-177 PSMA-617 (vipivotide tetraxetan)", "Lu-17", true},
        {"Lu-177 PSMA-617 (vipivotide tetraxetan)", "  ", true},
        {"Tc-99m DTPA", "99mTc DTPA", true},
        {"Tc-99m DTPA", "MAG3", false},
        {"Ga-68 DOTATATE", "Lu-177", false},
        // By the elements' names: of nuclides, of words in the name and of formulas.
        {"Lu-177 PSMA-617", "lutetium", true},
        {"Lu-177 PSMA-617", "Lutetium PSMA", true},
        {"Lu-177 PSMA-617", "lutetium DOTATATE", false},
        {"I-131 NaI", "iodide", true},
        {"I-131 NaI", "sodium iodide", true},
        {"I-123 MIBG", "sodium iodide", false},
        {"F-18 sodium fluoride", "sodium iodide", false},
        {"Sr-89 Cl", "strontium chloride", true},
        {"F-18 fluciclovine", "lutetium", false},
        {"FACBC", "actinium", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nameContains(c.name, c.query), c.found) << c.name << " | " << c.query;
    }
}

}  // namespace
}  // namespace orvane
