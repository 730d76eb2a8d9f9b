// The radiopharmaceuticals as orvane-cli names them: --standard, --agent, --list --all and a
// scenario file's {"library": "..."}, all through the workbench.
#pragma once

#include <string>

#include "library/standards.h"
#include "library/workbench.h"

namespace orvane {

// The workbench of an installed orvane-cli: the data given, the shipped library beside the
// program and the user's file (XDG_DATA_HOME, HOME).
Workbench cliWorkbench(StandardData data);

// What `query` names (Workbench::resolve); a miss is a UsageError naming `option`.
ResolvedEntry resolveOption(const Workbench& workbench, const std::string& query,
                            const std::string& option);

// One entry's values as --list prints them, after its heading line: a line per component
// and one of the physical values, each indented by a tab.
std::string entryValueLines(const StandardFieldTexts& texts);

// --list --all after the standards: every library entry with its confidence and marks.
std::string libraryListText(const Workbench& workbench);

}  // namespace orvane
