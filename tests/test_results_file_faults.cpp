// Saving the results file when the system says no: read-only targets and folders, a full
// disk, names the file system refuses and names outside ASCII. In every failing case the
// message names the path and the reason, the previous file is intact and no temporary
// file is left behind.
#include <gtest/gtest.h>
#include <limits.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "export/results_file.h"
#include "unprivileged.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const std::string kOldContent = "results of an earlier calculation\r\n";

DoseResults someResults() {
    DoseResults r;
    r.parameters.name = "Tc-99m DTPA";
    r.parameters.fraction = {0.99, 0.01, 0, 0};
    r.parameters.biologicalHalfLife = {100, 10080, 0, 0};
    r.parameters.physicalHalfLife = 360.9;
    r.parameters.deltaScaled = scaleEmissionConstant(2.6e-6);
    r.parameters.gammaScaled = scaleEmissionConstant(5.56e-5);
    for (int s = 0; s < kScheduleCount; ++s) {
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) r.tables[s].at(t, v) = 0.01 * (s + 1) + 0.001 * t;
        }
    }
    return r;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// What a save reports, as one text that can also come back from a child process.
std::string save(const fs::path& path) {
    const WriteOutcome outcome = WriteResultsFile(path, someResults());
    return outcome.ok ? "ok" : "failed: " + outcome.message;
}

class ResultsFileFaults : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-faults-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(folder_, ignored)) {
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(folder_, ignored);
    }

    // A sub-folder holding an earlier results file; both belong to the unprivileged user
    // when the tests run as root, so that only their modes keep it out.
    fs::path folderWithOldFile(const std::string& name, mode_t folderMode, mode_t fileMode) {
        const fs::path folder = folder_ / name;
        fs::create_directory(folder);
        writeFile(folder / "results.txt", kOldContent);
        for (const fs::path& path : {folder / "results.txt", folder}) {
            if (::geteuid() == 0) {
                EXPECT_EQ(
                    ::chown(path.c_str(), faults::kUnprivilegedUser, faults::kUnprivilegedGroup),
                    0);
            }
        }
        EXPECT_EQ(::chmod((folder / "results.txt").c_str(), fileMode), 0);
        EXPECT_EQ(::chmod(folder.c_str(), folderMode), 0);
        return folder;
    }

    // Checks a refused save to target in a folder that holds results.txt: the reason, the
    // old file, no leftovers.
    void expectRefusedIntact(const std::optional<std::string>& outcome, const fs::path& folder,
                             const std::string& reason, const std::string& name = "results.txt") {
        ASSERT_TRUE(outcome);
        const fs::path target = folder / name;
        EXPECT_EQ(*outcome,
                  "failed: Cannot write the results file \"" + target.string() + "\": " + reason);
        EXPECT_EQ(readFile(folder / "results.txt"), kOldContent);
        EXPECT_EQ(entries(folder), std::set<std::string>{"results.txt"});
    }

    fs::path folder_;
};

TEST_F(ResultsFileFaults, ReadOnlyTargetOrFolderIsRefused) {
    const fs::path lockedFile = folderWithOldFile("locked-file", 0755, 0444);
    const auto fileOutcome =
        faults::runUnprivileged([&] { return save(lockedFile / "results.txt"); });
    if (!fileOutcome) GTEST_SKIP() << "cannot drop root rights here";
    expectRefusedIntact(fileOutcome, lockedFile, std::strerror(EACCES));

    // The file itself may be written, but the folder takes no new file: the temporary file
    // cannot be made, and the old file stays as it was.
    const fs::path lockedFolder = folderWithOldFile("locked-folder", 0555, 0644);
    expectRefusedIntact(faults::runUnprivileged([&] { return save(lockedFolder / "results.txt"); }),
                        lockedFolder, std::strerror(EACCES));
    expectRefusedIntact(faults::runUnprivileged([&] { return save(lockedFolder / "new.txt"); }),
                        lockedFolder, std::strerror(EACCES), "new.txt");
}

