#include "library/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

std::string systemReason(const std::string& action, int error) {
    return action + ": " + std::strerror(error);
}

}  // namespace

std::string readDataFileText(const std::filesystem::path& file, std::size_t maxBytes,
                             const std::string& expected) {
    const std::string fileName = file.string();
    // Without O_NONBLOCK a named pipe in place of the file would wait for a writer forever.
    const Descriptor descriptor(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (descriptor.get() < 0) {
        throw DataFileError(fileName, "", systemReason("cannot open", errno));
    }
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0) {
        throw DataFileError(fileName, "", systemReason("cannot read", errno));
    }
    if (S_ISDIR(status.st_mode)) {
        throw DataFileError(fileName, "", systemReason("cannot read", EISDIR));
    }
    // A device such as /dev/zero never ends; a pipe or socket is not a file of values.
    if (!S_ISREG(status.st_mode)) {
        throw DataFileError(fileName, "",
                            "cannot read: not a regular file (a device, pipe or socket)");
    }

    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(descriptor.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw DataFileError(fileName, "", systemReason("cannot read", errno));
        }
        if (got == 0) break;
        if (text.size() + static_cast<std::size_t>(got) > maxBytes) {
            throw DataFileError(fileName, "",
                                "cannot read: the file is larger than " +
                                    std::to_string(maxBytes / (1024 * 1024)) +
                                    " MB, far more than the " + expected);
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

}  // namespace orvane
