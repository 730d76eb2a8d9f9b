// Helpers for the fault tests: a scratch folder, and pieces of a test run in a forked
// child, so that limits stay in the child and permission faults show even as root.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "support.h"

namespace orvane::faults {

namespace fs = std::filesystem;

// Makes path belong to nobody when run as root, so that only its mode keeps it out.
inline bool handOver(const fs::path& path) {
    return ::geteuid() != 0 || ::chown(path.c_str(), 65534, 65534) == 0;
}

// What body returns in a forked child; with dropRights a root child first becomes nobody,
// or returns "no rights". A child that dies gives "child died (status N)".
inline std::string runInChild(const std::function<std::string()>& body, bool dropRights = false) {
    int ends[2];
    if (::pipe(ends) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped =
            !dropRights || ::geteuid() != 0 ||
            (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0);
        const std::string result = dropped ? body() : "no rights";
        ::_exit(::write(ends[1], result.data(), result.size()) == ssize_t(result.size()) ? 0 : 4);
    }
    ::close(ends[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, got);
    ::close(ends[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return "no child";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return result;
    return "child died (status " + std::to_string(status) + ")";
}

using ScratchFolder = test::ScratchFolder;

}  // namespace orvane::faults
