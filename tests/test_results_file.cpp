// The results file: its text, the atomic save and the committed golden files.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/model.h"
#include "export/results_file.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

ModelParameters dtpaParameters() {
    ModelParameters p;
    p.name = "Tc-99m DTPA";
    p.fraction = {0.98, 0.02, 0, 0};
    p.rateConstant = {0.00693, 0.000693, 0, 0};
    p.biologicalHalfLife = {100, 1000, 0, 0};
    p.physicalHalfLife = 360;
    p.physicalDecayConstant = kDecayNumerator / 360;
    p.deltaScaled = scaleEmissionConstant(0.0123);
    p.gammaScaled = scaleEmissionConstant(0.000025);
    return p;
}

const V0Grid kV0Grid = {10, 50, 100, 200, 300, 400, 500};
const T0Grid kT0Grid = {20, 40, 60, 80, 100, 120, 140, 160, 180};

// Made-up doses: the first row of schedule 0 is the one of the documented example.
DoseResults exampleResults() {
    DoseResults r;
    r.parameters = dtpaParameters();
    r.grids.v0Grid = kV0Grid;
    r.grids.t0Grid = kT0Grid;
    const double firstRow[] = {2.51e-2, 3.87e-2, 5.12e-2, 6.30e-2, 7.41e-2,
                               8.46e-2, 9.45e-2, 1.04e-1, 1.13e-1};
    for (int s = 0; s < kScheduleCount; ++s) {
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                r.tables[s].at(t, v) = firstRow[t] / (1 + v) / (1 + s);
            }
        }
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
    for (const auto& line : lines) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray CR or LF: " << line;
    }
    return lines;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

TEST(ResultsFileText, WorkedExampleBlockByteForByte) {
    const std::string text = resultsFileText(exampleResults());
    const std::string head =
        "\t      MODEL PARAMETERS\r\n"
        "\r\n"
        "Radiopharmaceutical: \tTc-99m DTPA\r\n"
        "\r\n"
        "Physical Half Life: \t3.60E+02 min\r\n"
        "\r\n"
        "Delta (mGy-kg/MBq-s): \t1.23E-02\r\n"
        "\r\n"
        "Gamma (mGy-cm^2/MBq-s): 2.50E-05\r\n"
        "\r\n"
        "\r\n"
        "Fraction 1: 9.80E-01\tTbio 1: 1.00E+02 min\r\n"
        "\r\n"
        "Fraction 2: 2.00E-02\tTbio 2: 1.00E+03 min\r\n"
        "\r\n"
        "Bladder Fill Rates: 0.5/0.25 ml/min, day/night\r\n"
        "\r\n"
        "Doses (mGy/MBq)  \r\n"
        "    20       40        60        80       100       120       140       160       180\r\n"
        "2.51E-02  3.87E-02  5.12E-02  6.30E-02  7.41E-02  8.46E-02  9.45E-02  1.04E-01  "
        "1.13E-01\r\n";
    ASSERT_EQ(text.substr(0, head.size()), head);

    const auto lines = splitCrLf(text);
    ASSERT_EQ(lines.size(), 82u);
    EXPECT_EQ(lines[18].size(), 85u);
    for (int row = 19; row < 26; ++row) EXPECT_EQ(lines[row].size(), 88u) << "line " << row + 1;
    // Two empty lines separate the blocks; the second block starts like the first.
    EXPECT_EQ(lines[26], "");
    EXPECT_EQ(lines[27], "");
    EXPECT_EQ(lines[28], "\t      MODEL PARAMETERS");
    EXPECT_EQ(lines[43], "Bladder Fill Rates: 1./0.5 ml/min, day/night");
    EXPECT_EQ(lines[71], "Bladder Fill Rates: 1.5/0.75 ml/min, day/night");
    // The file ends with the last dose row of schedule 2, no empty line after it.
    EXPECT_EQ(lines[81].substr(0, 10), "1.20E-03  ");  // 2.51E-02 / 7 / 3
    EXPECT_EQ(lines[81].size(), 88u);
}

