// Where the installed program keeps its data files: <folder of the executable>/../share/orvane.
// The build tree is laid out the same way (bin/ and share/orvane/).
#pragma once

#include <filesystem>

namespace orvane {

// Folder of the running executable (from /proc/self/exe). Throws DataFileError.
std::filesystem::path executableDirectory();

// The standards' data file: <executableDirectory>/../share/orvane/orvane.dat.
std::filesystem::path dataFilePathFor(const std::filesystem::path& executableDirectory);

}  // namespace orvane
