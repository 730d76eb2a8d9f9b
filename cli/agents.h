// The radiopharmaceutical library as orvane-cli uses it: --list --all, --agent and a scenario
// file's {"library": "..."}.
#pragma once

#include <string>
#include <vector>

#include "library/radiopharmaceuticals.h"
#include "library/standards.h"

namespace orvane {

// The shipped entries, then the user's; what could not be read is said in warnings.
struct CliLibrary {
    std::vector<LibraryEntry> shipped;
    std::vector<LibraryEntry> user;
    std::vector<std::string> warnings;
};

// The installed shipped file and the user's file (XDG_DATA_HOME, HOME).
CliLibrary loadCliLibrary();

// The entry named `query` (name or alias, as typed). Throws UsageError naming `option`.
const LibraryEntry& findAgent(const CliLibrary& library, const std::string& query,
                              const std::string& option);

// One entry's values as --list prints them, after its heading line: a line per component
// and one of the physical values, each indented by a tab.
std::string entryValueLines(const StandardFieldTexts& texts);

// --list --all after the standards: every library entry with its confidence and marks.
std::string libraryListText(const CliLibrary& library);

}  // namespace orvane
