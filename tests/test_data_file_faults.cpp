// The data file of standard values against every way it can be broken: cut short at any
// number, a bad text in any section, values whose half-life cannot be computed, and files
// that cannot be read at all. Each fault names the file, the position and the reason.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "library/standards.h"
#include "unprivileged.h"

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

// The 252 fields of the shipped file, trimmed.
std::vector<std::string> shippedFields() {
    std::vector<std::string> fields;
    std::string text = readFile(kShippedFile);
    for (char& c : text) {
        if (c == '\n') c = ',';
    }
    std::stringstream stream(text);
    for (std::string field; std::getline(stream, field, ',');) {
        const auto first = field.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        fields.push_back(field.substr(first, field.find_last_not_of(" \t\r") + 1 - first));
    }
    return fields;
}

// Eight fields to a line, comma separated, as the shipped file has them.
std::string join(const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text += fields[i];
        text += (i + 1) % 8 == 0 ? "\n" : ", ";
    }
    return text;
}

// The first and last number (1-based) of each of the eight sections.
struct Section {
    int first, last;
};
constexpr Section kSections[8] = {{1, 160},   {161, 180}, {181, 200}, {201, 220},
                                  {221, 227}, {228, 236}, {237, 244}, {245, 252}};

// The failure of the shipped fields with number `number` replaced, or nothing if it loads.
std::optional<DataFileError> failureWith(int number, const std::string& text) {
    std::vector<std::string> fields = shippedFields();
    fields.at(number - 1) = text;
    try {
        parseStandardData(join(fields), "edited.dat");
    } catch (const DataFileError& error) {
        return error;
    }
    return std::nullopt;
}

TEST(DataFileFaults, EveryShortenedFileFailsAtTheFirstMissingNumber) {
    const std::vector<std::string> fields = shippedFields();
    ASSERT_EQ(fields.size(), 252u);
    for (int count = 0; count < kDataFileNumberCount; ++count) {
        const std::vector<std::string> prefix(fields.begin(), fields.begin() + count);
        try {
            parseStandardData(join(prefix), "short.dat");
            ADD_FAILURE() << count << " numbers loaded";
        } catch (const DataFileError& error) {
            EXPECT_TRUE(error.position().starts_with("number " + std::to_string(count + 1) + " ("))
                << error.position();
            EXPECT_EQ(error.reason(), "the file ends after number " + std::to_string(count) +
                                          "; expected 252 numbers");
        }
    }
    const StandardData whole = parseStandardData(join(fields), "whole.dat");
    EXPECT_EQ(whole.tables, LoadStandardData(kShippedFile).tables);
}

TEST(DataFileFaults, ABadTextAnywhereInAnySectionNamesItsPlace) {
    // Texts that are not one finite decimal number. "1E-999" reads as 0, which only a decay
    // constant refuses (below).
    const std::vector<std::string> notNumbers = {"abc",      "NaN",   "nan",    "inf",     "-inf",
                                                 "Infinity", "1E999", "-1E999", "12abc",   "1.2.3",
                                                 "--1",      "0x1A",  "1e5e5",  "\xC2\xBD"};
    for (int s = 0; s < 8; ++s) {
        for (int number : {kSections[s].first, kSections[s].last}) {
            for (const std::string& text : notNumbers) {
                const auto failure = failureWith(number, text);
                ASSERT_TRUE(failure) << text << " at number " << number;
                EXPECT_TRUE(failure->position().starts_with("number " + std::to_string(number) +
                                                            " (section " + std::to_string(s + 1) +
                                                            ", "))
                    << failure->position();
                EXPECT_NE(failure->reason().find("\"" + text.substr(0, 1)), std::string::npos)
                    << failure->reason();
                EXPECT_EQ(std::string(failure->what()).rfind("edited.dat: ", 0), 0u);
            }
        }
    }
}

TEST(DataFileFaults, DecayConstantsMustGiveAFiniteHalfLife) {
    for (int number = 161; number <= 180; ++number) {
        for (const char* zero : {"0", "-0", "0.0E+00", "1E-999"}) {
            const auto failure = failureWith(number, zero);
            ASSERT_TRUE(failure) << zero << " at number " << number;
            EXPECT_NE(failure->position().find("physical decay constant of standard " +
                                               std::to_string(number - 161)),
                      std::string::npos);
            EXPECT_NE(failure->reason().find("decay constant is 0"), std::string::npos);
        }
    }
    // So close to 0 that 0.693 / k overflows: loading it would show "inf" in the field,
    // which then reads as an empty half-life.
    const auto tiny = failureWith(161, "1E-320");
    ASSERT_TRUE(tiny);
    EXPECT_NE(tiny->reason().find("half-life 0.693 / k is too large"), std::string::npos);
    EXPECT_FALSE(failureWith(161, "1E-300"));  // a half-life of 6.93E+299 min is a number
}

