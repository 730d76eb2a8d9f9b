// Reading a data file whole, refusing what cannot be one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace orvane {

// The bytes of a regular file of at most maxBytes. Throws DataFileError (library/standards.h)
// naming the file and the system's reason; a directory, device, pipe or socket is refused
// without waiting on it. `expected` completes "larger than N MB, far more than the ...".
std::string readDataFileText(const std::filesystem::path& file, std::size_t maxBytes,
                             const std::string& expected);

}  // namespace orvane
