// The results file: all three schedules' parameters and dose tables as plain text.
#pragma once

#include <filesystem>
#include <string>

#include "engine/atomic_file.h"
#include "engine/model.h"

namespace orvane {

// The complete file content: three blocks, CR LF line ends.
std::string resultsFileText(const DoseResults& results);

// Writes the results file through writeFileAtomically.
WriteOutcome WriteResultsFile(const std::filesystem::path& path, const DoseResults& results);

}  // namespace orvane
