// The data file of standard values against every way it can be broken: cut short at any
// number, a bad text in any section, values whose half-life cannot be computed, and files
// that cannot be read at all. Each fault names the file, the position and the reason.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "library/standards.h"
#include "support.h"
#include "unprivileged.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedFile = test::shippedDataFile();

// The message of what load throws, or "loads".
std::string failureOf(const std::function<void()>& load) {
    try {
        load();
    } catch (const DataFileError& error) {
        return error.what();
    }
    return "loads";
}

// The failure of the first `count` shipped numbers, with number `number` (if any) as text.
std::string failureWith(int number, const std::string& text, int count) {
    std::ifstream in(kShippedFile);
    std::string data;
    for (std::string field; count-- > 0 && in >> field;)
        data += (--number == 0 ? text : field.substr(0, field.find(','))) + ", ";
    return failureOf([&] { parseStandardData(data, "edited.dat"); });
}

TEST(DataFileFaults, EachFaultInTheTextIsRefusedNamingItsPlace) {
    const int all = kDataFileNumberCount;
    // The first `count` numbers of the shipped file, number `number` replaced by text.
    std::vector<std::tuple<int, int, std::string, std::string>> cases = {
        {all, 0, "", "^loads$"},
        {all, 161, "1E-320", "standard 0 .*: .* physical half-life 0.693 / k is too large"},
        {all, 161, "1E-300", "^loads$"},  // a half-life of 6.93E+299 min
        {all, 5, "1E-320", "rate constant of component 1 .*: .* biological half-life"},
        {all, 1, "1E-320", "^loads$"},           // a fraction has no half-life
        {all, 7, "0", "^loads$"}};               // a component that takes no part
    for (int count = 0; count < all; ++count) {  // every shortened file
        cases.emplace_back(count, 0, "",
                           "^edited.dat: number " + std::to_string(count + 1) +
                               " \\(.*: the file ends after number " + std::to_string(count) +
                               "; expected 252 numbers$");
    }
    const char* zeros[] = {"0", "-0", "0.0E+00", "1E-999"};
    for (int number = 161; number <= 180; ++number) {  // each decay constant as 0
        cases.emplace_back(all, number, zeros[number % 4],
                           "decay constant of standard " + std::to_string(number - 161) +
                               " .*: the physical decay constant is 0");
    }
    const int firstOfSection[8] = {1, 161, 181, 201, 221, 228, 237, 245};
    for (int s = 0; s < 8; ++s) {  // a text that is not a finite number in each section
        for (const std::string text : {"abc", "NaN", "-inf", "1E999", "12abc", "0x1A"}) {
            cases.emplace_back(all, firstOfSection[s], text,
                               "^edited.dat: number " + std::to_string(firstOfSection[s]) +
                                   " \\(section " + std::to_string(s + 1) + ", .*: \"" + text +
                                   "\"");
        }
    }
    for (const auto& [count, number, text, pattern] : cases) {
        const std::string failure = failureWith(number, text, count);
        EXPECT_TRUE(std::regex_search(failure, std::regex(pattern))) << failure;
    }
    EXPECT_EQ(failureOf([] { LoadStandardData(kShippedFile); }), "loads");
}

