// Saving the results file when the system says no. In every failing case the message
// names the path and the reason, the previous file is intact and no temporary file is left.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <set>

#include "report/results_file.h"
#include "support.h"
#include "unprivileged.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const std::string kOld = "results of an earlier calculation\r\n";
const std::string kNew = resultsFileText(DoseResults{});

std::set<fs::path> entries(const fs::path& folder) {
    return {fs::directory_iterator(folder), fs::directory_iterator()};
}

// The outcome of a save in a child process with a file size limit: "ok" or the message.
std::string save(const fs::path& path, bool unprivileged = false, rlim_t limit = RLIM_INFINITY) {
    return faults::runInChild(
        [&] {
            const rlimit fileSize = {limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);  // no higher than the hard limit without root
            const WriteOutcome outcome = WriteResultsFile(path, DoseResults{});
            return outcome.ok ? "ok" : outcome.message;
        },
        unprivileged);
}

std::string refusal(const fs::path& path, int error) {
    return "Cannot write the results file \"" + path.string() +
           "\": " + (error ? std::strerror(error) : "not a regular file");
}

TEST(ResultsFileFaults, EachRefusalNamesPathAndReasonAndLeavesTheFolderAsItWas) {
    const faults::ScratchFolder scratch;
    // Folders holding an old results file, with the modes of a folder and its file, all of
    // it nobody's, so that only the modes keep an unprivileged save out.
    const std::tuple<std::string, int, int> folders[] = {
        {"top", 0755, 0644}, {"rofile", 0755, 0444}, {"rodir", 0555, 0644}};
    for (const auto& [name, folderMode, fileMode] : folders) {
        const fs::path folder = scratch.path / name;
        fs::create_directory(folder);
        std::ofstream(folder / "results.txt", std::ios::binary) << kOld;
        ASSERT_TRUE(faults::handOver(folder / "results.txt") && faults::handOver(folder));
        fs::permissions(folder / "results.txt", fs::perms(fileMode));
        fs::permissions(folder, fs::perms(folderMode));
    }
    const fs::path top = scratch.path / "top";
    fs::create_directory(top / "folder");
    ASSERT_EQ(::mkfifo((top / "pipe").c_str(), 0644), 0);
    fs::create_symlink("absent.txt", top / "dangling");  // a link to nothing stays a link
    const rlim_t size = kNew.size(), none = RLIM_INFINITY;
    std::string umlauts = "x";  // the temporary file's name is cut inside a character
    while (umlauts.size() + 2 <= NAME_MAX) umlauts += "\xC3\xA4";
    // A full disk is a file size limit, which holds for root too: at the first byte and at
    // the last. Read-only files and folders are saved to without privileges. Long and
    // non-ASCII names are saved (error -1) under exactly that name.
    const std::tuple<fs::path, int, bool, rlim_t> cases[] = {
        {top / "missing" / "results.txt", ENOENT, false, none},
        {top / "folder", EISDIR, false, none},
        {top / "pipe", 0, false, none},
        {top / "dangling", ENOENT, false, none},
        {top / std::string(NAME_MAX + 1, 'r'), ENAMETOOLONG, false, none},
        {top / "results.txt", EFBIG, false, 0},
        {top / "results.txt", EFBIG, false, size - 1},
        {scratch.path / "rofile" / "results.txt", EACCES, true, none},
        {scratch.path / "rodir" / "results.txt", EACCES, true, none},
        {scratch.path / "rodir" / "new.txt", EACCES, true, none},
        {top / std::string(NAME_MAX, 'r'), -1, false, none},
        {top / umlauts, -1, false, none},
        {top / "\xE8\x86\x80\xE8\x83\xB1 \xF0\x9F\x92\xA7.txt", -1, false, none},  // CJK, emoji
        {top / "latin1-\xE4\xF6\xFC.txt", -1, false, none},
        {top / "results.txt", -1, false, size},  // exactly enough room
    };
    for (const auto& [target, error, unprivileged, limit] : cases) {
        SCOPED_TRACE(target.string() + ", limit " + std::to_string(limit));
        const fs::path folder =
            target.parent_path() == top / "missing" ? top : target.parent_path();
        std::set<fs::path> expected = entries(folder);  // and a saved file
        const std::string outcome = save(target, unprivileged, limit);
        if (outcome == "no rights") GTEST_SKIP() << "cannot drop root rights here";
        EXPECT_EQ(outcome, error < 0 ? "ok" : refusal(target, error));
        EXPECT_EQ(test::readFile(error < 0 ? target : folder / "results.txt"),
                  error < 0 ? kNew : kOld);
        if (error < 0) expected.insert(target);
        EXPECT_EQ(entries(folder), expected);
    }
}

TEST(ResultsFileFaults, ANewFileTakesItsModeFromTheCreationMask) {
    const faults::ScratchFolder scratch;
    for (const mode_t mask : {0022, 0027, 0077}) {
        const fs::path path = scratch.path / ("mask-" + std::to_string(mask));
        const std::string outcome = faults::runInChild(
            [&] {
                ::umask(mask);
                const WriteOutcome saved = WriteResultsFile(path, DoseResults{});
                return !saved.ok ? saved.message : ::umask(0) == mask ? "ok" : "mask changed";
            },
            false);
        EXPECT_EQ(outcome, "ok");
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(0666 & ~mask)) << mask;
    }
}

}  // namespace
}  // namespace orvane
