#include <fcntl.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
    // A closed standard stream gets a descriptor on which writing fails, so that no file
    // opened later takes its number and receives the output meant for it.
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) < 0) ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    // Unsynchronised, std::cin reads through a file buffer that reports a failed read (a
    // folder given as standard input) instead of taking it for the end of the input.
    std::ios::sync_with_stdio(false);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return orvane::runCli(arguments, std::cout, std::cerr, &std::cin);
}