TEST_F(ResultsFileFaults, AFileSizeLimitAnywhereInTheTextFailsCleanly) {
    const std::size_t size = resultsFileText(someResults()).size();
    writeFile(folder_ / "results.txt", kOldContent);
    // The limit stops the write at its first byte, halfway, and one byte short of the end;
    // it holds for root too. At exactly the size the save succeeds.
    for (rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t(size / 2), rlim_t(size - 1)}) {
        const auto outcome = faults::runInChild([&] {
            const struct rlimit small = {limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return std::string("setrlimit failed");
            return save(folder_ / "results.txt");
        });
        SCOPED_TRACE("limit " + std::to_string(limit));
        expectRefusedIntact(outcome, folder_, std::strerror(EFBIG));
    }
    const auto exact = faults::runInChild([&] {
        const struct rlimit limit = {size, size};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return save(folder_ / "results.txt");
    });
    EXPECT_EQ(exact, "ok");
    EXPECT_EQ(readFile(folder_ / "results.txt"), resultsFileText(someResults()));
}

TEST_F(ResultsFileFaults, AFullFileSystemFailsCleanlyAndSavesOnceThereIsRoom) {
    // A small file system of its own, in a mount namespace of a child, filled to the brim.
    const fs::path disk = folder_ / "disk";
    fs::create_directory(disk);
    const auto outcome = faults::runInChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("orvane-test", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
            return "no mount";
        }
        writeFile(disk / "results.txt", kOldContent);
        {
            std::ofstream filler(disk / "filler", std::ios::binary);
            const std::string block(4096, 'x');
            for (int i = 0; i < 64 && filler; ++i) filler.write(block.data(), block.size());
        }
        std::string report = save(disk / "results.txt");
        report += "|" + readFile(disk / "results.txt");
        for (const std::string& name : entries(disk)) report += "|" + name;
        fs::remove(disk / "filler");
        report += "|" + save(disk / "results.txt");
        report +=
            "|" + std::to_string(readFile(disk / "results.txt") == resultsFileText(someResults()));
        return report;
    });
    ASSERT_TRUE(outcome);
    if (*outcome == "no mount") GTEST_SKIP() << "no right to mount a small file system here";
    EXPECT_EQ(*outcome, "failed: Cannot write the results file \"" +
                            (disk / "results.txt").string() + "\": " + std::strerror(ENOSPC) + "|" +
                            kOldContent + "|filler|results.txt|ok|1");
}

TEST_F(ResultsFileFaults, NamesTheFileSystemRefusesCreateNothing) {
    writeFile(folder_ / "results.txt", kOldContent);
    const fs::path tooLong = folder_ / std::string(NAME_MAX + 1, 'r');
    EXPECT_EQ(save(tooLong), "failed: Cannot write the results file \"" + tooLong.string() +
                                 "\": " + std::strerror(ENAMETOOLONG));
    const fs::path noFolder = folder_ / std::string(NAME_MAX + 1, 'f') / "results.txt";
    EXPECT_EQ(save(noFolder), "failed: Cannot write the results file \"" + noFolder.string() +
                                  "\": " + std::strerror(ENAMETOOLONG));
    // Not a file of its own: the writer refuses before it creates anything beside it.
    EXPECT_EQ(save("/dev/null"),
              "failed: Cannot write the results file \"/dev/null\": not a regular file");
    EXPECT_EQ(readFile(folder_ / "results.txt"), kOldContent);
    EXPECT_EQ(entries(folder_), std::set<std::string>{"results.txt"});
}

TEST_F(ResultsFileFaults, LongAndNonAsciiNamesAreSavedUnderExactlyThatName) {
    const std::string umlaut = "\xC3\xA4";  // a two-byte character
    const std::vector<std::string> names = {
        std::string(NAME_MAX, 'r'),  // the longest name there is
        "x" +
            [&] {               // the temporary file's name is cut
                std::string s;  // inside a character
                while (s.size() + 2 <= NAME_MAX - 1) s += umlaut;
                return s;
            }(),
        "Blasendosis F\xC3\xBC"
        "r Patient M\xC3\xBCller.txt",
        "\xE8\x86\x80\xE8\x83\xB1\xE7\xB7\x9A\xE9\x87\x8F.txt",   // CJK
        "\xCE\xB4\xCF\x8C\xCF\x83\xCE\xB7 \xF0\x9F\x92\xA7.txt",  // Greek and an emoji
        "latin1-\xE4\xF6\xFC.txt",                                // not UTF-8 at all
        " leading blank, trailing dot.",
        "-looks-like-an-option",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path path = folder_ / name;
        writeFile(path, kOldContent);
        EXPECT_EQ(save(path), "ok");
        EXPECT_EQ(readFile(path), resultsFileText(someResults()));
        EXPECT_EQ(entries(folder_), std::set<std::string>{name});
        fs::remove(path);
    }
}

}  // namespace
}  // namespace orvane
