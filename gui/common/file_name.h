// File names made from titles and names (a radiopharmaceutical's, a scenario's, a document's),
// such as a save dialog or the print dialog suggests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane {

// The longest name safeFileName gives, in bytes: room is left for a suffix such as
// "-1-0.5-all.pdf" within the 255 bytes a file name may have.
inline constexpr std::size_t kMaxFileNameStem = 120;

// A name that is one plain file name on any file system: ASCII letters, digits, '.', '_' and
// '-' stay; every other run of bytes (a '/' or '\', blanks, brackets, control characters, any
// non-ASCII text) becomes one '-'. It neither starts nor ends with '-' or '.', so it is never
// "." or "..", a hidden file or an option, and it has at most kMaxFileNameStem bytes. A title
// with nothing usable gives fallback. "Bladder dose (mGy/MBq), F-18 FDG" gives
// "Bladder-dose-mGy-MBq-F-18-FDG".
std::string safeFileName(std::string_view title, std::string_view fallback);

}  // namespace orvane