// Files that read as 252 numbers but whose grids or quadrature the windows, the results file
// or the integration cannot use, among them the faults that a cut file and a mistyped decimal
// point turn into: refused at load, naming the number, its line and what was expected.
TEST(DataFileFaults, GridsAndQuadratureOtherThanTheUsableOnesAreRefused) {
    const std::string shipped = test::readFile(kShippedFile);
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> all;
        std::istringstream in(shipped);
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return all;
    }();
    // The shipped text with the given lines (by 1-based number) replaced.
    auto withLines = [&](const std::map<int, std::string>& replaced) {
        std::string text;
        for (int i = 0; i < static_cast<int>(lines.size()); ++i)
            text += (replaced.contains(i + 1) ? replaced.at(i + 1) : lines[i]) + "\n";
        return text;
    };
    auto withLine = [&](int number, const std::string& line) {
        return withLines({{number, line}});
    };
    std::string decimalComma = lines[20];
    decimalComma[decimalComma.find('.')] = ',';
    const std::string weights =
        "0.18945061045506850, 0.18260341504492359, "
        "0.16915651939500254, 0.14959598881657673";
    const std::pair<std::string, std::string> cases[] = {
        {shipped.substr(0, 2342),
         "^e.dat: number 252 \\(section 8, quadrature weight 8\\), line 32: 0 is not positive"},
        {shipped.substr(0, 2350),
         "number 252 .*, line 32: the weights, each used at \\+x and -x, "
         "sum to 1.99999988.*; expected 2 within 1e-12"},
        {withLine(21, decimalComma),
         "^e.dat: number 221 \\(section 5, initial bladder volume V0 1\\), line 26: "
         "3.499102E-08 ml, but the results window and the results file label this row 10 ml$"},
        {withLine(28, "20, 40, 65, 80, 100, 120, 140, 160, 180"),
         "^e.dat: number 230 \\(section 6, first-void time T0 3\\), line 28: 65 min, but the "
         "results window and the results file label this column 60 min$"},
        {withLine(28, "30, 60, 90, 120, 150, 180, 210, 240, 270"),
         "number 228 .*: 30 min, but .* label this column 20 min$"},
        {withLine(27, "10, 50, 100, 200, 300, 400, 500.5"),
         "V0 7\\), line 27: 500.5 ml, .* 500 ml$"},
        {withLines({{31,
                     "0.3789012209101370, 0.36520683008984718, "
                     "0.33831303879000508, 0.29919197763315346"},
                    {32,
                     "0.24925794251106774, 0.19031702336498557, "
                     "0.12450704787729579, 0.054304918823508190"}}),
         "number 252 .*line 32: the weights, .* sum to 4.0000000000000000e\\+00; expected 2"},
        {withLine(31, "-" + weights), "weight 1\\), line 31: -0.18945061045506850 is not positive"},
        {withLine(29,
                  "0.095012509837637440, 0.095012509837637440, 0.45801677765722739, "
                  "0.61787624440264375"),
         "quadrature node 2\\), line 29: 0.095012509837637440 repeats node 1"},
        {withLine(30, "0.75540440835500303, 0.86563120238783174, 0.94457502307323258, 1"),
         "quadrature node 8\\), line 30: 1 lies outside \\(0, 1\\)"},
        {withLine(29, "0, 0.28160355077925891, 0.45801677765722739, 0.61787624440264375"),
         "quadrature node 1\\), line 29: 0 lies outside \\(0, 1\\)"},
    };
    for (const auto& [text, pattern] : cases) {
        const std::string failure = failureOf([&text = text] { parseStandardData(text, "e.dat"); });
        EXPECT_TRUE(std::regex_search(failure, std::regex(pattern))) << failure;
    }
}

TEST(DataFileFaults, FilesThatCannotBeReadAreNamedWithTheReason) {
    const faults::ScratchFolder scratch;
    const fs::path& folder = scratch.path;
    fs::create_directory(folder / "orvane.dat");
    ASSERT_EQ(::mkfifo((folder / "pipe.dat").c_str(), 0644), 0);
    fs::copy_file(kShippedFile, folder / "locked.dat");
    ASSERT_TRUE(faults::handOver(folder / "locked.dat"));
    fs::permissions(folder / "locked.dat", fs::perms::owner_write);
    const std::string notRegular = "cannot read: not a regular file (a device, pipe or socket)";
    // A device never ends and a pipe waits for a writer; a locked file is locked for root too.
    const std::tuple<fs::path, std::string, bool> cases[] = {
        {folder / "orvane.dat", std::string("cannot read: ") + std::strerror(EISDIR), false},
        {"/dev/zero", notRegular, false},
        {folder / "pipe.dat", notRegular, false},
        {folder / "locked.dat", std::string("cannot read: ") + std::strerror(EACCES), true}};
    for (const auto& [path, reason, unprivileged] : cases) {
        const std::string got = faults::runInChild(
            [&path = path] { return failureOf([&] { LoadStandardData(path); }); }, unprivileged);
        if (got == "no rights") GTEST_SKIP() << "cannot drop root rights here";
        EXPECT_EQ(got, path.string() + ": " + reason);
    }
}

}  // namespace
}  // namespace orvane
