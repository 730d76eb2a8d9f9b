// The results file: all three schedules' parameters and dose tables as plain text.
#pragma once

#include <filesystem>
#include <string>

#include "engine/model.h"

namespace orvane {

// The complete file content: three blocks, CR LF line ends.
std::string resultsFileText(const DoseResults& results);

struct WriteOutcome {
    bool ok = false;
    std::string message;  // on failure: the path and the system's reason
};

// Writes the results file atomically: a temporary file in the target folder, flushed and
// closed, then renamed over the target. On failure the temporary file is removed and an
// existing target is left untouched. Never throws for I/O failures.
WriteOutcome WriteResultsFile(const std::filesystem::path& path, const DoseResults& results);

}  // namespace orvane
