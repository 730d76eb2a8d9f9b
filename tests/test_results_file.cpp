// The results file: its text, the atomic save and the committed golden files. Saves the
// system refuses (read-only, full disk, size limits, odd names) are covered by
// test_results_file_faults.cpp.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "report/results_file.h"
#include "support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Made-up doses: the first row of schedule 0 is the one of the documented example.
DoseResults exampleResults() {
    DoseResults r{.parameters = {.name = "Tc-99m DTPA",
                                 .fraction = {0.98, 0.02, 0, 0},
                                 .biologicalHalfLife = {100, 1000, 0, 0},
                                 .physicalHalfLife = 360,
                                 .deltaScaled = scaleEmissionConstant(0.0123),
                                 .gammaScaled = scaleEmissionConstant(0.000025)},
                  .grids = {}};
    const double firstRow[] = {2.51e-2, 3.87e-2, 5.12e-2, 6.30e-2, 7.41e-2,
                               8.46e-2, 9.45e-2, 1.04e-1, 1.13e-1};
    for (int i = 0; i < kScheduleCount * kV0Count * kT0Count; ++i) {
        const int s = i / (kV0Count * kT0Count), v = i / kT0Count % kV0Count, t = i % kT0Count;
        r.tables[s].at(t, v) = firstRow[t] / (1 + v) / (1 + s);
    }
    return r;
}

std::vector<std::string> splitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
    return lines;
}

TEST(ResultsFileText, WorkedExampleAndWhatChangesWithComponentsNameAndDoses) {
    const std::string text = resultsFileText(exampleResults());
    const std::string head =
        "\t      MODEL PARAMETERS\r\n\r\n"
        "Radiopharmaceutical: \tTc-99m DTPA\r\n\r\n"
        "Physical Half Life: \t3.60E+02 min\r\n\r\n"
        "Delta (mGy-kg/MBq-s): \t1.23E-02\r\n\r\n"
        "Gamma (mGy-cm^2/MBq-s): 2.50E-05\r\n\r\n\r\n"
        "Fraction 1: 9.80E-01\tTbio 1: 1.00E+02 min\r\n\r\n"
        "Fraction 2: 2.00E-02\tTbio 2: 1.00E+03 min\r\n\r\n"
        "Bladder Fill Rates: 0.5/0.25 ml/min, day/night\r\n\r\n"
        "Doses (mGy/MBq)  \r\n"
        "    20       40        60        80       100       120       140       160       180\r\n"
        "2.51E-02  3.87E-02  5.12E-02  6.30E-02  7.41E-02  8.46E-02  9.45E-02  1.04E-01  "
        "1.13E-01\r\n";
    ASSERT_EQ(text.substr(0, head.size()), head);

    auto lines = splitCrLf(text);
    ASSERT_EQ(lines.size(), 82u);
    for (int row : {19, 25, 47, 81}) EXPECT_EQ(lines[row].size(), 88u) << "line " << row + 1;
    // Two empty lines separate the blocks; no empty line follows the last dose row.
    for (int gap : {26, 54})
        EXPECT_EQ(lines[gap] + lines[gap + 1] + "|" + lines[gap + 2], "|\t      MODEL PARAMETERS");
    EXPECT_EQ(lines[43], "Bladder Fill Rates: 1./0.5 ml/min, day/night");
    EXPECT_EQ(lines[71], "Bladder Fill Rates: 1.5/0.75 ml/min, day/night");
    EXPECT_EQ(lines[81].substr(0, 10), "1.20E-03  ");  // 2.51E-02 / 7 / 3

    DoseResults r = exampleResults();
    for (int k = 0; k <= kComponentCount; ++k) {
        for (int j = 0; j < kComponentCount; ++j) r.parameters.fraction[j] = j < k ? 0.25 : 0;
        EXPECT_EQ(splitCrLf(resultsFileText(r)).size(), 70u + 6u * k) << k << " components";
    }
    // Components 2 and 4 leave no trace; only an exact 0 removes one.
    r.parameters.fraction = {0.6, 0, -0.4, 0};
    r.parameters.biologicalHalfLife = {120, 240, 0, 960};
    r.parameters.name.clear();
    r.tables[1] = DoseTable{};
    lines = splitCrLf(resultsFileText(r));
    ASSERT_EQ(lines.size(), 82u);
    EXPECT_EQ(lines[2], "Radiopharmaceutical: \t");
    EXPECT_EQ(std::vector(lines.begin() + 10, lines.begin() + 16),
              (std::vector<std::string>{"", "Fraction 1: 6.00E-01\tTbio 1: 1.20E+02 min", "",
                                        "Fraction 3: -4.00E-01\tTbio 3: 0.00E+00 min", "",
                                        "Bladder Fill Rates: 0.5/0.25 ml/min, day/night"}));
    const std::string zeros =
        "0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00";
    EXPECT_EQ(std::vector(lines.begin() + 47, lines.begin() + 54), std::vector(7, zeros));
}

