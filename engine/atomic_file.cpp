#include "engine/atomic_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace orvane {
namespace {

// Longest part of the target's name that goes into the temporary file's name, so that
// ".<name>.XXXXXX" stays within the file system's name limit.
constexpr std::size_t kMaxNameInTemporary = 200;
constexpr std::size_t kWriteBlock = 1 << 16;

WriteOutcome failure(std::string_view what, const std::filesystem::path& path,
                     const std::string& reason) {
    return {false, "Cannot write " + std::string(what) + " \"" + path.string() + "\": " + reason};
}

WriteOutcome failure(std::string_view what, const std::filesystem::path& path, int error) {
    return failure(what, path, std::string(std::strerror(error)));
}

// The creation mask of the process, read from /proc/self/status ("Umask:\t0022"): calling
// umask() would set it, which other threads may see in between. Without /proc, new files are
// made private (0077) rather than guessed open.
mode_t currentUmask() {
    constexpr mode_t kPrivate = 0077;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) != 0) continue;
        char* end = nullptr;
        const unsigned long mask = std::strtoul(line.c_str() + 6, &end, 8);
        return end != line.c_str() + 6 && mask <= 0777 ? static_cast<mode_t>(mask) : kPrivate;
    }
    return kPrivate;
}

// While alive, SIGXFSZ is blocked in the calling thread only, so that a write beyond the file
// size limit fails with EFBIG instead of ending the program. A signal raised meanwhile is
// taken off the thread before the block is lifted.
class FileSizeSignalBlocked {
public:
    FileSizeSignalBlocked() {
        sigemptyset(&signal_);
        sigaddset(&signal_, SIGXFSZ);
        sigset_t pending;
        wasPending_ = ::sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1;
        active_ = ::pthread_sigmask(SIG_BLOCK, &signal_, &previous_) == 0;
    }
    ~FileSizeSignalBlocked() {
        if (!active_) return;
        sigset_t pending;
        if (!wasPending_ && ::sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1) {
            const timespec now{};
            ::sigtimedwait(&signal_, nullptr, &now);
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    FileSizeSignalBlocked(const FileSizeSignalBlocked&) = delete;
    FileSizeSignalBlocked& operator=(const FileSizeSignalBlocked&) = delete;

private:
    sigset_t signal_{};
    sigset_t previous_{};
    bool wasPending_ = false;
    bool active_ = false;
};

// The temporary file beside the target: closed and removed on destruction unless it was
// renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string name) : name_(std::move(name)) {}
    ~TemporaryFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
        if (created_ && !renamed_) ::unlink(name_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file from the name template (ending in XXXXXX); false with errno set.
    bool create() {
        std::vector<char> buffer(name_.begin(), name_.end());
        buffer.push_back('\0');
        descriptor_ = ::mkostemp(buffer.data(), O_CLOEXEC);
        if (descriptor_ < 0) return false;
        name_ = buffer.data();
        created_ = true;
        return true;
    }

    bool writeAll(std::string_view bytes) {
        const char* data = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(descriptor_, data, left);
            if (written < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        return true;
    }

    bool close() {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return ::close(descriptor) == 0;
    }

    bool renameTo(const std::string& target) {
        if (::rename(name_.c_str(), target.c_str()) != 0) return false;
        renamed_ = true;
        return true;
    }

    int descriptor() const { return descriptor_; }

private:
    std::string name_;
    int descriptor_ = -1;
    bool created_ = false;
    bool renamed_ = false;
};

// Makes the rename itself durable; a failure here no longer endangers any content.
void syncFolder(const std::filesystem::path& folder) {
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    ::fsync(descriptor);
    ::close(descriptor);
}

}  // namespace

WriteOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                 std::string_view what) {
    return writeFileAtomically(
        path, [bytes](const AtomicWrite& write) { return write(bytes); }, what);
}

WriteOutcome writeFileAtomically(const std::filesystem::path& path,
                                 const std::function<bool(const AtomicWrite&)>& produce,
                                 std::string_view what) {
    if (path.empty()) return failure(what, path, ENOENT);
    if (!path.has_filename()) return failure(what, path, EISDIR);

    // A symbolic link stays a link: the file it points to is the one replaced. A link that
    // leads nowhere is refused, as writing would turn it into a regular file.
    std::filesystem::path target = path;
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return failure(what, path, errno);
        target = resolved;
        std::free(resolved);
    }

    // rename() would replace a file that the user may not write, so an existing target is
    // checked the way an open for writing would check it.
    const bool exists = ::stat(target.c_str(), &status) == 0;
    if (!exists && errno != ENOENT) return failure(what, path, errno);
    if (exists) {
        if (S_ISDIR(status.st_mode)) return failure(what, path, EISDIR);
        if (!S_ISREG(status.st_mode)) {
            return failure(what, path, "not a regular file");
        }
        if (::access(target.c_str(), W_OK) != 0) return failure(what, path, errno);
    }
    const mode_t mode = exists ? (status.st_mode & 07777) : (0666 & ~currentUmask());

    const std::string name = target.filename().string().substr(0, kMaxNameInTemporary);
    TemporaryFile temporary((target.parent_path() / ("." + name + ".XXXXXX")).string());
    if (!temporary.create()) return failure(what, path, errno);

    if (exists && (status.st_uid != ::geteuid() || status.st_gid != ::getegid())) {
        // Keeping the owner needs privileges that the user may not have; without them the
        // file simply belongs to the user who saved it.
        [[maybe_unused]] const int kept =
            ::fchown(temporary.descriptor(), status.st_uid, status.st_gid);
    }
    if (::fchmod(temporary.descriptor(), mode) != 0) return failure(what, path, errno);

    {
        FileSizeSignalBlocked fileSizeSignalBlocked;
        int error = 0;
        auto writeAll = [&](std::string_view bytes) {
            if (error == 0 && !temporary.writeAll(bytes)) error = errno;
        };
        // Small pieces (a cohort's records) are gathered into blocks, not written one call
        // each; a large one is written as it is.
        std::string pending;
        auto flush = [&] {
            writeAll(pending);
            pending.clear();
        };
        const AtomicWrite write = [&](std::string_view bytes) {
            if (pending.size() + bytes.size() < kWriteBlock) {
                pending.append(bytes);
            } else {
                flush();
                writeAll(bytes);
            }
            return error == 0;
        };
        const bool produced = produce(write);
        if (produced) flush();
        if (error != 0) return failure(what, path, error);
        if (!produced) return failure(what, path, "the content could not be made");
    }
    if (::fsync(temporary.descriptor()) != 0) return failure(what, path, errno);
    if (!temporary.close()) return failure(what, path, errno);
    if (!temporary.renameTo(target.string())) return failure(what, path, errno);

    syncFolder(target.parent_path());
    return {true, {}};
}

}  // namespace orvane
