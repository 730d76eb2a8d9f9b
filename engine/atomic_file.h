// Writing a file so that a reader sees either the old content or the whole new one. Shared by
// every layer that writes files (results, exports, the library, scenarios).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace orvane {

struct WriteOutcome {
    bool ok = false;
    std::string message;  // on failure: what, the path and the system's reason
};

// Writes bytes atomically: a temporary file in the target folder, flushed and closed, then
// renamed over the target. On failure the temporary file is removed and an existing target is
// left untouched; the message reads "Cannot write <what> "<path>": <reason>". Never throws for
// I/O failures.
WriteOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                 std::string_view what = "the file");

// Writes what produce hands to `write` (in as many pieces as it likes), atomically as above;
// write returns false once writing failed. Content that produce does not finish (it returns
// false or throws; an exception passes on) leaves the target untouched.
using AtomicWrite = std::function<bool(std::string_view bytes)>;
WriteOutcome writeFileAtomically(const std::filesystem::path& path,
                                 const std::function<bool(const AtomicWrite&)>& produce,
                                 std::string_view what = "the file");

}  // namespace orvane