TEST(WriteResultsFile, WritesTheTextReplacesItAndLeavesEverythingAsItWasWhenRefused) {
    const test::ScratchFolder scratch;
    const fs::path folder = scratch.path, path = folder / "results.txt";
    DoseResults results = exampleResults();
    ASSERT_TRUE(WriteResultsFile(path, results).ok);
    EXPECT_EQ(test::readFile(path), resultsFileText(results));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    results.parameters.name = "second";
    results.tables[2].at(3, 3) = 42;
    ASSERT_TRUE(WriteResultsFile(path, results).ok);
    EXPECT_EQ(test::readFile(path), resultsFileText(results));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));  // kept

    fs::create_directory(folder / "taken");
    for (const auto& [target, reason] :
         {std::pair{folder / "missing" / "results.txt", "No such file or directory"},
          std::pair{folder / "taken", "Is a directory"}}) {
        const WriteOutcome outcome = WriteResultsFile(target, exampleResults());
        EXPECT_FALSE(outcome.ok) << target;
        EXPECT_NE(outcome.message.find(target.string() + "\": " + reason), std::string::npos)
            << outcome.message;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "a temporary file is left";
    EXPECT_TRUE(fs::is_empty(folder / "taken"));
    EXPECT_EQ(test::readFile(path), resultsFileText(results));
}

// Golden files: two made-up parameter sets with made-up doses, independent of the engine.
// Run with ORVANE_REGENERATE_GOLDEN=1 to rewrite tests/data/golden-*.txt from the current
// code instead of comparing; review the new files (cat -A) before committing them.
TEST(ResultsFileGolden, MatchesTheCommittedFiles) {
    DoseResults two = exampleResults();
    two.tables[0].at(8, 6) = 0;
    two.tables[2].at(0, 0) = 9.995e-3;  // rounds up to 1.00E-02
    DoseResults four{.parameters = {.name = "In-111 Oxin \xC2\xB5-Test",
                                    .fraction = {0.4, 0.3, 0.2, 0.1},
                                    .biologicalHalfLife = {10, 100, 1000, 10000},
                                    .physicalHalfLife = 4032,
                                    .deltaScaled = scaleEmissionConstant(0.0218),
                                    .gammaScaled = scaleEmissionConstant(0.0000567)},
                     .grids = {}};
    for (int i = 0; i < kScheduleCount * kV0Count * kT0Count; ++i) {
        const int s = i / (kV0Count * kT0Count), v = i / kT0Count % kV0Count, t = i % kT0Count;
        four.tables[s].at(t, v) = 0.5 * (t + 1) / ((v + 1) * (v + 1) * (s + 2));
    }
    const char* regenerate = std::getenv("ORVANE_REGENERATE_GOLDEN");
    const bool rewrite = regenerate != nullptr && std::string(regenerate) == "1";
    for (const auto& [name, results] : {std::pair{"golden-two-components.txt", two},
                                        std::pair{"golden-four-components.txt", four}}) {
        const fs::path path = fs::path(ORVANE_TEST_DATA) / name;
        if (rewrite)
            std::ofstream(path, std::ios::binary | std::ios::trunc) << resultsFileText(results);
        EXPECT_EQ(resultsFileText(results), test::readFile(path)) << "differs from " << path;
    }
    if (rewrite) GTEST_SKIP() << "rewrote the golden files";
}

}  // namespace
}  // namespace orvane
