// Reading a file whole, refusing what cannot be one: a folder, a device, a pipe or socket, a
// file larger than the caller's cap. Standard input is read with the same cap.
#pragma once

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <stdexcept>
#include <string>

namespace orvane {

// A file that cannot be read at all: missing, a folder, a device or pipe, too large, or an
// input/output error. what() is "FILE: cannot read: REASON".
class FileReadError : public std::runtime_error {
public:
    FileReadError(const std::string& file, const std::string& reason);
    const std::string& file() const { return file_; }
    const std::string& reason() const { return reason_; }  // starts with "cannot read"

private:
    std::string file_, reason_;
};

// The bytes of a regular file of at most maxBytes; a directory, device, pipe or socket is
// refused without waiting on it. `expected` completes "larger than N MB, far more than the ...".
// Throws FileReadError.
std::string readRegularFileText(const std::filesystem::path& file, std::size_t maxBytes,
                                const std::string& expected);

// The bytes of a stream (standard input) of at most maxBytes, named `name` in errors. A read
// error (a folder given as standard input, an input/output error) throws FileReadError.
std::string readStreamText(std::istream& in, const std::string& name, std::size_t maxBytes,
                           const std::string& expected);

// readRegularFileText for the data file: throws DataFileError (library/standards.h) instead.
std::string readDataFileText(const std::filesystem::path& file, std::size_t maxBytes,
                             const std::string& expected);

}  // namespace orvane
