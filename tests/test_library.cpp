// The shipped data file of standard values, the layouts it may take and the values derived
// from it. The ways to break the file are covered by test_data_file_faults.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <vector>

#include "library/standards.h"
#include "support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedFile = test::shippedDataFile();

// The numbers of the shipped file as written there, in order.
std::vector<std::string> shippedFields() {
    const std::string text = test::readFile(kShippedFile);
    const std::regex field("[^,\\s]+");
    return {std::sregex_token_iterator(text.begin(), text.end(), field), {}};
}

std::string onePerLine(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& field : fields) text += field + "\n";
    return text;
}

bool same(const StandardData& a, const StandardData& b) {
    const auto values = [](const StandardPharmaceutical& s) {
        return std::tie(s.name, s.fraction, s.rateConstant, s.biologicalHalfLife,
                        s.physicalHalfLife, s.delta, s.gamma);
    };
    return a.tables == b.tables &&
           std::equal(a.library.begin(), a.library.end(), b.library.begin(),
                      [&](auto& x, auto& y) { return values(x) == values(y); });
}

// The sourced values: fraction and rate constant (min^-1) of components 1 and 2, physical
// half-life (min), Delta, Gamma.
const std::pair<const char*, std::array<double, 7>> kSourced[kStandardCount] = {
    {"F-18 FDG", {0.06, 5.7750E-02, 0.18, 7.7000E-03, 109.77, 3.8710E-05, 4.1556E-04}},
    {"Tc-99m DTPA", {0.99, 6.9300E-03, 0.01, 6.8750E-05, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m pertechnetate", {0.25, 3.8500E-03, 0.12, 1.1550E-04, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m HEDP", {0.62, 1.1550E-02, 0.38, 5.2500E-04, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m MDP", {0.55, 1.1550E-02, 0.45, 2.6250E-04, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m HMPAO", {0.4, 3.8500E-03, 0, 0, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m glucoheptonate", {0.8, 6.93E-03, 0.15, 4.8125E-04, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m MAG3", {1, 4.0058E-02, 0, 0, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m HSA", {0.34, 2.4574E-03, 0, 0, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m RBCs", {0.34, 4.0291E-04, 0, 0, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m MIBI-rest", {0.33, 1.1550E-03, 0, 0, 360.9, 2.6025E-06, 5.5638E-05}},
    {"Tc-99m MIBI-stress", {0.3, 1.0711E-03, 0, 0, 360.9, 2.6025E-06, 5.5638E-05}},
    {"I-123 NaI", {0.65, 1.9250E-03, 0.28, 6.0156E-06, 796.2, 4.6044E-06, 1.1421E-04}},
    {"I-131 NaI", {0.65, 1.9250E-03, 0.28, 6.0156E-06, 11549.808, 3.0743E-05, 1.6054E-04}},
    {"I-123 OIH", {1, 4.0058E-02, 0, 0, 796.2, 4.6044E-06, 1.1421E-04}},
    {"I-124 OIH", {1, 4.0058E-02, 0, 0, 6013.44, 3.1188E-05, 4.7140E-04}},
    {"I-131 OIH", {1, 4.0058E-02, 0, 0, 11549.808, 3.0743E-05, 1.6054E-04}},
    {"I-125 iothalamate", {0.99, 6.9300E-03, 0.01, 6.8750E-05, 85536, 3.2308E-06, 1.0079E-04}},
    {"In-111 DTPA", {0.99, 6.9300E-03, 0.01, 6.8750E-05, 4038.768, 5.6381E-06, 2.2987E-04}},
    {"Sr-89 Cl", {0.33, 1.6042E-04, 0, 0, 72763.2, 9.3653E-05, 3.4991E-08}},
};

TEST(ShippedFile, EveryStandardHasItsSourcedValuesAndTheGridsAndQuadrature) {
    const StandardData data = LoadStandardData(kShippedFile);
    const auto halfLife = [](double k) { return k == 0 ? 0 : 0.693 / k; };
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardPharmaceutical& s = data.library[i];
        EXPECT_EQ(s.name, kSourced[i].first);
        // In the order of the input fields: f, k, Tbio of components 1 to 4, Tp, Delta, Gamma.
        const auto& [f1, k1, f2, k2, tp, delta, gamma] = kSourced[i].second;
        const double expected[] = {f1, k1, halfLife(k1), f2,    k2,   halfLife(k2), 0, 0, 0, 0,
                                   0,  0,  tp,           delta, gamma};
        std::vector<double> loaded;
        for (int c = 0; c < kComponentCount; ++c) {
            loaded.insert(loaded.end(),
                          {s.fraction[c], s.rateConstant[c], s.biologicalHalfLife[c]});
        }
        loaded.insert(loaded.end(), {s.physicalHalfLife, s.delta, s.gamma});
        for (int j = 0; j < kFieldCount; ++j) {  // to the five significant digits of the sources
            EXPECT_NEAR(loaded[j], expected[j], expected[j] * 1e-4) << s.name << " field " << j;
        }
    }
    const ModelTables& tables = data.tables;
    EXPECT_EQ(tables.v0Grid, (V0Grid{10, 50, 100, 200, 300, 400, 500}));
    EXPECT_EQ(tables.t0Grid, (T0Grid{20, 40, 60, 80, 100, 120, 140, 160, 180}));
    // Used at +x and -x, the rule integrates every polynomial up to degree 31 exactly; at
    // degree 0 this means that the weights sum to 1.
    for (int power = 0; power <= 30; power += 2) {
        double sum = 0;
        for (int i = 0; i < kNodeCount; ++i) {
            sum += 2 * tables.quadratureWeights[i] * std::pow(tables.quadratureNodes[i], power);
        }
        EXPECT_NEAR(sum, 2.0 / (power + 1), 1e-15) << "x^" << power;
    }
}

TEST(FileErrors, NamePlaceAndReasonAndLeaveThePreviousDataWhole) {
    StandardData data = LoadStandardData(kShippedFile);
    const StandardData before = data;
    const auto failureOf = [&data](const std::function<StandardData()>& load) -> std::string {
        try {
            data = load();
        } catch (const DataFileError& error) {
            return error.what();
        }
        return "(loaded)";
    };
    std::vector<std::string> fields = shippedFields();
    const auto parse = [&fields] { return parseStandardData(onePerLine(fields), "f.dat"); };
    fields.pop_back();  // all but the last quadrature weight
    EXPECT_EQ(failureOf(parse),
              "f.dat: number 252 (section 8, quadrature weight 8): the file ends after number "
              "251; expected 252 numbers");
    fields = shippedFields();
    fields[179] = "0.0E+00";  // the decay constant of the last standard
    EXPECT_EQ(failureOf(parse),
              "f.dat: number 180 (section 2, physical decay constant of standard 19 \"Sr-89 "
              "Cl\"), line 180: the physical decay constant is 0, so the physical half-life "
              "0.693 / 0 is undefined");
    const std::string folder = ORVANE_TEST_DATA, missing = folder + "/missing.dat";
    EXPECT_EQ(failureOf([&] { return LoadStandardData(missing); }),
              missing + ": cannot read: " + std::strerror(ENOENT));
    EXPECT_EQ(failureOf([&] { return LoadStandardData(folder); }),
              folder + ": cannot read: " + std::strerror(EISDIR));
    EXPECT_TRUE(same(data, before));
}

TEST(Parsing, TheFirst252NumbersInAnyLayoutAndTheHalfLivesFromThem) {
    const StandardData shipped = LoadStandardData(kShippedFile);  // eight to a line
    std::vector<std::string> fields = shippedFields();
    EXPECT_TRUE(same(parseStandardData(onePerLine(fields), "one per line"), shipped));
    // A 253rd number, and anything after it, is not read.
    fields.push_back("7, not data at all");
    const std::string oneLine = std::regex_replace(onePerLine(fields), std::regex("\n"), ", ");
    EXPECT_TRUE(same(parseStandardData(oneLine, "one line"), shipped));

    fields[5] = "0.00693";     // k2 of F-18 FDG
    fields[160] = "1.925e-3";  // its decay constant
    const StandardPharmaceutical s = parseStandardData(onePerLine(fields), "f").library[0];
    EXPECT_NEAR(s.biologicalHalfLife[1], 100.0, 1e-12);
    EXPECT_NEAR(s.physicalHalfLife, 360.0, 1e-12);
}

TEST(StandardFieldTexts, ZeroComponentValuesStayEmptyOthersAreScientific) {
    const StandardFieldTexts texts =
        standardFieldTexts({"Mine", {0.5, 0.25, 0, 0}, {0.00693, 0, 0, 0}, {100, 0, 0, 0}, 110});
    EXPECT_EQ(texts.fields, (FieldTexts{"5.00E-01", "6.93E-03", "1.00E+02", "2.50E-01", "", "", "",
                                        "", "", "", "", "", "1.10E+02", "0.00E+00", "0.00E+00"}));
    EXPECT_EQ(texts.name, "Mine");
}

}  // namespace
}  // namespace orvane