TEST(DataFileFaults, RateConstantsMustGiveAFiniteHalfLife) {
    const auto tiny = failureWith(5, "1E-320");  // k1 of F-18 FDG
    ASSERT_TRUE(tiny);
    EXPECT_NE(tiny->position().find("biological rate constant of component 1"), std::string::npos);
    EXPECT_NE(tiny->reason().find("biological half-life"), std::string::npos);
    EXPECT_FALSE(failureWith(1, "1E-320"));  // a fraction has no half-life
    EXPECT_FALSE(failureWith(7, "0"));       // a component that takes no part
}

// A folder for files that the test breaks, open to the unprivileged user.
class UnreadableDataFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-data-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // The reason LoadStandardData gives for path, run as an unprivileged user.
    std::optional<std::string> reasonUnprivileged(const fs::path& path) {
        return faults::runUnprivileged([&] {
            try {
                LoadStandardData(path);
            } catch (const DataFileError& error) {
                return error.file() + "|" + error.reason();
            }
            return std::string("(loaded)");
        });
    }

    // Makes path belong to the unprivileged user, so that only its mode keeps it out.
    void handOver(const fs::path& path) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(path.c_str(), faults::kUnprivilegedUser, faults::kUnprivilegedGroup),
                      0);
        }
    }

    fs::path folder_;
};

TEST_F(UnreadableDataFile, WithoutReadPermissionItNamesTheSystemReason) {
    const fs::path file = folder_ / "locked.dat";
    fs::copy_file(kShippedFile, file);
    handOver(file);
    ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
    const auto reason = reasonUnprivileged(file);
    if (!reason) GTEST_SKIP() << "cannot drop root rights here";
    EXPECT_EQ(*reason, file.string() + "|cannot open: " + std::strerror(EACCES));

    // A folder that may not be searched hides a readable file.
    const fs::path closed = folder_ / "closed";
    fs::create_directory(closed);
    fs::copy_file(kShippedFile, closed / "orvane.dat");
    handOver(closed);
    ASSERT_EQ(::chmod(closed.c_str(), 0600), 0);
    EXPECT_EQ(*reasonUnprivileged(closed / "orvane.dat"),
              (closed / "orvane.dat").string() + "|cannot open: " + std::strerror(EACCES));
}

TEST_F(UnreadableDataFile, NoFileOfValuesInPlaceOfTheFile) {
    auto reasonFor = [](const fs::path& path) {
        try {
            LoadStandardData(path);
        } catch (const DataFileError& error) {
            return error.reason();
        }
        return std::string("(loaded)");
    };
    // A folder named like the data file; root gets the same answer.
    fs::create_directory(folder_ / "orvane.dat");
    EXPECT_EQ(reasonFor(folder_ / "orvane.dat"),
              std::string("cannot read: ") + std::strerror(EISDIR));

    // A device never ends (it used to be read until memory ran out); a named pipe used to
    // wait forever for a writer.
    EXPECT_EQ(reasonFor("/dev/zero"), "cannot read: not a regular file (a device, pipe or socket)");
    ASSERT_EQ(::mkfifo((folder_ / "pipe.dat").c_str(), 0644), 0);
    EXPECT_EQ(reasonFor(folder_ / "pipe.dat"),
              "cannot read: not a regular file (a device, pipe or socket)");

    // An empty file, and a huge one that is mostly a hole.
    std::ofstream(folder_ / "empty.dat").close();
    EXPECT_EQ(reasonFor(folder_ / "empty.dat"),
              "the file ends after number 0; expected 252 numbers");
    fs::copy_file(kShippedFile, folder_ / "huge.dat");
    fs::resize_file(folder_ / "huge.dat", 64ull << 20);
    EXPECT_NE(reasonFor(folder_ / "huge.dat").find("larger than 16 MB"), std::string::npos);
}

}  // namespace
}  // namespace orvane
