// Every dose of the twenty standards, as a calculation from the input window gives it,
// against tests/data/expected-doses.csv (17 significant digits, compared at a relative
// 1e-12), and the README's example table against that file. A change to the model or to
// the data file shows here; ORVANE_REGENERATE_GOLDEN=1 rewrites the file on purpose.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "engine/numtext.h"
#include "support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const fs::path kExpectedFile = fs::path(ORVANE_TEST_DATA) / "expected-doses.csv";
constexpr const char* kHeader = "standard,name,schedule,V0_ml,T0_min,dose_mGy_per_MBq";
constexpr double kTolerance = 1e-12;

// [standard][schedule] of the current code.
using AllDoses = std::array<std::array<DoseTable, kScheduleCount>, kStandardCount>;

AllDoses computeAll() {
    AllDoses doses{};
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardFieldTexts shown = standardFieldTexts(test::shippedData().library[i]);
        doses[i] = RunCalculation(shown.fields, shown.name, test::shippedTables()).tables;
    }
    return doses;
}

std::string csvOf(const AllDoses& doses) {
    std::ostringstream out;
    out << kHeader << "\n";
    const ModelTables& grids = test::shippedTables();
    for (int i = 0; i < kStandardCount; ++i) {
        for (int s = 0; s < kScheduleCount; ++s) {
            for (int v = 0; v < kV0Count; ++v) {
                for (int t = 0; t < kT0Count; ++t) {
                    char dose[40];
                    std::snprintf(dose, sizeof dose, "%.17g", doses[i][s].at(t, v));
                    out << i << "," << kStandardNames[i] << "," << s << ","
                        << formatWhole(grids.v0Grid[v]) << "," << formatWhole(grids.t0Grid[t])
                        << "," << dose << "\n";
                }
            }
        }
    }
    return out.str();
}

// The doses of the committed file, in the order csvOf writes them.
std::vector<double> committedDoses() {
    std::istringstream in(test::readFile(kExpectedFile));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, kHeader) << kExpectedFile;
    std::vector<double> doses;
    while (std::getline(in, line))
        doses.push_back(std::strtod(line.substr(line.rfind(',') + 1).c_str(), nullptr));
    return doses;
}

TEST(ExpectedDoses, EveryStandardAsCommitted) {
    const AllDoses doses = computeAll();
    if (test::regeneratingExpectedFiles()) {
        std::ofstream(kExpectedFile, std::ios::binary | std::ios::trunc) << csvOf(doses);
        GTEST_SKIP() << "rewrote " << kExpectedFile;
    }
    const std::vector<double> expected = committedDoses();
    ASSERT_EQ(expected.size(), std::size_t{kStandardCount * kScheduleCount * kV0Count * kT0Count});
    std::size_t row = 0;
    for (int i = 0; i < kStandardCount; ++i) {
        for (int s = 0; s < kScheduleCount; ++s) {
            for (int v = 0; v < kV0Count; ++v) {
                for (int t = 0; t < kT0Count; ++t, ++row) {
                    const double got = doses[i][s].at(t, v);
                    EXPECT_LE(std::fabs(got - expected[row]), kTolerance * std::fabs(expected[row]))
                        << kStandardNames[i] << " schedule " << s << " V0 index " << v
                        << " T0 index " << t << ": " << got << ", expected " << expected[row]
                        << " (line " << row + 2 << ")";
                }
            }
        }
    }
}

// The README shows the first table of Tc-99m DTPA (standard 1) as the results file prints it.
TEST(ExpectedDoses, ReadmeExampleTableShowsTheCommittedDoses) {
    const std::string readme = test::readFile(fs::path(ORVANE_SOURCE_DIR) / "README.md");
    const std::size_t header =
        readme.find("\n    20       40        60", readme.find("orvane-cli --standard 1 | head"));
    ASSERT_NE(header, std::string::npos) << "README example table not found";
    std::istringstream rows(readme.substr(readme.find('\n', header + 1) + 1));
    const std::vector<double> expected = committedDoses();
    constexpr int kStandard = 1;
    for (int v = 0; v < kV0Count; ++v) {
        std::string line;
        std::getline(rows, line);
        std::string shown;
        for (int t = 0; t < kT0Count; ++t) {
            const std::size_t row = ((kStandard * kScheduleCount) * kV0Count + v) * kT0Count + t;
            shown += (t > 0 ? "  " : "") + formatScientific(expected.at(row));
        }
        EXPECT_EQ(line, shown) << "README example row " << v + 1;
    }
}

}  // namespace
}  // namespace orvane