TEST(ResultsFileText, LineCountFollowsTheListedComponents) {
    DoseResults r = exampleResults();
    for (int k = 0; k <= kComponentCount; ++k) {
        for (int j = 0; j < kComponentCount; ++j) r.parameters.fraction[j] = j < k ? 0.25 : 0;
        EXPECT_EQ(splitCrLf(resultsFileText(r)).size(), 70u + 6u * k) << k << " components";
    }
}

TEST(ResultsFileText, SkippedComponentsLeaveNoTrace) {
    DoseResults r = exampleResults();
    r.parameters.fraction = {0.6, 0, -0.4, 0};
    r.parameters.biologicalHalfLife = {120, 240, 0, 960};
    const auto lines = splitCrLf(resultsFileText(r));
    ASSERT_EQ(lines.size(), 82u);
    EXPECT_EQ(lines[11], "Fraction 1: 6.00E-01\tTbio 1: 1.20E+02 min");
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13], "Fraction 3: -4.00E-01\tTbio 3: 0.00E+00 min");
    EXPECT_EQ(lines[14], "");
    EXPECT_EQ(lines[15].rfind("Bladder Fill Rates: ", 0), 0u);
}

TEST(ResultsFileText, NoNameAndZeroDoses) {
    DoseResults r = exampleResults();
    r.parameters.name.clear();
    r.tables[1] = DoseTable{};
    const auto lines = splitCrLf(resultsFileText(r));
    EXPECT_EQ(lines[2], "Radiopharmaceutical: \t");
    EXPECT_EQ(lines[30], "Radiopharmaceutical: \t");
    for (int row = 47; row < 54; ++row) {
        EXPECT_EQ(lines[row],
                  "0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  "
                  "0.00E+00  0.00E+00");
    }
}

// A fresh folder per test, removed afterwards.
class WriteResultsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-save-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }

    std::set<std::string> folderEntries(const fs::path& folder) const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // Checks a refused save: the message names the path and the reason, and the folder
    // holds what it held before.
    void expectRefused(const fs::path& path, const std::string& reason,
                       const fs::path& folder) const {
        const auto before = folderEntries(folder);
        const WriteOutcome outcome = WriteResultsFile(path, exampleResults());
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.message.find(path.string()), std::string::npos) << outcome.message;
        EXPECT_NE(outcome.message.find(reason), std::string::npos) << outcome.message;
        EXPECT_EQ(folderEntries(folder), before);
    }

    fs::path folder_;
};

TEST_F(WriteResultsFileTest, WritesTheResultsText) {
    const fs::path path = folder_ / "bladder dose \xC3\xA4.txt";
    const DoseResults results = exampleResults();
    const WriteOutcome outcome = WriteResultsFile(path, results);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(readFile(path), resultsFileText(results));
    EXPECT_EQ(folderEntries(folder_), std::set<std::string>{path.filename().string()});

    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0666 & ~mask);
}

TEST_F(WriteResultsFileTest, ReplacesAnExistingFileAndKeepsItsPermissions) {
    const fs::path path = folder_ / "results.txt";
    writeFile(path, "an unrelated file that is much longer than nothing\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    DoseResults results = exampleResults();
    ASSERT_TRUE(WriteResultsFile(path, results).ok);
    results.parameters.name = "second";
    results.tables[2].at(3, 3) = 42;
    ASSERT_TRUE(WriteResultsFile(path, results).ok);

    EXPECT_EQ(readFile(path), resultsFileText(results));
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(folderEntries(folder_).size(), 1u);
}

TEST_F(WriteResultsFileTest, ThroughASymbolicLinkTheLinkStays) {
    const fs::path file = folder_ / "real.txt";
    const fs::path link = folder_ / "link.txt";
    writeFile(file, "old");
    fs::create_symlink(file.filename(), link);
    ASSERT_TRUE(WriteResultsFile(link, exampleResults()).ok);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(file), resultsFileText(exampleResults()));
}

