// The data file of standard values against every way it can be broken: cut short at any
// number, a bad text in any section, values whose half-life cannot be computed, and files
// that cannot be read at all. Each fault names the file, the position and the reason.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>

#include "library/standards.h"
#include "unprivileged.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedFile = fs::path(ORVANE_SOURCE_DIR) / "data" / "orvane.dat";

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
        {folder / "locked.dat", std::string("cannot open: ") + std::strerror(EACCES), true}};
    for (const auto& [path, reason, unprivileged] : cases) {
        const std::string got = faults::runInChild(
            [&] { return failureOf([&] { LoadStandardData(path); }); }, unprivileged);
        if (got == "no rights") GTEST_SKIP() << "cannot drop root rights here";
        EXPECT_EQ(got, path.string() + ": " + reason);
    }
}

}  // namespace
}  // namespace orvane
