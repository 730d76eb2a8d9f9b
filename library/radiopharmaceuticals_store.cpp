// Where the libraries lie, loading both, and writing the user's own.
#include <system_error>

#include "library/radiopharmaceuticals.h"

namespace orvane {
namespace {

constexpr std::string_view kFileName = "radiopharmaceuticals.json";

}  // namespace

std::filesystem::path shippedLibraryPathFor(const std::filesystem::path& executableDirectory) {
    return (executableDirectory / ".." / "share" / "orvane" / kFileName).lexically_normal();
}

std::optional<std::filesystem::path> userLibraryPath(const char* xdgDataHome, const char* home) {
    if (xdgDataHome != nullptr && std::filesystem::path(xdgDataHome).is_absolute()) {
        return std::filesystem::path(xdgDataHome) / "orvane" / kFileName;
    }
    if (home != nullptr && std::filesystem::path(home).is_absolute()) {
        return std::filesystem::path(home) / ".local" / "share" / "orvane" / kFileName;
    }
    return std::nullopt;
}

LoadedLibrary loadLibraries(const std::filesystem::path& shipped,
                            const std::optional<std::filesystem::path>& user) {
    LoadedLibrary library;
    try {
        library.shipped = loadLibraryFile(shipped);
    } catch (const DataFileError& error) {
        library.shippedProblem = error.what();
    }
    if (!user) {
        library.userProblem = "it has no folder: neither XDG_DATA_HOME nor HOME is set";
        return library;
    }
    std::error_code missing;
    if (!std::filesystem::exists(*user, missing) && !missing) return library;
    try {
        library.user = loadLibraryFile(*user);
    } catch (const DataFileError& error) {
        library.userProblem = error.what();
    }
    return library;
}

WriteOutcome writeUserLibrary(const std::filesystem::path& file,
                              const std::vector<LibraryEntry>& entries) {
    const std::string what = "the library file";
    std::error_code error;
    const bool exists = std::filesystem::exists(file, error);
    if (error)
        return {false, "Cannot write " + what + " \"" + file.string() + "\": " + error.message()};
    if (exists) {
        try {
            loadLibraryFile(file);
        } catch (const DataFileError& damaged) {
            return {false, "The library file \"" + file.string() +
                               "\" is not replaced because it cannot be read (" + damaged.what() +
                               "); rename it aside first."};
        }
    }
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        return {false, "Cannot write " + what + " \"" + file.string() +
                           "\": cannot create its folder: " + error.message()};
    }
    return writeFileAtomically(file, libraryFileText(entries), what);
}

std::filesystem::path moveDamagedFileAside(const std::filesystem::path& file) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        std::filesystem::path aside = file;
        aside += attempt == 1 ? ".damaged" : ".damaged-" + std::to_string(attempt);
        std::error_code error;
        if (std::filesystem::exists(aside, error) || error) continue;
        std::filesystem::rename(file, aside, error);
        if (error) {
            throw DataFileError(file.string(), "", "cannot rename it aside: " + error.message());
        }
        return aside;
    }
    throw DataFileError(file.string(), "", "cannot rename it aside: too many damaged copies there");
}

}  // namespace orvane
