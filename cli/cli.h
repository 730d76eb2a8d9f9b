// The command-line front end: the window's calculation for scripts and checks.
#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Exit status of orvane-cli.
enum CliStatus { kCliOk = 0, kCliFileError = 1, kCliRefused = 2 };

struct CliOptions {
    bool help = false;
    bool version = false;
    bool list = false;
    bool csv = false;
    bool estimate = false;
    std::optional<std::string> standard;                // index 0..19 or list text
    std::array<std::optional<std::string>, 15> fields;  // --f1 --k1 --tb1 ... --tp --delta --gamma
    std::optional<std::string> name;
    std::optional<int> schedule;  // 0..2
    std::optional<std::string> output;
    std::optional<std::string> dataFile;
};

// The option names of the fifteen fields, in field order ("f1", "k1", "tb1", ..., "gamma").
extern const std::array<const char*, 15> kFieldOptionNames;

// Parses argv[1..]; throws std::invalid_argument with a message on bad usage.
CliOptions parseCliArguments(const std::vector<std::string>& arguments);

// Runs orvane-cli: results on out, messages on err; returns the exit status.
int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace orvane
