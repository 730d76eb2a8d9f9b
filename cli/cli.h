// The command-line front end: the window's calculation for scripts and checks.
#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/calculation.h"

namespace orvane {

// Exit status of orvane-cli.
enum CliStatus { kCliOk = 0, kCliFileError = 1, kCliRefused = 2, kCliSomeFailed = 3 };

// Bad usage: an unknown, repeated or empty option, or options that exclude each other.
class UsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The parsed command line, one group of members per group of options in --help.
struct CliOptions {
    // Program
    bool help = false;
    bool version = false;
    std::optional<std::string> dataFile;

    // Radiopharmaceutical
    bool list = false;
    bool all = false;                                   // --list: the library too
    std::optional<std::string> standard;                // index 0..19 or list text
    std::optional<std::string> agent;                   // library entry, name or alias
    std::array<std::optional<std::string>, 15> fields;  // --f1 --k1 --tb1 ... --tp --delta --gamma
    std::optional<std::string> name;

    // Output
    std::optional<int> schedule;  // 1..3
    bool csv = false;
    bool estimate = false;
    bool json = false;
    std::optional<std::string> output;

    // Patient scenario
    std::optional<std::string> scenario;  // file, or "-" for standard input
    std::optional<double> timeCourse;     // step, min
    std::optional<std::string> patient;   // --patient AGE[,SEX] (cli/patient_mode.cpp)

    // Cohort (cli/batch_mode.cpp)
    std::optional<std::string> batch;          // JSON Lines, or CSV with a template; "-": stdin
    std::optional<std::string> batchTemplate;  // the CSV rows' base scenario file
    std::optional<unsigned> threads;           // 0 or absent: every core
};

// The option names of the fifteen fields, in field order ("f1", "k1", "tb1", ..., "gamma").
inline constexpr const auto& kFieldOptionNames = kFieldKeys;

// Parses argv[1..]; throws UsageError with a message that names the option.
CliOptions parseCliArguments(const std::vector<std::string>& arguments);

// The --help text: the options in groups and the exit statuses.
std::string cliUsage();

// Runs orvane-cli: results on out (or in the --output file), messages on err; returns the
// exit status. A failure to write out is a file error (1). `--scenario -` reads in (without
// it, standard input counts as unreadable).
int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           std::istream* in = nullptr);

}  // namespace orvane
