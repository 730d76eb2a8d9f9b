// Text from users made safe to print: no control character reaches a file or a terminal.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The text with every control character (C0, DEL, C1 in UTF-8 or as a lone byte, and the
// Unicode line and paragraph separators) replaced by one blank, so that a name stays on one
// line of a report. Everything else is kept byte for byte.
std::string replaceControlCharacters(std::string_view text);

// The text with the same characters, and any byte that is not valid UTF-8, written as
// escapes (\x1b, \u009b), for messages on a terminal. Printable text is kept.
std::string escapeControlCharacters(std::string_view text);

}  // namespace orvane
