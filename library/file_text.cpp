#include "library/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <system_error>

#include "library/standards.h"

namespace orvane {
namespace {

class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

std::string systemReason(int error) {
    return std::string("cannot read: ") + std::strerror(error);
}

std::string tooLarge(std::size_t maxBytes, const std::string& expected) {
    return "cannot read: the file is larger than " + std::to_string(maxBytes / (1024 * 1024)) +
           " MB, far more than the " + expected;
}

}  // namespace

FileReadError::FileReadError(const std::string& file, const std::string& reason)
    : std::runtime_error(file + ": " + reason), file_(file), reason_(reason) {}

std::string readRegularFileText(const std::filesystem::path& file, std::size_t maxBytes,
                                const std::string& expected) {
    const std::string fileName = file.string();
    // Without O_NONBLOCK a named pipe in place of the file would wait for a writer forever.
    const Descriptor descriptor(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (descriptor.get() < 0) throw FileReadError(fileName, systemReason(errno));
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0) {
        throw FileReadError(fileName, systemReason(errno));
    }
    if (S_ISDIR(status.st_mode)) throw FileReadError(fileName, systemReason(EISDIR));
    // A device such as /dev/zero never ends; a pipe or socket is not a file of values.
    if (!S_ISREG(status.st_mode)) {
        throw FileReadError(fileName, "cannot read: not a regular file (a device, pipe or socket)");
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) {
        throw FileReadError(fileName, tooLarge(maxBytes, expected));
    }

    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(descriptor.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw FileReadError(fileName, systemReason(errno));
        }
        if (got == 0) break;
        // The file may grow while it is read.
        if (text.size() + static_cast<std::size_t>(got) > maxBytes) {
            throw FileReadError(fileName, tooLarge(maxBytes, expected));
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

std::string readStreamText(std::istream& in, const std::string& name, std::size_t maxBytes,
                           const std::string& expected) {
    // A file buffer reports a failed read (a folder given as standard input) by throwing with
    // the system's error; the stream passes it on only while badbit raises exceptions.
    struct Mask {
        std::istream& in;
        std::ios_base::iostate saved = in.exceptions();
        ~Mask() { in.exceptions(saved); }
    } mask{in};
    std::string text;
    char buffer[16384];
    try {
        in.exceptions(std::ios_base::badbit);
        while (in) {
            in.read(buffer, sizeof buffer);
            const auto got = static_cast<std::size_t>(in.gcount());
            if (text.size() + got > maxBytes)
                throw FileReadError(name, tooLarge(maxBytes, expected));
            text.append(buffer, got);
        }
    } catch (const std::ios_base::failure& error) {
        const std::error_code code = error.code();
        // The buffer's code carries errno (generic or system); the stream's own says nothing.
        const bool errnoCode = code.value() != 0 && code.category() != std::iostream_category();
        throw FileReadError(name, errnoCode ? systemReason(code.value())
                                            : std::string("cannot read: an input/output error"));
    }
    if (in.bad()) throw FileReadError(name, "cannot read: an input/output error");
    return text;
}

std::string readDataFileText(const std::filesystem::path& file, std::size_t maxBytes,
                             const std::string& expected) {
    try {
        return readRegularFileText(file, maxBytes, expected);
    } catch (const FileReadError& error) {
        throw DataFileError(error.file(), "", error.reason());
    }
}

}  // namespace orvane