TEST_F(WriteResultsFileTest, RefusesPathsThatNameNoFile) {
    expectRefused(folder_ / "missing" / "results.txt", "No such file or directory", folder_);

    fs::create_directory(folder_ / "taken");
    writeFile(folder_ / "taken" / "inside.txt", "kept");
    expectRefused(folder_ / "taken", "Is a directory", folder_);
    EXPECT_EQ(readFile(folder_ / "taken" / "inside.txt"), "kept");

    expectRefused(fs::path(folder_.string() + "/"), "Is a directory", folder_);
    EXPECT_FALSE(WriteResultsFile(fs::path(), exampleResults()).ok);
}

TEST_F(WriteResultsFileTest, RefusesAReadOnlyFileOrFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write read-only files and folders";
    const fs::path path = folder_ / "results.txt";
    writeFile(path, "kept");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    expectRefused(path, "Permission denied", folder_);
    EXPECT_EQ(readFile(path), "kept");

    const fs::path locked = folder_ / "locked";
    fs::create_directory(locked);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    expectRefused(locked / "results.txt", "Permission denied", locked);
}

TEST_F(WriteResultsFileTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    const fs::path path = folder_ / "results.txt";
    writeFile(path, "kept");

    // A file size limit far below the text makes the write itself fail, after the
    // temporary file exists. The limit holds for root too.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit small = previous;
    small.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto before = folderEntries(folder_);
    const WriteOutcome outcome = WriteResultsFile(path, exampleResults());
    ::setrlimit(RLIMIT_FSIZE, &previous);

    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.message.find("File too large"), std::string::npos) << outcome.message;
    EXPECT_EQ(readFile(path), "kept");
    EXPECT_EQ(folderEntries(folder_), before);
}

// Golden files: two made-up parameter sets with made-up doses, independent of the engine.
// Run with ORVANE_REGENERATE_GOLDEN=1 to rewrite tests/data/golden-*.txt from the current
// code instead of comparing; review the new files (cat -A) before committing them.
DoseResults goldenTwoComponents() {
    DoseResults r = exampleResults();
    r.tables[0].at(8, 6) = 0;
    r.tables[2].at(0, 0) = 9.995e-3;  // rounds up to 1.00E-02
    return r;
}

DoseResults goldenFourComponents() {
    DoseResults r;
    r.parameters.name = "In-111 Oxin \xC2\xB5-Test";
    r.parameters.fraction = {0.4, 0.3, 0.2, 0.1};
    r.parameters.rateConstant = {0.0693, 0.00693, 0.000693, 0.0000693};
    r.parameters.biologicalHalfLife = {10, 100, 1000, 10000};
    r.parameters.physicalHalfLife = 4032;
    r.parameters.physicalDecayConstant = kDecayNumerator / 4032;
    r.parameters.deltaScaled = scaleEmissionConstant(0.0218);
    r.parameters.gammaScaled = scaleEmissionConstant(0.0000567);
    r.grids.v0Grid = kV0Grid;
    r.grids.t0Grid = kT0Grid;
    for (int s = 0; s < kScheduleCount; ++s) {
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                r.tables[s].at(t, v) = 0.5 * (t + 1) / ((v + 1) * (v + 1) * (s + 2));
            }
        }
    }
    return r;
}

void checkGolden(const std::string& fileName, const DoseResults& results) {
    const fs::path path = fs::path(ORVANE_TEST_DATA) / fileName;
    const std::string text = resultsFileText(results);
    const char* regenerate = std::getenv("ORVANE_REGENERATE_GOLDEN");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        writeFile(path, text);
        GTEST_SKIP() << "rewrote " << path;
    }
    ASSERT_TRUE(fs::exists(path)) << path;
    EXPECT_EQ(text, readFile(path)) << "differs from " << path;
}

TEST(ResultsFileGolden, TwoComponents) {
    checkGolden("golden-two-components.txt", goldenTwoComponents());
}

TEST(ResultsFileGolden, FourComponents) {
    checkGolden("golden-four-components.txt", goldenFourComponents());
}

}  // namespace
}  // namespace orvane
