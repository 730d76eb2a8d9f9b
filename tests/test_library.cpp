#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "library/standards.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedFile = fs::path(ORVANE_SOURCE_DIR) / "data" / "orvane.dat";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The fields of the shipped file, as written there.
std::vector<std::string> shippedFields() {
    std::vector<std::string> fields;
    std::string field;
    for (char c : readFile(kShippedFile) + "\n") {
        if (c == ',' || c == '\n') {
            const auto first = field.find_first_not_of(" \t\r");
            if (first != std::string::npos) {
                fields.push_back(field.substr(first, field.find_last_not_of(" \t\r") + 1 - first));
            }
            field.clear();
        } else {
            field += c;
        }
    }
    return fields;
}

// The fields joined `perLine` to a line, with a given separator and line end.
std::string joinFields(const std::vector<std::string>& fields, int perLine,
                       const std::string& separator = ", ", const std::string& lineEnd = "\n") {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text += fields[i];
        text += (i + 1) % perLine == 0 || i + 1 == fields.size() ? lineEnd : separator;
    }
    return text;
}

// The shipped numbers one per line, with number `number` (1-based) replaced.
std::string oneWithReplaced(int number, const std::string& replacement) {
    std::vector<std::string> fields = shippedFields();
    fields.at(number - 1) = replacement;
    return joinFields(fields, 1);
}

void expectSameData(const StandardData& a, const StandardData& b) {
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardPharmaceutical& x = a.library[i];
        const StandardPharmaceutical& y = b.library[i];
        EXPECT_TRUE(
            x.name == y.name && x.fraction == y.fraction && x.rateConstant == y.rateConstant &&
            x.biologicalHalfLife == y.biologicalHalfLife &&
            x.physicalHalfLife == y.physicalHalfLife && x.delta == y.delta && x.gamma == y.gamma)
            << "standard " << i;
    }
    EXPECT_EQ(a.tables, b.tables);
}

