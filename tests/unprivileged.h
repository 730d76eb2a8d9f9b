// Running a piece of a test without the rights to bypass file permissions, so that
// permission faults can be tested also when the tests run as root (as in CI containers).
#pragma once

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace orvane::faults {

// The user that an unprivileged child runs as when the tests run as root.
inline constexpr uid_t kUnprivilegedUser = 65534;  // nobody
inline constexpr gid_t kUnprivilegedGroup = 65534;

// Runs body in a forked child and returns what it returned; limits and signal settings
// that body changes stay in the child. With dropRights, a child running as root first
// becomes kUnprivilegedUser; if it cannot, the result is empty. A child that dies is
// reported as "child died" followed by its status.
inline std::optional<std::string> runInChild(const std::function<std::string()>& body,
                                             bool dropRights = false) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (dropRights && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedGroup) != 0 ||
             ::setuid(kUnprivilegedUser) != 0)) {
            ::_exit(3);
        }
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = std::string("exception: ") + error.what();
        }
        for (std::size_t done = 0; done < result.size();) {
            const ssize_t written =
                ::write(pipeEnds[1], result.data() + done, result.size() - done);
            if (written <= 0) break;
            done += static_cast<std::size_t>(written);
        }
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        result.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child died (status " + std::to_string(status) + ")";
    }
    return result;
}

// runInChild without the rights to bypass file permissions.
inline std::optional<std::string> runUnprivileged(const std::function<std::string()>& body) {
    return runInChild(body, true);
}

}  // namespace orvane::faults