// The sourced values: f, T (min, 0 when absent), k (min^-1), Tp (min), Delta, Gamma.
struct SourcedRow {
    const char* name;
    double f1, t1, k1, f2, t2, k2, tp, delta, gamma;
};
constexpr SourcedRow kSourced[kStandardCount] = {
    {"F-18 FDG", 0.06, 12, 5.7750E-02, 0.18, 90, 7.7000E-03, 109.77, 3.8710E-05, 4.1556E-04},
    {"Tc-99m DTPA", 0.99, 100, 6.9300E-03, 0.01, 10080, 6.8750E-05, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m pertechnetate", 0.25, 180, 3.8500E-03, 0.12, 6000, 1.1550E-04, 360.9, 2.6025E-06,
     5.5638E-05},
    {"Tc-99m HEDP", 0.62, 60, 1.1550E-02, 0.38, 1320, 5.2500E-04, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m MDP", 0.55, 60, 1.1550E-02, 0.45, 2640, 2.6250E-04, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m HMPAO", 0.4, 180, 3.8500E-03, 0, 0, 0, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m glucoheptonate", 0.8, 100, 6.9300E-03, 0.15, 1440, 4.8125E-04, 360.9, 2.6025E-06,
     5.5638E-05},
    {"Tc-99m MAG3", 1, 17.3, 4.0058E-02, 0, 0, 0, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m HSA", 0.34, 282, 2.4574E-03, 0, 0, 0, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m RBCs", 0.34, 1720, 4.0291E-04, 0, 0, 0, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m MIBI-rest", 0.33, 600, 1.1550E-03, 0, 0, 0, 360.9, 2.6025E-06, 5.5638E-05},
    {"Tc-99m MIBI-stress", 0.3, 600, 1.1550E-03, 0, 0, 0, 360.9, 2.6025E-06, 5.5638E-05},
    {"I-123 NaI", 0.65, 360, 1.9250E-03, 0.28, 115200, 6.0156E-06, 796.2, 4.6044E-06, 1.1421E-04},
    {"I-131 NaI", 0.65, 360, 1.9250E-03, 0.28, 115200, 6.0156E-06, 11549.808, 3.0743E-05,
     1.6054E-04},
    {"I-123 OIH", 1, 17.3, 4.0058E-02, 0, 0, 0, 796.2, 4.6044E-06, 1.1421E-04},
    {"I-124 OIH", 1, 17.3, 4.0058E-02, 0, 0, 0, 6013.44, 3.1188E-05, 4.7140E-04},
    {"I-131 OIH", 1, 17.3, 4.0058E-02, 0, 0, 0, 11549.808, 3.0743E-05, 1.6054E-04},
    {"I-125 iothalamate", 0.99, 100, 6.9300E-03, 0.01, 10080, 6.8750E-05, 85536, 3.2308E-06,
     1.0079E-04},
    {"In-111 DTPA", 0.99, 100, 6.9300E-03, 0.01, 10080, 6.8750E-05, 4038.768, 5.6381E-06,
     2.2987E-04},
    {"Sr-89 Cl", 0.53, 4320, 1.6042E-04, 0, 0, 0, 72763.2, 9.3653E-05, 3.4991E-08},
};

// Agreement to the five significant digits of the sourced table.
void expectClose(double expected, double actual, const char* what) {
    EXPECT_NEAR(actual, expected, std::abs(expected) * 1e-4) << what;
}

TEST(ShippedFile, EveryStandardHasItsSourcedValues) {
    const StandardData data = LoadStandardData(kShippedFile);
    for (int i = 0; i < kStandardCount; ++i) {
        const SourcedRow& row = kSourced[i];
        const StandardPharmaceutical& s = data.library[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(s.name, row.name);
        EXPECT_EQ(s.fraction, (std::array<double, 4>{row.f1, row.f2, 0, 0}));
        expectClose(row.k1, s.rateConstant[0], "k1");
        expectClose(row.k2, s.rateConstant[1], "k2");
        EXPECT_EQ(s.rateConstant[2] + s.rateConstant[3], 0.0);
        expectClose(row.t1, s.biologicalHalfLife[0], "T1 = 0.693 / k1");
        expectClose(row.t2, s.biologicalHalfLife[1], "T2 = 0.693 / k2");
        EXPECT_EQ(s.biologicalHalfLife[2] + s.biologicalHalfLife[3], 0.0);
        expectClose(row.tp, s.physicalHalfLife, "Tp = 0.693 / decay constant");
        expectClose(row.delta, s.delta, "Delta");
        expectClose(row.gamma, s.gamma, "Gamma");
    }
}

TEST(ShippedFile, GridsAndSixteenPointGaussLegendreRule) {
    const ModelTables tables = LoadStandardData(kShippedFile).tables;
    EXPECT_EQ(tables.v0Grid, (V0Grid{10, 50, 100, 200, 300, 400, 500}));
    EXPECT_EQ(tables.t0Grid, (T0Grid{20, 40, 60, 80, 100, 120, 140, 160, 180}));
    EXPECT_EQ(tables.quadratureNodes[0], 0.095012509837637440);
    EXPECT_EQ(tables.quadratureWeights[7], 0.027152459411754095);
    // Used at +x and -x, the rule integrates every polynomial up to degree 31 exactly.
    for (int power = 0; power <= 30; power += 2) {
        double sum = 0;
        for (int i = 0; i < kNodeCount; ++i) {
            sum += 2 * tables.quadratureWeights[i] * std::pow(tables.quadratureNodes[i], power);
        }
        EXPECT_NEAR(sum, 2.0 / (power + 1), 1e-15) << "x^" << power;
    }
}

TEST(ShippedFile, BuildTreeHoldsItWhereTheProgramsLookForIt) {
    const fs::path bin = fs::path(ORVANE_BUILD_DIR) / "bin";
    EXPECT_EQ(fs::weakly_canonical(executableDirectory()), fs::weakly_canonical(bin));
    EXPECT_EQ(dataFilePathFor("/opt/orvane/bin"), fs::path("/opt/orvane/share/orvane/orvane.dat"));
    expectSameData(LoadStandardData(dataFilePathFor(bin)), LoadStandardData(kShippedFile));
}

TEST(FileLayout, SpreadOverLinesAnyWayLoadsTheSameValues) {
    const StandardData shipped = LoadStandardData(kShippedFile);
    const std::vector<std::string> fields = shippedFields();
    ASSERT_EQ(fields.size(), static_cast<std::size_t>(kDataFileNumberCount));
    expectSameData(parseStandardData(joinFields(fields, 1), "one per line"), shipped);
    expectSameData(parseStandardData(joinFields(fields, 100, ",", "\r\n"), "long lines"), shipped);
    expectSameData(parseStandardData("\r\n \t\r\n" + joinFields(fields, 7, " \t,\t ", ",\r\n\r\n"),
                                     "blanks, empty lines and a trailing comma"),
                   shipped);
    // A 253rd number, and anything else after the 252nd, is not read.
    expectSameData(parseStandardData(joinFields(fields, 1) + "7\nnot data at all", "extra"),
                   shipped);
}

TEST(FileLayout, TooFewNumbersFailAtTheFirstMissingOne) {
    std::vector<std::string> fields = shippedFields();
    fields.pop_back();
    try {
        parseStandardData(joinFields(fields, 10), "short.dat");
        FAIL() << "251 numbers loaded";
    } catch (const DataFileError& error) {
        EXPECT_EQ(error.file(), "short.dat");
        EXPECT_EQ(error.position(), "number 252 (section 8, quadrature weight 8)");
        EXPECT_EQ(error.reason(), "the file ends after number 251; expected 252 numbers");
        EXPECT_EQ(std::string(error.what()),
                  "short.dat: " + error.position() + ": " + error.reason());
    }
    EXPECT_THROW(parseStandardData("", "empty.dat"), DataFileError);
}

// The position of a failure at `number`, placed one per line.
std::string positionOfBadNumber(int number, const std::string& field = "x") {
    try {
        parseStandardData(oneWithReplaced(number, field), "f");
    } catch (const DataFileError& error) {
        return error.position();
    }
    return "(loaded)";
}

TEST(FileErrors, PositionNamesNumberSectionQuantityAndLine) {
    EXPECT_EQ(positionOfBadNumber(1),
              "number 1 (section 1, fraction of component 1 of standard 0 \"F-18 FDG\"), line 1");
    EXPECT_EQ(positionOfBadNumber(16),
              "number 16 (section 1, biological rate constant of component 4 of standard 1 "
              "\"Tc-99m DTPA\"), line 16");
    EXPECT_EQ(positionOfBadNumber(166, "0"),
              "number 166 (section 2, physical decay constant of standard 5 \"Tc-99m HMPAO\"), "
              "line 166");
    EXPECT_EQ(positionOfBadNumber(181),
              "number 181 (section 3, Delta of standard 0 \"F-18 FDG\"), line 181");
    EXPECT_EQ(positionOfBadNumber(220),
              "number 220 (section 4, Gamma of standard 19 \"Sr-89 Cl\"), line 220");
    EXPECT_EQ(positionOfBadNumber(227),
              "number 227 (section 5, initial bladder volume V0 7), line 227");
    EXPECT_EQ(positionOfBadNumber(228), "number 228 (section 6, first-void time T0 1), line 228");
    EXPECT_EQ(positionOfBadNumber(244), "number 244 (section 7, quadrature node 8), line 244");
    EXPECT_EQ(positionOfBadNumber(245), "number 245 (section 8, quadrature weight 1), line 245");
}

std::string reasonForField(const std::string& field) {
    try {
        parseStandardData(oneWithReplaced(100, field), "f");
    } catch (const DataFileError& error) {
        return error.reason();
    }
    return "(loaded)";
}

TEST(FileErrors, EveryFieldMustBeOneFiniteDecimalNumber) {
    EXPECT_EQ(reasonForField("abc"), "\"abc\" is not a number");
    EXPECT_EQ(reasonForField(" 1.5 x "), "\"1.5 x\" is not a number");
    EXPECT_EQ(reasonForField("0x10"), "\"0x10\" is not a number");
    EXPECT_EQ(reasonForField("inf"), "\"inf\" is not a number");
    EXPECT_EQ(reasonForField(std::string(60, '#')),
              "\"" + std::string(40, '#') + "...\" is not a number");
    EXPECT_EQ(reasonForField("1E999"), "\"1E999\" is too large for a number");
    EXPECT_EQ(reasonForField("1,,2"), "empty field: two separators with no number between them");
    EXPECT_EQ(reasonForField("+.5e-3"), "(loaded)");
    EXPECT_EQ(reasonForField("-2."), "(loaded)");
}

TEST(FileErrors, ZeroDecayConstantIsRefusedAndOtherZerosAreNot) {
    EXPECT_EQ(reasonForField("0"), "(loaded)");  // number 100 is a fraction
    try {
        parseStandardData(oneWithReplaced(180, "0.0E+00"), "zero.dat");
        FAIL() << "loaded a zero decay constant";
    } catch (const DataFileError& error) {
        EXPECT_NE(error.position().find("physical decay constant of standard 19 \"Sr-89 Cl\""),
                  std::string::npos);
        EXPECT_NE(error.reason().find("decay constant is 0"), std::string::npos);
    }
}

TEST(FileErrors, UnreadableFilesCarryTheSystemReason) {
    const fs::path folder =
        fs::temp_directory_path() / ("library-test-" + std::to_string(getpid()));
    fs::create_directories(folder / "a-folder");
    auto reasonFor = [](const fs::path& path) {
        try {
            LoadStandardData(path);
        } catch (const DataFileError& error) {
            EXPECT_EQ(error.file(), path.string());
            return error.reason();
        }
        return std::string("(loaded)");
    };
    EXPECT_EQ(reasonFor(folder / "missing.dat"),
              std::string("cannot open: ") + std::strerror(ENOENT));
    EXPECT_EQ(reasonFor(folder / "a-folder"), std::string("cannot read: ") + std::strerror(EISDIR));
    std::ofstream(folder / "garbage.dat", std::ios::binary) << "\x7f"
                                                               "ELF\x02\x01\x01";
    EXPECT_EQ(reasonFor(folder / "garbage.dat"), "\"?ELF???\" is not a number");
    if (geteuid() != 0) {  // root reads any file
        std::ofstream(folder / "locked.dat") << readFile(kShippedFile);
        fs::permissions(folder / "locked.dat", fs::perms::none);
        EXPECT_EQ(reasonFor(folder / "locked.dat"),
                  std::string("cannot open: ") + std::strerror(EACCES));
    }
    fs::remove_all(folder);
}

TEST(FileErrors, FailedReloadLeavesThePreviousDataWhole) {
    StandardData data = LoadStandardData(kShippedFile);
    const StandardData before = data;
    std::vector<std::string> fields = shippedFields();
    fields.resize(200);  // the standards' values complete, the grids missing
    EXPECT_THROW(data = parseStandardData(joinFields(fields, 1), "half.dat"), DataFileError);
    expectSameData(data, before);
}

TEST(DerivedHalfLives, UseTheNumerator0693) {
    std::vector<std::string> fields = shippedFields();
    fields[5] = "0.00693";     // k2 of F-18 FDG
    fields[160] = "1.925e-3";  // decay constant of F-18 FDG
    const StandardPharmaceutical s = parseStandardData(joinFields(fields, 8), "f").library[0];
    EXPECT_NEAR(s.biologicalHalfLife[1], 100.0, 1e-12);
    EXPECT_EQ(s.biologicalHalfLife[2], 0.0);
    EXPECT_NEAR(s.physicalHalfLife, 360.0, 1e-12);
}

TEST(StandardFieldTexts, ZeroComponentValuesStayEmptyOthersAreScientific) {
    StandardPharmaceutical s;
    s.name = "Mine";
    s.fraction = {0.5, 0.25, 0, 0};
    s.rateConstant = {0.00693, 0, 0, 0};
    s.biologicalHalfLife = {100, 0, 0, 0};
    s.physicalHalfLife = 110;
    const StandardFieldTexts texts = standardFieldTexts(s);
    EXPECT_EQ(texts.fields, (FieldTexts{"5.00E-01", "6.93E-03", "1.00E+02", "2.50E-01", "", "", "",
                                        "", "", "", "", "", "1.10E+02", "0.00E+00", "0.00E+00"}));
    EXPECT_EQ(texts.name, "Mine");

    const StandardPharmaceutical mag3 = LoadStandardData(kShippedFile).library[7];
    EXPECT_EQ(standardFieldTexts(mag3).fields,
              (FieldTexts{"1.00E+00", "4.01E-02", "1.73E+01", "", "", "", "", "", "", "", "", "",
                          "3.61E+02", "2.60E-06", "5.56E-05"}));
    EXPECT_EQ(standardFieldTexts(mag3).name, "Tc-99m MAG3");
}

TEST(InformationText, InstructionsThenABlankLineThenTheReference) {
    const std::string text = informationText();
    const std::string start =
        "Choose a standard radiopharmaceutical from the list or enter your own data. You may "
        "also modify the standard data. When all of the data are correct, check the time for "
        "calculation, and, if acceptable, push the 'Calculate Doses' button.\r\n\r\nReference: ";
    EXPECT_EQ(text.substr(0, start.size()), start);
    EXPECT_EQ(text.find('\n', start.size()), std::string::npos);
    EXPECT_NE(text.find("README, section \"The model\""), std::string::npos);
}

}  // namespace
}  // namespace orvane
